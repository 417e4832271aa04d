#pragma once

// A media back end for tests: its outputs start at once, and it can hang (a stop that blocks the
// sound thread until the test lets it answer, as a paused sound server does), refuse plays, and
// end plays without having started them (a sound server that drops the stream). Everything the
// outputs did is logged, in order, from the sound thread.

#include "platform/SoundOutput.h"

#include <QFileInfo>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace testing_support {

class FakeSoundSystem {
public:
    // Outputs on this system: "play <file name>" for a play that starts, "fail <file name>" for
    // a refused one, "end <file name>" for one ended unheard, "stop" for a stop once it has
    // returned.
    platform::SoundOutputFactory factory()
    {
        return [this] { return std::make_unique<Output>(*this); };
    }

    // From now on a stop blocks the sound thread until answer() (at most HangLimit, so that a
    // broken test fails instead of hanging the suite).
    void hang()
    {
        const std::lock_guard<std::mutex> g(m_lock);
        m_hanging = true;
    }
    void answer()
    {
        {
            const std::lock_guard<std::mutex> g(m_lock);
            m_hanging = false;
        }
        m_answered.notify_all();
    }
    // The sound thread is inside a blocked stop.
    bool hung() const { return m_inHungStop.load(); }
    // The next `n` plays fail.
    void refuse(int n) { m_refusals = n; }
    // The next `n` plays end at once without having started.
    void endUnheard(int n) { m_unheard = n; }

    QStringList log() const
    {
        const std::lock_guard<std::mutex> g(m_lock);
        return m_log;
    }

    static constexpr std::chrono::seconds HangLimit { 30 };

private:
    class Output final : public platform::SoundOutput {
    public:
        explicit Output(FakeSoundSystem& system)
            : m_system(system)
        {
        }
        void Play(const QString& file) override
        {
            const QString name = QFileInfo(file).fileName();
            if (m_system.m_refusals.fetch_sub(1) > 0) {
                m_system.Add(QStringLiteral("fail ") + name);
                if (onFailed)
                    onFailed(Failure::File, QStringLiteral("refused"));
                return;
            }
            m_system.m_refusals = 0;
            if (m_system.m_unheard.fetch_sub(1) > 0) {
                m_system.Add(QStringLiteral("end ") + name);
                if (onEnded)
                    onEnded();
                return;
            }
            m_system.m_unheard = 0;
            m_system.Add(QStringLiteral("play ") + name);
            if (onStarted)
                onStarted();
        }
        void Stop() override
        {
            std::unique_lock<std::mutex> g(m_system.m_lock);
            m_system.m_inHungStop = m_system.m_hanging;
            m_system.m_answered.wait_for(g, HangLimit, [this] { return !m_system.m_hanging; });
            m_system.m_inHungStop = false;
            m_system.m_log << QStringLiteral("stop");
        }

    private:
        FakeSoundSystem& m_system;
    };

    void Add(const QString& entry)
    {
        const std::lock_guard<std::mutex> g(m_lock);
        m_log << entry;
    }

    mutable std::mutex m_lock;
    std::condition_variable m_answered;
    bool m_hanging = false;
    std::atomic<bool> m_inHungStop { false };
    std::atomic<int> m_refusals { 0 };
    std::atomic<int> m_unheard { 0 };
    QStringList m_log;
};

} // namespace testing_support
