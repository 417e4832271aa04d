#include "report/BRConst.h"
#include "report/BRPrntr.h"
#include "report/BRPrntr_job.h"
#include "report/BRUnits.h"
#include "report/BandRpt.h"

#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QWidget>
#include <cmath>

// ---------------------------------------------------------------------------------------------
// The program's shared printer object and the preview interface
// ---------------------------------------------------------------------------------------------

namespace {

TBRPreviewInterfaceFactory& previewFactory()
{
    static TBRPreviewInterfaceFactory factory;
    return factory;
}

int roundToInt(double v) { return static_cast<int>(std::lround(v)); }

} // namespace

QPrinter& brStandardPrinter()
{
    // Made on first use, on the GUI thread: QPrinter's constructor asks for the default queue.
    // Never destroyed: it may outlive the application object, which a printer must not.
    static auto* printer = new QPrinter(QPrinter::HighResolution);
    return *printer;
}

TBRPreviewInterfaceFactory setPreviewInterfaceClass(TBRPreviewInterfaceFactory factory)
{
    return std::exchange(previewFactory(), std::move(factory));
}

namespace {
TBRYieldHook& yieldHook()
{
    static TBRYieldHook hook;
    return hook;
}
} // namespace

TBRYieldHook setBRYieldHook(TBRYieldHook hook) { return std::exchange(yieldHook(), std::move(hook)); }

void brYield()
{
    if (const TBRYieldHook& hook = yieldHook())
        hook();
}

// ---------------------------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------------------------

TBRPrinter::TBRPrinter(TBRPrinterOwner* owner, QObject* parent)
    : QObject(parent)
    , m_owner(owner)
    , m_pageList(std::make_unique<TBRPageList>())
    , m_settings(std::make_unique<TPrinterSettings>())
{
    m_settings->setEventSender(this);
    if (owner) {
        const TBRPrinterSettings& s = owner->ownerPrinterSettings();
        m_settings->setUseStandardPrinter(s.UseStandardprinter);
        m_settings->setMemoryLimit(s.MemoryLimit);
    }
}

TBRPrinter::~TBRPrinter()
{
    if (m_status != Status::Idle)
        Cleanup();
}

void TBRPrinter::SetPrinterIndex(int i)
{
    m_printerIndex = i;
    m_indexQueue.clear();
    const TBRQueueList queues = brKnownQueues();
    const TBRQueueInfo* chosen = nullptr;
    for (qsizetype n = 0; n < queues.size(); ++n)
        if (n == i || (i < 0 && queues[n].isDefault))
            chosen = &queues[n];
    if (chosen && i >= 0)
        m_indexQueue = chosen->name;
    m_settings->ReadSettings(chosen);
}

void TBRPrinter::assignSettings(const TBRPrinterSettings& s)
{
    m_settings->assign(s);
    m_firstPage = s.FirstPage;
    m_lastPage = s.LastPage;
}

namespace {

QString defaultQueueOf(const TBRQueueList& queues)
{
    for (const TBRQueueInfo& q : queues)
        if (q.isDefault)
            return q.name;
    return QString();
}

} // namespace

TBRPrintTarget TBRPrinter::target() const
{
    const QString file = m_settings->outputFileName();
    if (!file.isEmpty())
        return { QString(), file };
    if (!m_settings->queueName().isEmpty())
        return { m_settings->queueName(), QString() };
    if (!m_indexQueue.isEmpty())
        return { m_indexQueue, QString() };
    const QString queue = defaultQueueOf(brKnownQueues());
    if (!queue.isEmpty())
        return { queue, QString() };
    return { QString(), brDefaultPdfFileName(m_title) };
}

TBRPrinter::PrintFailure TBRPrinter::resolveTarget()
{
    m_resolved.reset();
    // A file or a queue by name needs no answer from the print server.
    if (!m_settings->outputFileName().isEmpty() || !m_settings->queueName().isEmpty()
        || !m_indexQueue.isEmpty()) {
        m_resolved = target();
        return {};
    }
    const bool seenBefore = brDefaultQueueSeen();
    // The queue the print is meant for, as far as an earlier listing knows it: the operator is
    // told which printer did not print.
    const QString known = defaultQueueOf(brKnownQueues());
    emit serverWaiting(true);
    const std::optional<TBRQueueList> queues = brListQueues([this] { return m_cancel; });
    emit serverWaiting(false);
    if (!queues && m_cancel)
        return {};
    if (!queues)
        return { PrintStep::Queue, 0,
            QStringLiteral("プリントサーバーが応答しません。%1印刷できませんでした。印刷サービス (CUPS) "
                           "とプリンタを確かめてから、もう一度印刷してください。")
                .arg(known.isEmpty() ? QString() : QStringLiteral("プリンタ %1 に").arg(known)) };
    const QString queue = defaultQueueOf(*queues);
    if (!queue.isEmpty()) {
        m_resolved = TBRPrintTarget { queue, QString() };
        return {};
    }
    // The print was meant for a queue that is no longer there: not quietly into a file.
    if (m_printerIndex >= 0 || seenBefore)
        return { PrintStep::Queue, 0, brQueueUnreachableText(known) };
    m_resolved = TBRPrintTarget { QString(), brDefaultPdfFileName(m_title) };
    return {};
}

