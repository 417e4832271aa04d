#include "platform/Asker.h"
#include "report/BRPrgres.h"
#include "report/BRPrnSu.h"
#include "report/BRPrntr_job.h"
#include "report/BandRpt.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPrinter>
#include <QVariant>

// ---------------------------------------------------------------------------------------------
// The page store of a run
// ---------------------------------------------------------------------------------------------

namespace {
// Set on a page store once its preview-closed event has run.
constexpr const char* PreviewClosedTold = "tavoPreviewClosedTold";
} // namespace

std::unique_ptr<TBRPrinter> TCustomBandReport::InitPrinter()
{
    if (!m_available)
        return nullptr;
    auto printer = std::make_unique<TBRPrinter>(this);
    if (m_printer)
        printer->setMessageReceiver(m_printer->messageReceiver());
    hookPrinter(*printer);
    return printer;
}

void TCustomBandReport::hookPrinter(TBRPrinter& printer)
{
    printer.OnAfterPrint = [this] {
        if (AfterPrint)
            AfterPrint(this);
    };
    printer.OnPreviewClosed = [this, store = &printer] {
        store->setProperty(PreviewClosedTold, true);
        if (AfterPreview)
            AfterPreview(this);
    };
    printer.OnSetup = [this] { PrinterSetup(); };
    printer.setClient(this);
    QObject::connect(&printer, &TBRPrinter::printRequested, this, [this] { brTellPrintResult(Print()); });
    QObject::connect(&printer, &TBRPrinter::clientClosed, this,
        [this](TBRPrinter* closed) { printerClientClosed(closed); });
}

void TCustomBandReport::SetPrinterValues()
{
    TBRPrinter& p = *m_printer;
    p.SetPrinterIndex(PrinterSettings.PrinterIndex);
    const TBRPage& page = *m_page;
    p.setOrientation(page.Orientation());
    if (page.PaperSize() == TBRPaperSize::Custom) {
        p.setPaperWidth(brRound(page.nativeValue(TBRPage::WidthIndex)));
        p.setPaperLength(brRound(page.nativeValue(TBRPage::LengthIndex)));
    }
    p.SetSettingsPaperSize(page.PaperSize());
    p.assignSettings(PrinterSettings);
    p.SetGetSettingsEvent(OnGetPrinterSettings);
    p.SetApplySettingsEvent(OnApplyPrinterSettings);
}

bool TCustomBandReport::startStoreRun()
{
    std::unique_ptr<TBRPrinter> printer = InitPrinter();
    if (!printer)
        return false;
    // The store of the previous run goes now; a preview still showing it lets go of it.
    m_printer = std::move(printer);
    m_printer->SetDestination(TBRPrinter::Destination::Store);
    m_printer->setTitle(ReportTitle);
    if (OnPreview)
        m_printer->OnPreview = OnPreview;
    return true;
}

void TCustomBandReport::Prepare()
{
    if (!startStoreRun())
        return;
    CreateReport();
    if (m_printer)
        m_printer->setComplete(true);
}

