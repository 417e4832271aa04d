#include "report/BRPrntr.h"
#include "report/BandRpt.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <cmath>

// ---------------------------------------------------------------------------------------------
// Bins
// ---------------------------------------------------------------------------------------------

namespace {

constexpr std::array<int, BRBinCount> BinCodes { 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 14 };

int tenths(double mm) { return static_cast<int>(std::lround(mm * 10.0)); }

bool isTablePaper(TBRPaperSize paper)
{
    return paper != TBRPaperSize::Default && paper != TBRPaperSize::Custom;
}

// The paper code Windows drivers used for a Qt page size; Custom for a size of its own.
TBRPaperSize paperOfPageSize(const QPageSize& size)
{
    if (!size.isValid() || size.id() == QPageSize::Custom)
        return TBRPaperSize::Custom;
    const int code = size.windowsId();
    for (int c = 1; c < BRPaperSizeCount - 1; ++c)
        if (brPaperToDevMode(static_cast<TBRPaperSize>(c)) == code)
            return static_cast<TBRPaperSize>(c);
    return TBRPaperSize::Default;
}

// A table paper as Qt knows it, else its table size (Qt lacks a few of the old codes).
QPageSize pageSizeOfPaper(TBRPaperSize paper)
{
    const QPageSize::PageSizeId id = QPageSize::id(brPaperToDevMode(paper));
    if (id != QPageSize::Custom)
        return QPageSize(id);
    const TBRPaperDimensions d = *brPaperDimensions(paper);
    return QPageSize(QSizeF(d.width, d.length), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
}

QPrinter::DuplexMode duplexModeOf(int code)
{
    switch (code) {
    case BRDuplexLongEdge:
        return QPrinter::DuplexLongSide;
    case BRDuplexShortEdge:
        return QPrinter::DuplexShortSide;
    default:
        return QPrinter::DuplexNone;
    }
}

bool expressible(int duplexCode) { return duplexCode >= 0 && duplexCode <= BRDuplexShortEdge; }

} // namespace

int brPrinterDuplexCode(const QPrinter& printer)
{
    switch (printer.duplex()) {
    case QPrinter::DuplexLongSide:
    case QPrinter::DuplexAuto:
        return BRDuplexLongEdge;
    case QPrinter::DuplexShortSide:
        return BRDuplexShortEdge;
    default:
        return BRDuplexSimplex;
    }
}

int brBinToDevMode(TBRBin bin) { return BinCodes[static_cast<std::size_t>(bin)]; }

std::optional<TBRBin> brBinFromDevMode(int code)
{
    for (int b = 0; b < BRBinCount; ++b)
        if (BinCodes[static_cast<std::size_t>(b)] == code)
            return static_cast<TBRBin>(b);
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Working settings
// ---------------------------------------------------------------------------------------------

TPrinterSettings::TPrinterSettings()
    : m_orientation(TPrinterOrientation::poPortrait)
    , m_paperSize(TBRPaperSize::A4)
{
    // PDF output takes any paper; a queue's own list replaces this when it is read.
    m_supported.fill(true);
}

void TPrinterSettings::SetPrinter(QPrinter* printer)
{
    m_printer = printer;
    if (printer)
        ReadSettings();
}

void TPrinterSettings::setCopies(int copies)
{
    if (copies > 0)
        m_copies = copies;
}

int TPrinterSettings::DuplexCode() const
{
    if (m_extendedDuplex != 0)
        return m_extendedDuplex;
    return m_duplex ? BRDuplexShortEdge : BRDuplexSimplex;
}

int TPrinterSettings::binCode() const
{
    return m_useCustomBinCode ? m_customBinCode : brBinToDevMode(m_outputBin);
}

bool TPrinterSettings::Supported(TBRPaperSize paper) const
{
    const auto code = static_cast<std::size_t>(paper);
    return code < m_supported.size() && m_supported[code];
}

bool TPrinterSettings::setPaperSize(TBRPaperSize paper)
{
    if (static_cast<int>(paper) >= BRPaperSizeCount)
        return false;
    if (paper != TBRPaperSize::Default && !Supported(paper))
        return false;
    m_paperSize = paper;
    return true;
}

void TPrinterSettings::setSupportedPapers(const QList<int>& windowsPaperCodes)
{
    if (windowsPaperCodes.isEmpty())
        return; // a driver that lists nothing keeps what was known
    m_supported.fill(false);
    for (int c = 1; c < BRPaperSizeCount; ++c) {
        const auto paper = static_cast<TBRPaperSize>(c);
        if (windowsPaperCodes.contains(brPaperToDevMode(paper)))
            m_supported[static_cast<std::size_t>(c)] = true;
    }
    m_supported[static_cast<std::size_t>(TBRPaperSize::Custom)] = true;
}

int TPrinterSettings::PaperWidth() const
{
    if (isTablePaper(m_paperSize))
        return tenths(brPaperDimensions(m_paperSize)->width);
    return m_paperWidth;
}

int TPrinterSettings::PaperLength() const
{
    if (isTablePaper(m_paperSize))
        return tenths(brPaperDimensions(m_paperSize)->length);
    return m_paperLength;
}

void TPrinterSettings::assign(const TBRPrinterSettings& s)
{
    setCopies(s.Copies);
    m_outputBin = s.OutputBin;
    m_duplex = s.Duplex;
    m_extendedDuplex = s.ExtendedDuplex;
    m_useStandardPrinter = s.UseStandardprinter;
    m_printMetaFile = s.PrintMetaFile;
    m_useCustomBinCode = s.UseCustomBinCode;
    m_customBinCode = s.CustomBinCode;
    m_useCustomPaperCode = s.UseCustomPaperCode;
    m_customPaperCode = s.CustomPaperCode;
    m_printQuality = s.PrintQuality;
    m_collate = s.Collate;
    m_colorOption = s.ColorOption;
    m_outputFileName = s.OutputFileName;
    m_queueName = s.QueueName;
}

void TPrinterSettings::ReadSettings()
{
    if (!m_printer)
        return;
    bool cancel = false;
    if (m_onGetSettings)
        m_onGetSettings(m_sender, cancel, m_printer);
    if (cancel)
        return;
    QPrinter& p = *m_printer;
    m_xResolution = m_yResolution = p.resolution();
    m_copies = std::max(1, p.copyCount());

    // Bins never reach the printer through Qt: OutputBin stays as set. PDF output has no
    // duplex: the designer's choice stays too.
    if (p.outputFormat() == QPrinter::NativeFormat) {
        const int duplex = brPrinterDuplexCode(p);
        m_duplex = duplex != BRDuplexSimplex;
        // A code the printer cannot take stays as the designer set it.
        if (expressible(m_extendedDuplex))
            m_extendedDuplex = duplex;
    }

    const QPageLayout layout = p.pageLayout();
    const QRectF sheet = layout.fullRect(QPageLayout::Millimeter);
    const QRectF paint = p.fullPage() ? sheet : layout.paintRect(QPageLayout::Millimeter);
    m_topOffset = tenths(paint.top() - sheet.top());
    m_leftOffset = tenths(paint.left() - sheet.left());

    m_paperSize = paperOfPageSize(layout.pageSize());
    m_orientation = layout.orientation() == QPageLayout::Landscape ? TPrinterOrientation::poLandscape
                                                                   : TPrinterOrientation::poPortrait;
    m_paperWidth = tenths(sheet.width());
    m_paperLength = tenths(sheet.height());

    const QPrinterInfo info = QPrinterInfo::printerInfo(p.printerName());
    if (p.outputFormat() == QPrinter::PdfFormat || info.isNull()) {
        m_supported.fill(true);
    } else {
        QList<int> codes;
        for (const QPageSize& s : info.supportedPageSizes())
            codes << s.windowsId();
        setSupportedPapers(codes);
    }
    m_printQuality = p.resolution();
    m_collate = p.collateCopies() ? 1 : 0;
    m_colorOption = p.colorMode() == QPrinter::Color ? 2 : 1;
}

void TPrinterSettings::ApplySettings()
{
    if (!m_printer)
        return;
    QPrinter& p = *m_printer;
    const QPageLayout oldLayout = p.pageLayout();
    const int oldCopies = p.copyCount();
    const QPrinter::DuplexMode oldDuplex = p.duplex();
    const bool oldCollate = p.collateCopies();
    const bool oldFullPage = p.fullPage();

    QPageSize size = oldLayout.pageSize();
    auto orientation
        = m_orientation == TPrinterOrientation::poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    const QPageSize::PageSizeId customId
        = m_useCustomPaperCode ? QPageSize::id(m_customPaperCode) : QPageSize::Custom;
    if (customId != QPageSize::Custom) {
        size = QPageSize(customId);
    } else if (m_paperSize == TBRPaperSize::Custom) {
        // The designer's sheet is already the sheet as drawn, turned or not: give the printer a
        // portrait paper and turn it only when the sheet is wider than long, so that it is not
        // turned a second time.
        const double w = m_paperWidth / 10.0;
        const double l = m_paperLength / 10.0;
        if (w > 0 && l > 0) {
            size = QPageSize(QSizeF(std::min(w, l), std::max(w, l)), QPageSize::Millimeter, QString(),
                QPageSize::ExactMatch);
            orientation = w > l ? QPageLayout::Landscape : QPageLayout::Portrait;
        }
    } else if (m_paperSize != TBRPaperSize::Default) {
        size = pageSizeOfPaper(m_paperSize);
    }
    // Size and orientation one by one: a queue refuses a whole layout whose margins lie inside
    // its unprintable edge. The drawing origin is the sheet's corner (full-page mode).
    p.setPageSize(size);
    p.setPageOrientation(orientation);
    p.setPageMargins(QMarginsF());
    p.setFullPage(true);
    p.setCopyCount(std::max(1, m_copies));
    p.setDuplex(duplexModeOf(DuplexCode()));
    p.setCollateCopies(m_collate != 0);

    bool cancel = false;
    if (m_onApplySettings)
        m_onApplySettings(m_sender, cancel, m_printer);
    if (cancel) {
        p.setPageLayout(oldLayout);
        p.setCopyCount(oldCopies);
        p.setDuplex(oldDuplex);
        p.setCollateCopies(oldCollate);
        p.setFullPage(oldFullPage);
    }
}