TBRQueueJob TBRPrinter::queueOptions() const
{
    TBRQueueJob job;
    job.title = m_title;
    job.copies = m_settings->Copies();
    job.collate = m_settings->Collate() != 0;
    job.duplexCode = m_settings->DuplexCode();
    return job;
}

// ---------------------------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------------------------

void TBRPrinter::setFactors(double dotsPerInchX, double dotsPerInchY)
{
    m_factorX = dotsPerInchX / BRTenthsPerInch;
    m_factorY = dotsPerInchY / BRTenthsPerInch;
}

int TBRPrinter::ToDeviceX(double tenths) const { return roundToInt((tenths - m_leftOffset) * m_factorX); }

int TBRPrinter::ToDeviceY(double tenths) const { return roundToInt((tenths - m_topOffset) * m_factorY); }

int TBRPrinter::ToDeviceWidth(double tenths) const { return roundToInt(tenths * m_factorX); }

int TBRPrinter::ToDeviceHeight(double tenths) const { return roundToInt(tenths * m_factorY); }

namespace {

// A table paper turns with the orientation; Default and Custom sheets are already the sheet as
// drawn (the page's own rule) and are not turned again.
bool turned(const TPrinterSettings& s)
{
    const TBRPaperSize paper = s.PaperSize();
    return paper != TBRPaperSize::Default && paper != TBRPaperSize::Custom
        && s.Orientation() == TPrinterOrientation::poLandscape;
}

} // namespace

int TBRPrinter::PaperWidth() const
{
    return turned(*m_settings) ? m_settings->PaperLength() : m_settings->PaperWidth();
}

int TBRPrinter::PaperLength() const
{
    return turned(*m_settings) ? m_settings->PaperWidth() : m_settings->PaperLength();
}

// ---------------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------------

void TBRPrinter::post(std::function<void()> emitter)
{
    // Queued on this object: dropped if the printer is gone before the loop delivers it.
    QMetaObject::invokeMethod(this, std::move(emitter), Qt::QueuedConnection);
}

void TBRPrinter::announcePage()
{
    const int n = ++m_pagesAnnounced;
    post([this, n] { emit pageAvailable(n); });
}

void TBRPrinter::NotifyProgress(int percent)
{
    m_progress = percent;
    post([this, percent] { emit progressUpdate(percent); });
}

void TBRPrinter::setClient(QObject* client) { m_client = client; }

QObject* TBRPrinter::client() const { return m_client; }

void TBRPrinter::setMessageReceiver(QObject* receiver) { m_receiver = receiver; }

QObject* TBRPrinter::messageReceiver() const { return m_receiver; }

void TBRPrinter::SetOutlineTarget(QTreeWidget* view) { m_pageList->Outline().SetTreeView(view); }

// ---------------------------------------------------------------------------------------------
// Documents
// ---------------------------------------------------------------------------------------------

void TBRPrinter::BeginDoc()
{
    // A printer with a document open or a store held is refused before anything changes.
    if (m_status != Status::Idle)
        throw EBRError(QString::fromUtf8(SBRPrinterNotReady));
    m_currentPage = 0;
    m_pagesAnnounced = 0;
    m_progress = 0;
    m_cancel = false;
    m_last = {};
    m_resolved.reset();
    // Every job draws in full-page mode from the sheet's corner, as the stored pages do, so the
    // printer's unprintable margins must not shift the page.
    m_leftOffset = 0;
    m_topOffset = 0;
    m_pageCount = 0;
    m_damagedPages.clear();
    m_status = Status::Busy;
    if (m_destination == Destination::Store) {
        m_pageList->setStream(TBRStream::CreateInMemory(m_settings->MemoryLimit()));
        setFactors(BRPageDotsPerInch, BRPageDotsPerInch);
    } else {
        const double x = m_settings->XResolution();
        const double y = m_settings->YResolution();
        setFactors(x / BRTenthsPerInch > 0.1 ? x : BRPageDotsPerInch,
            y / BRTenthsPerInch > 0.1 ? y : BRPageDotsPerInch);
    }
}

