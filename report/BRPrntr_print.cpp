#include "report/BRPrgres.h"
#include "report/BRPrntr.h"
#include "report/BRPrntr_job.h"

#include <QPainter>
#include <QPicture>
#include <cmath>

// Printing the stored pages: each page was recorded at 96 dpi as a whole sheet, so the job runs
// at that resolution in full-page mode and every picture is drawn at the origin as it is; a
// picture rescales itself to the device on replay.

TBRPrinter::PrintOutcome TBRPrinter::Print()
{
    if (m_printing)
        return PrintOutcome::Refused;
    // A store made for the screen is printed by running the report again for the printer.
    if (m_client && !m_complete && !m_settings->PrintMetaFile() && m_status == Status::Ready) {
        post([this] { emit printRequested(); });
        return PrintOutcome::Requested;
    }
    if (m_status != Status::Ready)
        return PrintOutcome::Refused;

    // The range is clamped to the pages there are and decided before any job starts, so that a
    // range beyond the pages never prints blank sheets.
    const int from = std::max(m_firstPage, 1);
    const int to = m_lastPage > 0 ? std::min(m_lastPage, m_pageCount) : m_pageCount;
    m_cancel = false;
    m_last = {};
    PrintOutcome outcome = PrintOutcome::NothingToPrint;
    if (from <= to) {
        m_printing = true;
        try {
            outcome = printPages(from, to);
        } catch (const EBRError& e) {
            m_last.failure = { PrintStep::Pages, 0, e.message() };
            outcome = PrintOutcome::Failed;
        }
        m_printing = false;
    }
    m_last.outcome = outcome;
    if (OnAfterPrint)
        OnAfterPrint();
    if (std::exchange(m_cleanupAfterPrint, false))
        Cleanup();
    // Last: the owning report may free this printer when it hears that its preview closed.
    if (std::exchange(m_closeAfterPrint, false))
        NotifyClientClosed();
    return outcome;
}

TBRPrinter::PrintOutcome TBRPrinter::printPages(int from, int to)
{
    const QPointer<QObject> previousReceiver = m_receiver;
    std::unique_ptr<TBRProgressForm> progress;
    if (m_owner && m_owner->ownerShowProgress()) {
        // Shown while the print server is asked as well, so that its Cancel ends the wait.
        progress = std::make_unique<TBRProgressForm>(this);
        progress->show();
        m_receiver = progress.get();
    }
    struct RestoreReceiver {
        TBRPrinter& p;
        std::unique_ptr<TBRProgressForm>& progress;
        const QPointer<QObject>& previous;
        ~RestoreReceiver()
        {
            progress.reset();
            p.m_receiver = previous;
        }
    } restoreReceiver { *this, progress, previousReceiver };

    m_last.failure = resolveTarget();
    if (m_last.failure.failed())
        return PrintOutcome::Failed;
    if (m_cancel || !m_resolved)
        return PrintOutcome::Cancelled;
    TBRPrintJob job;
    m_last.failure = job.begin(m_settings->ApplySettings(), *m_resolved, queueOptions(), BRPageDotsPerInch);
    if (m_last.failure.failed())
        return PrintOutcome::Failed;

    // A damaged page is reported once (pageDamaged) and gets no sheet.
    bool sheetUsed = false;
    for (int i = from; i <= to; ++i) {
        brYield();
        NotifyProgress(static_cast<int>(std::lround((i - from + 1) * 100.0 / (to - from + 1))));
        m_currentPage = i;
        // A page that cannot be read throws: the job goes with its temporary file.
        const std::unique_ptr<QPicture> page = readPage(i);
        if (page) {
            if (std::exchange(sheetUsed, true))
                job.NewPage();
            job.drawPage(*page);
        }
        if (m_cancel) {
            job.abort();
            return PrintOutcome::Cancelled;
        }
    }
    return finishJob(job);
}