void TCustomBandReport::PreviewModal()
{
    brYield();
    if (!startStoreRun()) {
        // A run of this report is still going (its preview or print waits): said, not dropped.
        platform::showMessage(brEarlierPrintRunningText());
        return;
    }
    SetPrinterValues();
    // The caller waits for the preview below, often from a modal window (the race console): a
    // preview that is not application-modal would take no input above it.
    m_printer->StartPreview(Qt::ApplicationModal);
    CreateReport();
    if (!m_printer) {
        // Only a closed preview lets the store go during the run: the operator's own doing.
        return;
    }
    m_printer->setComplete(true);
    if (m_cancelled) {
        // The preview was closed while the pages were being made.
        m_printer.reset();
        return;
    }
    if (!m_printer->OnPreview && !m_printer->previewForm() && !m_printer->previewShowing()
        && !QCoreApplication::closingDown()) {
        // Nothing showed the pages: no preview form is registered, or it could not be opened.
        platform::showError(QStringLiteral("プレビューを表示できませんでした。"));
        return;
    }
    while (m_printer && m_printer->previewShowing() && !QCoreApplication::closingDown())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

TBRPrinter::PrintResult TCustomBandReport::Print()
{
    if (!m_available)
        return { TBRPrinter::PrintOutcome::Refused, {}, {}, false };
    std::unique_ptr<TBRPrinter> remembered = std::move(m_printer);
    m_printer = InitPrinter();
    m_printer->SetDestination(TBRPrinter::Destination::Printer);
    m_printer->setTitle(ReportTitle);
    std::unique_ptr<TBRProgressForm> progress;
    if (ShowProgress) {
        progress = std::make_unique<TBRProgressForm>(m_printer.get());
        m_printer->setMessageReceiver(progress.get());
        progress->show();
    }
    // The temporary store goes and the previous one comes back whatever happens.
    struct PutBack {
        TCustomBandReport& r;
        std::unique_ptr<TBRPrinter>& remembered;
        ~PutBack() { r.m_printer = std::move(remembered); }
    } putBack { *this, remembered };
    try {
        CreateReport();
    } catch (const EBRError& e) {
        return { TBRPrinter::PrintOutcome::Failed, { TBRPrinter::PrintStep::Pages, 0, e.message() }, {},
            false };
    }
    // What the temporary printer knows goes to the caller before the printer goes.
    return m_printer->lastPrint();
}

void TCustomBandReport::printerClientClosed(TBRPrinter* printer)
{
    if (printer != m_printer.get())
        return;
    // The store no longer counts as shown (NotifyClientClosed cleared that without the
    // preview-closed event): AfterPreview is due, once, unless the preview stopped showing the
    // store earlier and the event has run then.
    if (!printer->property(PreviewClosedTold).toBool() && printer->OnPreviewClosed)
        printer->OnPreviewClosed();
    if (!m_available) {
        // The run stops at the next record; PreviewModal then lets the store go.
        m_cancelled = true;
        printer->Cancel();
        return;
    }
    // The store goes once the printer has finished telling about it.
    m_printer.release()->deleteLater();
}

// ---------------------------------------------------------------------------------------------
// Printer setup
// ---------------------------------------------------------------------------------------------

namespace {

TCustomBandReport::PrintDialogRunner& dialogRunner()
{
    static TCustomBandReport::PrintDialogRunner runner;
    return runner;
}

// A table paper by its code, else a paper of its own by its size; nothing when neither is known.
std::optional<QPageSize> dialogPageSize(const TCustomBandReport::TBRSetupChoice& c)
{
    const QPageSize::PageSizeId id = QPageSize::id(c.PaperCode);
    if (c.PaperCode > 0 && c.PaperCode != brPaperToDevMode(TBRPaperSize::Custom) && id != QPageSize::Custom)
        return QPageSize(id);
    if (c.PaperWidth > 0 && c.PaperLength > 0)
        return QPageSize(QSizeF(c.PaperWidth / 10.0, c.PaperLength / 10.0), QPageSize::Millimeter, QString(),
            QPageSize::ExactMatch);
    return std::nullopt;
}

// The print dialog on the program's printer, preset with the report's printer, paper,
// orientation, copies and page range.
bool runPrintDialog(TCustomBandReport::TBRSetupChoice& c)
{
    // Qt's dialog asks the print server on this thread: it opens only once the server has
    // listed its queues within the answer limit. The progress form says what is waited for,
    // and its Cancel ends the wait.
    std::optional<TBRQueueList> queues;
    {
        TBRProgressForm waiting(nullptr);
        waiting.showServerWait(true);
        waiting.show();
        queues = brListQueues([&waiting] { return waiting.cancelRequested(); });
        if (waiting.cancelRequested())
            return false;
    }
    if (!queues) {
        platform::showError(
            QStringLiteral("プリントサーバーが応答しません。プリンタの設定を開けません。印刷サービス "
                           "(CUPS) を確かめてから、もう一度お試しください。"));
        return false;
    }
    TBRPrintDialog dialog;
    for (const TBRQueueInfo& q : *queues)
        dialog.QueueNames << q.name;
    QPrinter& printer = *dialog.printer();
    if (!c.QueueName.isEmpty())
        printer.setPrinterName(c.QueueName);
    else if (c.PrinterIndex >= 0 && c.PrinterIndex < queues->size())
        printer.setPrinterName(queues->at(c.PrinterIndex).name);
    if (const std::optional<QPageSize> size = dialogPageSize(c))
        printer.setPageSize(*size);
    printer.setPageOrientation(
        c.Orientation == TPrinterOrientation::poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (queues->isEmpty()) {
        // Without a queue the only place to print to is a PDF file: offer it, preset with the
        // file the print would go to.
        dialog.Options |= poPrintToFile;
        dialog.PrintToFile = true;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(c.FileName.isEmpty() ? c.DefaultFileName : c.FileName);
    }
    dialog.setCopies(c.Copies);
    dialog.MinPage = c.MinPage;
    dialog.MaxPage = c.MaxPage;
    if (c.PageNumbersEnabled)
        dialog.Options |= poPageNums;
    if (!dialog.Execute())
        return false;
    c.PrinterIndex = dialog.PrinterIndex;
    c.Copies = dialog.Copies();
    c.Orientation
        = dialog.Orientation == 2 ? TPrinterOrientation::poLandscape : TPrinterOrientation::poPortrait;
    c.PageRange = dialog.PrintRange == TBRPrintRange::prPageNums;
    c.FromPage = dialog.FromPage;
    c.ToPage = dialog.ToPage;
    c.Duplex = dialog.Duplex;
    c.ExtendedDuplex = dialog.DuplexCode;
    c.PrintQuality = dialog.PrintQuality;
    c.Collate = dialog.Collate ? 1 : 0;
    c.ColorOption = dialog.ColorOption;
    c.BinCode = dialog.OutputBin;
    c.PaperCode = dialog.PaperSize;
    c.PaperWidth = static_cast<int>(dialog.Paperwidth);
    c.PaperLength = static_cast<int>(dialog.Paperlength);
    c.FileName = dialog.PrintToFile ? dialog.FileName : QString();
    c.QueueName = dialog.PrintToFile ? QString() : dialog.printer()->printerName();
    return true;
}

} // namespace

TCustomBandReport::PrintDialogRunner TCustomBandReport::setPrintDialogRunner(PrintDialogRunner runner)
{
    return std::exchange(dialogRunner(), std::move(runner));
}

void TCustomBandReport::applyChosenPaper(const TBRSetupChoice& choice)
{
    // Codes 1..68 are the table's papers; anything else with a size is a paper of its own.
    const int code = choice.PaperCode;
    if (code > 0 && code < static_cast<int>(TBRPaperSize::Custom)) {
        m_page->setPaperSize(static_cast<TBRPaperSize>(code));
        return;
    }
    if (code <= 0 || choice.PaperWidth <= 0 || choice.PaperLength <= 0)
        return;
    const bool across = choice.Orientation == TPrinterOrientation::poLandscape;
    m_page->setPaperSize(TBRPaperSize::Custom);
    m_page->setWidth(m_page->LoadUnit(across ? choice.PaperLength : choice.PaperWidth, true));
    m_page->setLength(m_page->LoadUnit(across ? choice.PaperWidth : choice.PaperLength, false));
}

bool TCustomBandReport::PrinterSetup()
{
    TBRSetupChoice choice;
    choice.PrinterIndex = PrinterSettings.PrinterIndex;
    choice.Copies = PrinterSettings.Copies;
    choice.Orientation = m_page->Orientation();
    choice.PaperCode = brPaperToDevMode(m_page->PaperSize());
    {
        // The sheet upright, as a printer names its paper.
        const int width = brRound(m_page->nativeValue(TBRPage::WidthIndex));
        const int length = brRound(m_page->nativeValue(TBRPage::LengthIndex));
        choice.PaperWidth = std::min(width, length);
        choice.PaperLength = std::max(width, length);
    }
    choice.QueueName = PrinterSettings.QueueName;
    choice.FileName = PrinterSettings.OutputFileName;
    choice.DefaultFileName = brDefaultPdfFileName(ReportTitle);
    if (m_printer && m_printer->complete() && m_printer->getStatus() == TBRPrinter::Status::Ready) {
        choice.MaxPage = m_printer->PageCount();
        choice.PageNumbersEnabled = true;
    }
    const PrintDialogRunner& runner = dialogRunner();
    const bool confirmed = runner ? runner(m_printer.get(), choice) : runPrintDialog(choice);
    if (!confirmed) {
        Tag = 1;
        return false;
    }
    PrinterSettings.Copies = choice.Copies;
    PrinterSettings.PrinterIndex = choice.PrinterIndex;
    PrinterSettings.QueueName = choice.QueueName;
    m_page->setOrientation(choice.Orientation);
    applyChosenPaper(choice);
    m_setupResult.Copies = choice.Copies;
    m_setupResult.PrinterIndex = choice.PrinterIndex;
    m_setupResult.QueueName = choice.QueueName;
    m_setupResult.Duplex = choice.Duplex;
    m_setupResult.ExtendedDuplex = choice.ExtendedDuplex;
    m_setupResult.PrintQuality = choice.PrintQuality;
    m_setupResult.Collate = choice.Collate;
    m_setupResult.ColorOption = choice.ColorOption;
    m_setupResult.UseCustomBinCode = false;
    m_setupResult.CustomBinCode = choice.BinCode;
    m_setupResult.UseCustomPaperCode = false;
    m_setupResult.CustomPaperCode = choice.PaperCode;
    // The bin is looked up among the known paper sources; an unknown one keeps the report's.
    const int bin = choice.BinCode > 255 ? choice.BinCode - 256 : choice.BinCode;
    m_setupResult.OutputBin = brBinFromDevMode(bin).value_or(PrinterSettings.OutputBin);
    m_setupResult.OutputFileName = choice.FileName;
    const int first = choice.PageRange ? choice.FromPage : 0;
    const int last = choice.PageRange ? choice.ToPage : 0;
    m_setupResult.FirstPage = first;
    m_setupResult.LastPage = last;
    PrinterSettings.FirstPage = first;
    PrinterSettings.LastPage = last;
    Tag = 0;
    return true;
}