bool TBRPrinter::InPrintRange() const
{
    if (m_firstPage > 0 && m_pageCount < m_firstPage)
        return false;
    if (m_lastPage > 0 && m_pageCount > m_lastPage)
        return false;
    return true;
}

void TBRPrinter::NewMetafilePage()
{
    setFactors(BRPageDotsPerInch, BRPageDotsPerInch);
    m_page = std::make_unique<QPicture>();
    // The picture's bounding rectangle carries the page's size into the store.
    m_page->setBoundingRect(QRect(0, 0, ToDeviceWidth(PaperWidth()), ToDeviceHeight(PaperLength())));
    m_pagePainter = std::make_unique<QPainter>(m_page.get());
    m_canvas = m_pagePainter.get();
}

void TBRPrinter::dropPage()
{
    if (m_canvas == m_pagePainter.get())
        m_canvas = nullptr;
    m_pagePainter.reset();
    m_page.reset();
}

void TBRPrinter::storePage()
{
    if (!m_page)
        return;
    m_pagePainter.reset();
    m_canvas = nullptr;
    const std::unique_ptr<QPicture> page = std::move(m_page);
    m_pageList->AddPage(*page);
}

bool TBRPrinter::StartPrinterPage()
{
    if (!m_job) {
        // A job that could not begin is not tried again for every later page.
        if (m_last.failure.failed())
            return false;
        // Where the job goes is decided by its first page; a print server that does not answer
        // (or the operator's Cancel meanwhile) ends the run.
        if (!m_resolved)
            m_last.failure = resolveTarget();
        if (m_last.failure.failed() || !m_resolved) {
            m_cancel = true;
            return false;
        }
        auto job = std::make_unique<TBRPrintJob>();
        // On failure the run goes on into throw-away pages; the caller finds the reason in
        // lastPrint.
        m_last.failure = job->begin(m_settings->ApplySettings(), *m_resolved, queueOptions(), 0);
        if (m_last.failure.failed())
            return false;
        m_job = std::move(job);
    }
    m_canvas = m_job->painter();
    const double y = m_job->resolution() / BRTenthsPerInch;
    m_factorX = m_job->resolution() / BRTenthsPerInch;
    m_factorY = y > 0.1 ? y : 1.0;
    return true;
}

void TBRPrinter::EndPrinterPage()
{
    // The next device page is opened now, except after the last page of the range, so that the
    // document never ends on a blank sheet.
    if (m_job && m_currentPage != m_lastPage)
        m_job->NewPage();
    m_canvas = nullptr;
}

void TBRPrinter::abortJob()
{
    if (m_job)
        m_job->abort();
    m_job.reset();
    if (m_canvas && m_canvas != m_pagePainter.get())
        m_canvas = nullptr;
}

TBRPrinter::PrintOutcome TBRPrinter::finishJob(TBRPrintJob& job)
{
    // Only a queue's hand-over waits for the print server.
    const bool toQueue = m_resolved && !m_resolved->isPdf();
    if (toQueue)
        emit serverWaiting(true);
    m_last.failure = job.Finish([this] { return m_cancel; });
    if (toQueue)
        emit serverWaiting(false);
    if (m_last.failure.failed())
        return PrintOutcome::Failed;
    m_last.notice = job.notice();
    m_last.held = job.held();
    return PrintOutcome::Printed;
}

void TBRPrinter::NewPage()
{
    if (m_status != Status::Busy)
        throw EBRError(QString::fromUtf8(SBRIllegalNewPage));
    if (m_currentPage > 0) {
        if (m_destination == Destination::Store)
            storePage();
        else if (InPrintRange() && m_job && !m_page)
            EndPrinterPage();
        else
            dropPage();
        announcePage();
    }
    ++m_pageCount;
    ++m_currentPage;
    if (m_destination == Destination::Printer && InPrintRange() && StartPrinterPage())
        return;
    NewMetafilePage();
}

void TBRPrinter::EndDoc()
{
    if (m_status != Status::Busy)
        return;
    if (m_destination == Destination::Store) {
        if (m_currentPage > 0)
            storePage();
    } else {
        dropPage();
        m_canvas = nullptr;
        // A run whose range held no page never began a job: it printed nothing.
        if (m_job) {
            m_last.outcome = finishJob(*m_job);
            m_job.reset();
        }
        if (m_last.failure.failed())
            m_last.outcome = PrintOutcome::Failed;
    }
    m_status = Status::Ready;
    m_pagesAnnounced = m_pageCount;
    const int n = m_pageCount;
    post([this, n] { emit pageAvailable(n); });
    brYield();
    if (m_destination == Destination::Store)
        m_pageList->Finish();
    else if (OnAfterPrint)
        OnAfterPrint();
}

