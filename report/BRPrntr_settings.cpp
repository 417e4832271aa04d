#include "report/BRPrntr.h"
#include "report/BandRpt.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
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

// A table paper as Qt knows it, else its table size (Qt lacks a few of the old codes).
QPageSize pageSizeOfPaper(TBRPaperSize paper)
{
    const QPageSize::PageSizeId id = QPageSize::id(brPaperToDevMode(paper));
    if (id != QPageSize::Custom)
        return QPageSize(id);
    const TBRPaperDimensions d = *brPaperDimensions(paper);
    return QPageSize(QSizeF(d.width, d.length), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
}

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
    // A Default sheet is the default queue's paper, as the print server last named it.
    const TBRPaperDimensions sheet = *brPaperDimensions(brDefaultQueuePaper());
    m_paperWidth = tenths(sheet.width);
    m_paperLength = tenths(sheet.length);
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

void TPrinterSettings::ReadSettings(const TBRQueueInfo* queue)
{
    bool cancel = false;
    if (m_onGetSettings)
        m_onGetSettings(m_sender, cancel, this);
    if (cancel)
        return;
    if (!queue || queue->paperCodes.isEmpty())
        m_supported.fill(true); // PDF output, and a queue not known, take any paper
    else
        setSupportedPapers(queue->paperCodes);
}

TBRJobSettings TPrinterSettings::ApplySettings()
{
    bool cancel = false;
    if (m_onApplySettings)
        m_onApplySettings(m_sender, cancel, this);
    if (cancel)
        return { QPageLayout(pageSizeOfPaper(brDefaultQueuePaper()), QPageLayout::Portrait, QMarginsF()) };
    QPageSize size = pageSizeOfPaper(brDefaultQueuePaper());
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
    // The drawing origin is the sheet's corner (full page, no margins).
    return { QPageLayout(size, orientation, QMarginsF()), std::max(1, m_copies), m_collate != 0,
        DuplexCode() };
}
