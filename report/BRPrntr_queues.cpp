#include "platform/Clock.h"
#include "platform/EndOnSignals.h"
#include "report/BRPrntr.h"
#include "report/BandRpt.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QPageSize>
#include <QPrinterInfo>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// ---------------------------------------------------------------------------------------------
// Calls on a thread of their own
// ---------------------------------------------------------------------------------------------

namespace {

const platform::Clock*& queueClockOverride()
{
    static const platform::Clock* clock = nullptr;
    return clock;
}

std::int64_t& answerLimit()
{
    static std::int64_t limit = BRQueueAnswerLimitMs;
    return limit;
}

const platform::Clock& queueClock()
{
    return queueClockOverride() ? *queueClockOverride() : platform::defaultClock();
}

} // namespace

const platform::Clock* setQueueClock(const platform::Clock* clock)
{
    return std::exchange(queueClockOverride(), clock);
}

std::int64_t setQueueAnswerLimit(std::int64_t ms) { return std::exchange(answerLimit(), ms); }

std::int64_t brQueueAnswerLimitMs() { return answerLimit(); }

// What the waiters and the calling thread share; it lives as long as either needs it.
struct TBROffThreadCall::State {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    int waiting = 0; // GUI-thread waits under way: only they may be woken
    QAbstractEventDispatcher* waker = nullptr;
};

std::shared_ptr<TBROffThreadCall> TBROffThreadCall::start(std::function<void()> call)
{
    auto self = std::make_shared<TBROffThreadCall>();
    self->m_state = std::make_shared<State>();
    if (QCoreApplication* app = QCoreApplication::instance())
        self->m_state->waker = QAbstractEventDispatcher::instance(app->thread());
    std::thread([state = self->m_state, call = std::move(call)] {
        call();
        const std::lock_guard guard(state->lock);
        state->done = true;
        state->finished.notify_all();
        // The event loop, and so its dispatcher, is certain to exist only while someone waits.
        if (state->waiting > 0 && state->waker)
            state->waker->wakeUp();
    }).detach();
    return self;
}

bool TBROffThreadCall::done() const
{
    const std::lock_guard guard(m_state->lock);
    return m_state->done;
}

bool TBROffThreadCall::await(const std::function<bool()>& cancelled)
{
    State& s = *m_state;
    const platform::Clock& clock = queueClock();
    const std::int64_t start = clock.monotonicMs();
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        // No event loop to keep turning: a plain wait, bounded the same way.
        std::unique_lock guard(s.lock);
        s.finished.wait_for(guard, std::chrono::milliseconds(std::max<std::int64_t>(0, answerLimit())),
            [&] { return s.done; });
        return s.done;
    }
    QTimer look; // wakes the loop now and then to look at the clock
    look.start(50);
    {
        const std::lock_guard guard(s.lock);
        ++s.waiting;
    }
    bool result = false;
    for (;;) {
        {
            const std::lock_guard guard(s.lock);
            if (s.done) {
                result = true;
                break;
            }
        }
        // A program asked to end stops waiting: its windows are closing under the wait.
        if (clock.monotonicMs() - start >= answerLimit() || (cancelled && cancelled())
            || QCoreApplication::closingDown() || platform::endRequested())
            break;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const std::lock_guard guard(s.lock);
    --s.waiting;
    return result;
}

// ---------------------------------------------------------------------------------------------
// The print server's queues
// ---------------------------------------------------------------------------------------------

namespace {

// The table paper of a Qt page size; A4 for one the table lacks.
TBRPaperSize tablePaper(const QPageSize& size)
{
    const int code = size.isValid() ? size.windowsId() : 0;
    for (int c = 1; c < BRPaperSizeCount - 1; ++c)
        if (brPaperToDevMode(static_cast<TBRPaperSize>(c)) == code)
            return static_cast<TBRPaperSize>(c);
    return TBRPaperSize::A4;
}

// Qt's print plug-in, which asks libcups for every queue and reads each queue's PPD.
TBRQueueList systemQueues()
{
    TBRQueueList list;
    const QString defaultName = QPrinterInfo::defaultPrinterName();
    for (const QPrinterInfo& info : QPrinterInfo::availablePrinters()) {
        TBRQueueInfo q;
        q.name = info.printerName();
        q.isDefault = q.name == defaultName;
        q.paper = tablePaper(info.defaultPageSize());
        for (const QPageSize& s : info.supportedPageSizes())
            q.paperCodes << s.windowsId();
        list << q;
    }
    return list;
}

struct Queues {
    std::mutex lock;
    TBRQueueLister lister;
    int generation = 0; // a new lister, or forgetting, makes older listings' answers void
    TBRQueueList known;
    bool defaultSeen = false;
    std::shared_ptr<TBROffThreadCall> listing; // the last listing started
};

Queues& queues()
{
    // Never destroyed: a listing that never returned may still end after the program's end.
    static auto* q = new Queues;
    return *q;
}

void remember(int generation, const TBRQueueList& list)
{
    Queues& q = queues();
    const std::lock_guard guard(q.lock);
    if (generation != q.generation)
        return;
    q.known = list;
    for (const TBRQueueInfo& info : list)
        q.defaultSeen = q.defaultSeen || info.isDefault;
}

// The listing under way, or a new one.
std::shared_ptr<TBROffThreadCall> listing()
{
    Queues& q = queues();
    const std::lock_guard guard(q.lock);
    if (q.listing && !q.listing->done())
        return q.listing;
    TBRQueueLister lister = q.lister ? q.lister : TBRQueueLister(systemQueues);
    q.listing = TBROffThreadCall::start(
        [lister = std::move(lister), generation = q.generation] { remember(generation, lister()); });
    return q.listing;
}

} // namespace

TBRQueueLister setQueueLister(TBRQueueLister lister)
{
    Queues& q = queues();
    const std::lock_guard guard(q.lock);
    q.listing.reset(); // a listing by the old lister is not waited for again
    ++q.generation;
    return std::exchange(q.lister, std::move(lister));
}

std::optional<TBRQueueList> brListQueues(const std::function<bool()>& cancelled)
{
    if (!listing()->await(cancelled))
        return std::nullopt;
    return brKnownQueues();
}

void brRefreshQueues() { listing(); }

TBRQueueList brKnownQueues()
{
    Queues& q = queues();
    const std::lock_guard guard(q.lock);
    return q.known;
}

TBRPaperSize brDefaultQueuePaper()
{
    for (const TBRQueueInfo& info : brKnownQueues())
        if (info.isDefault)
            return info.paper;
    return TBRPaperSize::A4;
}

bool brDefaultQueueSeen()
{
    Queues& q = queues();
    const std::lock_guard guard(q.lock);
    return q.defaultSeen;
}

void brForgetQueues()
{
    Queues& q = queues();
    const std::lock_guard guard(q.lock);
    ++q.generation;
    q.known.clear();
    q.defaultSeen = false;
    q.listing.reset();
}