void TBRPrinter::FinishPage(bool dropOpenPage)
{
    if (m_destination == Destination::Printer) {
        abortJob();
        dropPage();
        m_last.outcome = m_last.failure.failed() ? PrintOutcome::Failed : PrintOutcome::Cancelled;
    } else if (m_page) {
        if (dropOpenPage)
            dropPage();
        else
            storePage();
    }
    m_status = Status::Ready;
}

void TBRPrinter::Cleanup()
{
    if (m_printing) {
        // The pages are being printed: they go once the print has returned.
        m_cleanupAfterPrint = true;
        return;
    }
    if (m_status == Status::Busy)
        Cancel();
    abortJob();
    dropPage();
    m_pageList->takeStream();
    m_pageList->Clear();
    m_pageCount = 0;
    m_damagedPages.clear();
    m_currentPage = 0;
    m_status = Status::Idle;
}

bool TBRPrinter::SetCurrentPage(int n)
{
    if (n < 1 || n > m_pageCount)
        return false;
    m_currentPage = n;
    return true;
}

std::unique_ptr<QPicture> TBRPrinter::GetPage(int n)
{
    if (m_status == Status::Idle || n < 1 || n > m_pageCount)
        return nullptr;
    return m_pageList->GetPage(n);
}

std::unique_ptr<QPicture> TBRPrinter::readPage(int n)
{
    if (m_damagedPages.contains(n))
        return nullptr;
    try {
        return GetPage(n);
    } catch (const EBRStoreError& e) {
        m_damagedPages.insert(n);
        emit pageDamaged(n, e.message());
        return nullptr;
    }
}

void TBRPrinter::SetCompression(bool on) { m_pageList->SetCompression(on); }

// ---------------------------------------------------------------------------------------------
// Preview
// ---------------------------------------------------------------------------------------------

void TBRPrinter::StartPreview(Qt::WindowModality modality)
{
    if (OnPreview) {
        OnPreview(this);
        return;
    }
    if (const TBRPreviewInterfaceFactory& factory = previewFactory()) {
        const std::unique_ptr<TBRPreviewInterface> preview = factory();
        if (preview)
            m_previewForm = preview->show(this, modality);
    }
}

QWidget* TBRPrinter::previewForm() const { return m_previewForm; }

void TBRPrinter::CancelIfRequested(bool showing)
{
    const bool closing = m_previewShowing && !showing;
    m_previewShowing = showing;
    if (!closing)
        return;
    if (m_status == Status::Busy)
        Cancel();
    if (OnPreviewClosed)
        OnPreviewClosed();
}

void TBRPrinter::NotifyClientClosed()
{
    if (m_printing) {
        // The owning report frees this store when told: not while its pages are printing.
        m_closeAfterPrint = true;
        return;
    }
    m_previewShowing = false;
    emit clientClosed(this);
}

// ---------------------------------------------------------------------------------------------
// Stored report file
// ---------------------------------------------------------------------------------------------

void TBRPrinter::Save(const QString& fileName)
{
    if (m_status == Status::Ready)
        m_pageList->SaveToFile(fileName);
}

bool TBRPrinter::Load(const QString& fileName)
{
    // Neither a print nor a run may lose the pages it works on.
    if (m_printing || m_status == Status::Busy)
        return false;
    // The list keeps its pages when the file cannot be read.
    m_pageList->LoadFromFile(fileName);
    abortJob();
    dropPage();
    m_pageCount = m_pageList->PageCount();
    m_damagedPages.clear();
    m_currentPage = 0;
    setFactors(BRPageDotsPerInch, BRPageDotsPerInch);
    guessPaper();
    m_status = Status::Ready;
    OnSetup = nullptr;
    OnExport = nullptr;
    m_complete = true;
    return true;
}

void TBRPrinter::guessPaper()
{
    if (m_pageCount < 1)
        return;
    const std::unique_ptr<QPicture> first = m_pageList->GetPage(1);
    if (!first)
        return;
    const QRect r = first->boundingRect();
    for (const TBRPaperGuess& g : brPaperCandidates(r.width(), r.height(), BRPageDotsPerInch)) {
        if (m_settings->setPaperSize(g.paper)) {
            m_settings->setOrientation(g.orientation);
            return;
        }
    }
}
