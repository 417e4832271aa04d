#include "console/BackgroundFileWriter.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace console {

std::optional<platform::FileWriteFailure> replaceFile(const QString& path, const QByteArray& bytes)
{
    return platform::writeWholeFile(path, bytes);
}

bool FailureNews::note(const QString& path, const std::optional<platform::FileWriteFailure>& failure)
{
    if (!failure) {
        m_failing.erase(path);
        return false;
    }
    return m_failing.insert_or_assign(path, *failure).second;
}

std::vector<platform::FileWriteFailure> FailureNews::failures() const
{
    std::vector<platform::FileWriteFailure> all;
    for (const auto& [path, failure] : m_failing)
        all.push_back(failure);
    return all;
}

struct BackgroundFileWriter::State {
    WriteFunction write;
    int endWaitMs = 0;

    std::mutex mutex;
    std::condition_variable wake; // the worker: something waits, or the writer goes
    std::condition_variable idle; // Flush and the destructor: the worker has caught up or ended
    std::deque<QString> order; // the files waiting, in the order they were handed over
    std::map<QString, QByteArray> waiting; // the newest content of each waiting file
    FailureNews news; // and which files' last finished write failed
    std::vector<platform::FileWriteFailure> newFailures; // news not yet taken
    bool writing = false;
    bool stop = false;
    bool ended = false;
    std::thread worker;

    bool caughtUp() const { return order.empty() && !writing; }

    std::optional<platform::FileWriteFailure> attempt(const QString& path, const QByteArray& bytes) const
    {
        try {
            return write(path, bytes);
        } catch (...) {
            // A writer that throws has not written the file.
            return platform::FileWriteFailure { path, QStringLiteral("書き込めません") };
        }
    }

    // Under the lock.
    void noteResult(const QString& path, const std::optional<platform::FileWriteFailure>& failure)
    {
        if (news.note(path, failure))
            newFailures.push_back(*failure);
    }

    static void run(const std::shared_ptr<State>& s)
    {
        std::unique_lock lock(s->mutex);
        for (;;) {
            s->wake.wait(lock, [&] { return s->stop || !s->order.empty(); });
            if (s->order.empty())
                break;
            const QString path = s->order.front();
            s->order.pop_front();
            const QByteArray bytes = s->waiting.extract(path).mapped();
            s->writing = true;
            lock.unlock();
            const std::optional<platform::FileWriteFailure> failure = s->attempt(path, bytes);
            lock.lock();
            s->writing = false;
            s->noteResult(path, failure);
            if (s->caughtUp())
                s->idle.notify_all();
        }
        s->ended = true;
        s->idle.notify_all();
    }
};

BackgroundFileWriter::BackgroundFileWriter(WriteFunction write, int endWaitMs)
    : m_state(std::make_shared<State>())
{
    m_state->write = std::move(write);
    m_state->endWaitMs = endWaitMs;
}

BackgroundFileWriter::~BackgroundFileWriter()
{
    State& s = *m_state;
    bool ended;
    {
        std::unique_lock lock(s.mutex);
        s.stop = true;
        s.wake.notify_all();
        if (!s.worker.joinable())
            return;
        ended = s.idle.wait_for(lock, std::chrono::milliseconds(s.endWaitMs), [&] { return s.ended; });
    }
    // A worker stuck in a write (a disk that hangs) is left to finish on its own; it holds the
    // state it works on.
    if (ended)
        s.worker.join();
    else
        s.worker.detach();
}

bool BackgroundFileWriter::Write(const QString& path, const QByteArray& bytes)
{
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    if (!s.worker.joinable()) {
        try {
            s.worker = std::thread(&State::run, m_state);
        } catch (const std::system_error&) {
            // No thread to be had: the write waits for the disk here.
            lock.unlock();
            const std::optional<platform::FileWriteFailure> failure = s.attempt(path, bytes);
            lock.lock();
            s.noteResult(path, failure);
            return !failure;
        }
    }
    if (s.waiting.insert_or_assign(path, bytes).second)
        s.order.push_back(path);
    s.wake.notify_one();
    return !s.news.failing(path);
}

bool BackgroundFileWriter::flush(int timeoutMs)
{
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    if (!s.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return s.caughtUp(); }))
        return false;
    return s.news.failures().empty();
}

std::vector<platform::FileWriteFailure> BackgroundFileWriter::takeNewFailures()
{
    State& s = *m_state;
    std::lock_guard lock(s.mutex);
    return std::exchange(s.newFailures, {});
}

std::vector<platform::FileWriteFailure> BackgroundFileWriter::failures() const
{
    State& s = *m_state;
    std::lock_guard lock(s.mutex);
    return s.news.failures();
}

} // namespace console
