#include "report/BRPrnSu.h"

#include "report/BRPrntr.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QWidget>

TBRCommonDialog::TBRCommonDialog(QObject* parent)
    : QObject(parent)
{
}

TBRBasePrintDialog::TBRBasePrintDialog(QObject* parent)
    : TBRCommonDialog(parent)
    , m_printer(&brStandardPrinter())
{
}

void TBRBasePrintDialog::SetPrinter(QPrinter* printer)
{
    m_printer = printer ? printer : &brStandardPrinter();
}

TBRPrintDialog::TBRPrintDialog(QObject* parent)
    : TBRBasePrintDialog(parent)
{
}

void TBRPrintDialog::setCopies(int copies)
{
    m_copies = copies;
    printer()->setCopyCount(copies);
}

namespace {

// What the dialog may change on the printer, put back when it is cancelled.
struct PrinterState {
    explicit PrinterState(const QPrinter& p)
        : layout(p.pageLayout())
        , copies(p.copyCount())
        , collate(p.collateCopies())
        , duplex(p.duplex())
        , color(p.colorMode())
        , format(p.outputFormat())
        , file(p.outputFileName())
        , name(p.printerName())
    {
    }
    void restore(QPrinter& p) const
    {
        if (p.outputFormat() != format || p.printerName() != name) {
            p.setOutputFormat(format);
            if (format == QPrinter::NativeFormat)
                p.setPrinterName(name);
        }
        p.setOutputFileName(file);
        p.setPageLayout(layout);
        p.setCopyCount(copies);
        p.setCollateCopies(collate);
        p.setDuplex(duplex);
        p.setColorMode(color);
    }
    QPageLayout layout;
    int copies;
    bool collate;
    QPrinter::DuplexMode duplex;
    QPrinter::ColorMode color;
    QPrinter::OutputFormat format;
    QString file;
    QString name;
};

// Places the dialog when it is shown, at its final size: centred across, one third down the
// free height.
class PlaceWhenShown : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* dialog = qobject_cast<QWidget*>(watched);
        if (dialog && event->type() == QEvent::Show) {
            if (const QScreen* screen = dialog->screen()) {
                const QRect free = screen->availableGeometry();
                const QSize size = dialog->frameGeometry().size();
                dialog->move(free.left() + (free.width() - size.width()) / 2,
                    free.top() + (free.height() - size.height()) / 3);
            }
        }
        return false;
    }
};

} // namespace

bool TBRPrintDialog::Execute(QWidget* parent)
{
    QPrinter& p = *printer();
    const PrinterState before(p);
    p.setCollateCopies(Collate);
    if (PrintToFile && p.outputFormat() != QPrinter::PdfFormat)
        p.setOutputFormat(QPrinter::PdfFormat);

    QPrintDialog dialog(&p, parent);
    QAbstractPrintDialog::PrintDialogOptions options
        = QAbstractPrintDialog::PrintCollateCopies | QAbstractPrintDialog::PrintShowPageSize;
    if ((Options & poPrintToFile) && !(Options & poDisablePrintToFile))
        options |= QAbstractPrintDialog::PrintToFile;
    if (Options & poPageNums)
        options |= QAbstractPrintDialog::PrintPageRange;
    if (Options & poSelection)
        options |= QAbstractPrintDialog::PrintSelection;
    dialog.setOptions(options);
    if (MinPage > 0 && MaxPage >= MinPage)
        dialog.setMinMax(MinPage, MaxPage);
    if (FromPage > 0 && ToPage >= FromPage)
        dialog.setFromTo(FromPage, ToPage);
    switch (PrintRange) {
    case TBRPrintRange::prSelection:
        dialog.setPrintRange(QAbstractPrintDialog::Selection);
        break;
    case TBRPrintRange::prPageNums:
        dialog.setPrintRange(QAbstractPrintDialog::PageRange);
        break;
    default:
        dialog.setPrintRange(QAbstractPrintDialog::AllPages);
        break;
    }
    PlaceWhenShown placer;
    dialog.installEventFilter(&placer);

    if (OnShow)
        OnShow();
    const bool confirmed = dialog.exec() == QDialog::Accepted;
    if (OnClose)
        OnClose();
    if (!confirmed) {
        before.restore(p);
        return false;
    }

    PrintToFile = p.outputFormat() == QPrinter::PdfFormat;
    FileName = PrintToFile ? p.outputFileName() : QString();
    PrinterIndex = PrintToFile ? -1 : static_cast<int>(QueueNames.indexOf(p.printerName()));
    switch (dialog.printRange()) {
    case QAbstractPrintDialog::Selection:
        PrintRange = TBRPrintRange::prSelection;
        break;
    case QAbstractPrintDialog::PageRange:
        PrintRange = TBRPrintRange::prPageNums;
        break;
    default:
        PrintRange = TBRPrintRange::prAllPages;
        break;
    }
    FromPage = dialog.fromPage();
    ToPage = dialog.toPage();
    m_copies = p.copyCount();
    PrintQuality = p.resolution();
    ColorOption = p.colorMode() == QPrinter::Color ? 2 : 1;
    const QPageSize size = p.pageLayout().pageSize();
    PaperSize = size.id() == QPageSize::Custom ? 256 : size.windowsId();
    const QSizeF mm = size.size(QPageSize::Millimeter);
    Paperwidth = std::round(mm.width() * 10.0);
    Paperlength = std::round(mm.height() * 10.0);
    Orientation = p.pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
    DuplexCode = brPrinterDuplexCode(p);
    Duplex = DuplexCode != BRDuplexSimplex;
    Collate = p.collateCopies();
    return true;
}
