#pragma once

// Report printer tests: a run of numbered pages, what poppler reads back from a PDF, and a
// print queue that takes, refuses or never answers.

#include "platform/Clock.h"
#include "report/BRPrntr.h"
#include "report/BandRpt.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QStringList>
#include <QTemporaryDir>
#include <future>
#include <memory>
#include <mutex>

namespace printer_support {

// While it lives, a run or print takes pending events between rows and pages (the program's
// preview start-up installs the same), so that a cancel or a preview's paging is seen meanwhile.
class YieldToEventLoop {
public:
    YieldToEventLoop()
        : m_previous(setBRYieldHook([] { QCoreApplication::processEvents(); }))
    {
    }
    ~YieldToEventLoop() { setBRYieldHook(m_previous); }
    YieldToEventLoop(const YieldToEventLoop&) = delete;
    YieldToEventLoop& operator=(const YieldToEventLoop&) = delete;

private:
    TBRYieldHook m_previous;
};

// Draws `pages` pages through the report printer, each holding "Seite <n>" and a Japanese line.
inline void runPages(TBRPrinter& printer, int pages)
{
    printer.BeginDoc();
    for (int n = 1; n <= pages; ++n) {
        printer.NewPage();
        QPainter* canvas = printer.Canvas();
        QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
        font.setPointSize(12);
        canvas->setFont(font);
        canvas->drawText(printer.ToDeviceX(200), printer.ToDeviceY(300), QStringLiteral("Seite %1").arg(n));
        canvas->drawText(
            printer.ToDeviceX(200), printer.ToDeviceY(500), QStringLiteral("予選ヒート %1").arg(n));
    }
    printer.EndDoc();
}

inline QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Page sizes in points, as pdfinfo reports them for every page.
inline QList<QSizeF> pdfPageSizes(const QString& pdf)
{
    const QString info = run(QStringLiteral("pdfinfo"),
        { QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("9999"), pdf });
    QList<QSizeF> sizes;
    static const QRegularExpression re(QStringLiteral("Page +\\d+ size: +([\\d.]+) x ([\\d.]+) pts"));
    for (auto it = re.globalMatch(info); it.hasNext();) {
        const auto m = it.next();
        sizes << QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
    }
    return sizes;
}

// The text of each page.
inline QStringList pdfPageTexts(const QString& pdf)
{
    QStringList pages
        = run(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf, QStringLiteral("-") })
              .split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// The "Seite" number on each page of a PDF, in order (0 for a page without one).
inline QList<int> pdfSeiten(const QString& pdf)
{
    QList<int> pages;
    static const QRegularExpression re(QStringLiteral("Seite (\\d+)"));
    for (const QString& text : pdfPageTexts(pdf))
        pages << re.match(text).captured(1).toInt();
    return pages;
}

// What a print-system fake shares with the report printer's threads that call it: a lock, and
// whether a call hangs until the fake goes.
struct FakeGate {
    std::mutex lock;
    bool hang = false;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    // Called with the lock held: a hanging fake lets go of it and waits until it goes.
    void holdIfHanging(std::unique_lock<std::mutex>& guard)
    {
        if (!hang)
            return;
        guard.unlock();
        released.wait();
        guard.lock();
    }
};

// Installs a fake's hook for the life of the object and puts the previous one back; calls still
// hanging then return. The hook runs on threads of its own and may outlive the test: it holds
// only the shared state.
template <typename State, typename Hook> class InstalledFake {
public:
    InstalledFake(InstalledFake&& other) noexcept
        : m_state(std::move(other.m_state))
        , m_install(other.m_install)
        , m_previous(std::move(other.m_previous))
        , m_installed(std::exchange(other.m_installed, false))
    {
    }
    ~InstalledFake()
    {
        if (!m_installed)
            return;
        m_install(std::move(m_previous));
        if (m_state->hang)
            m_state->release.set_value();
    }

    // Calls from now on never answer until the fake goes (a server stopped after it answered).
    void hangFromNow()
    {
        const std::lock_guard guard(m_state->lock);
        m_state->hang = true;
    }

protected:
    using Install = Hook (*)(Hook);
    InstalledFake(Install install, const std::function<Hook(std::shared_ptr<State>)>& hookOf)
        : m_state(std::make_shared<State>())
        , m_install(install)
        , m_previous(install(hookOf(m_state)))
    {
    }
    bool installed() const { return m_installed; }
    std::shared_ptr<State> m_state;

private:
    Install m_install;
    Hook m_previous;
    bool m_installed = true;
};

struct FakeQueueState : FakeGate {
    struct Job {
        TBRQueueJob job;
        QString copy; // the file as the queue got it
    };
    TBRQueueAnswer answer;
    QTemporaryDir dir;
    QList<Job> jobs;
};

// A CUPS queue for the life of the object: answers every job as told, or never answers until
// the object goes (Hang). It keeps a copy of each job's file, as the queue would have it.
class FakeQueue : public InstalledFake<FakeQueueState, TBRQueueSubmitter> {
public:
    using Job = FakeQueueState::Job;
    static FakeQueue hanging()
    {
        FakeQueue q;
        q.m_state->hang = true;
        return q;
    }
    explicit FakeQueue(TBRQueueAnswer answer = {})
        : InstalledFake(setQueueSubmitter, [](std::shared_ptr<FakeQueueState> state) {
            return [state](const TBRQueueJob& job) {
                std::unique_lock guard(state->lock);
                const QString copy = state->dir.filePath(QStringLiteral("%1.pdf").arg(state->jobs.size()));
                QFile::copy(job.fileName, copy);
                state->jobs.append({ job, copy });
                state->holdIfHanging(guard);
                return state->answer;
            };
        })
    {
        const std::lock_guard guard(m_state->lock);
        m_state->answer = std::move(answer);
    }
    QList<Job> jobs() const
    {
        const std::lock_guard guard(m_state->lock);
        return m_state->jobs;
    }
};

struct FakeListerState : FakeGate {
    TBRQueueList queues;
    int calls = 0;
};

// The print server's list of queues for the life of the object: `queues` (none: a machine
// without queues, or whose server refuses), or no answer until the object goes (Hang). It
// counts the times it was asked. What earlier listings told is forgotten at both ends.
class FakeLister : public InstalledFake<FakeListerState, TBRQueueLister> {
public:
    static FakeLister hanging()
    {
        FakeLister l;
        l.m_state->hang = true;
        return l;
    }
    explicit FakeLister(TBRQueueList queues = {})
        : InstalledFake(setQueueLister, [](std::shared_ptr<FakeListerState> state) {
            return [state] {
                std::unique_lock guard(state->lock);
                ++state->calls;
                state->holdIfHanging(guard);
                return state->queues;
            };
        })
    {
        answer(std::move(queues));
        brForgetQueues();
    }
    FakeLister(FakeLister&&) noexcept = default;
    ~FakeLister()
    {
        if (installed())
            brForgetQueues();
    }
    // The next listings answer with these queues.
    void answer(TBRQueueList queues)
    {
        const std::lock_guard guard(m_state->lock);
        m_state->queues = std::move(queues);
    }
    int calls() const
    {
        const std::lock_guard guard(m_state->lock);
        return m_state->calls;
    }
    // A default queue "office" whose paper is `paper`.
    static TBRQueueList office(TBRPaperSize paper = TBRPaperSize::A4)
    {
        TBRQueueInfo q;
        q.name = QStringLiteral("office");
        q.isDefault = true;
        q.paper = paper;
        return { q };
    }
};

// A shorter wait for the print server, for the life of the object.
class QueueAnswerLimit {
public:
    explicit QueueAnswerLimit(std::int64_t ms)
        : m_previous(setQueueAnswerLimit(ms))
    {
    }
    ~QueueAnswerLimit() { setQueueAnswerLimit(m_previous); }
    QueueAnswerLimit(const QueueAnswerLimit&) = delete;
    QueueAnswerLimit& operator=(const QueueAnswerLimit&) = delete;

private:
    std::int64_t m_previous;
};

// A queue clock on which half the answer limit passes at every look: a queue that has not
// answered is given up on after a few turns of the event loop. Installed for its life.
class HurriedQueueClock final : public platform::Clock {
public:
    HurriedQueueClock() { m_previous = setQueueClock(this); }
    ~HurriedQueueClock() override { setQueueClock(m_previous); }
    QDateTime now() const override { return {}; }
    std::int64_t monotonicMs() const override { return m_ms += BRQueueAnswerLimitMs / 2; }

private:
    mutable std::int64_t m_ms = 0;
    const platform::Clock* m_previous;
};

} // namespace printer_support
