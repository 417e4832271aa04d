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
#include <optional>

namespace testing_support {

class FakeSoundSystem {
public:
    // Outputs on this system: "play <file name>" for a play that starts, "fail <file name>" for
    // a refused one, "end <file name>" for one ended unheard, "prepare <file name>" for a file
    // readied, "stop" for a stop once it has returned.
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
    // Outputs standing prepared now, and plays of a file its output had not prepared.
    int readyNow() const { return m_ready.load(); }
    int coldPlays() const { return m_coldPlays.load(); }
    // The sound thread is inside a blocked stop.
    bool hung() const { return m_inHungStop.load(); }
    // The next `n` plays fail.
    void refuse(int n) { m_refusals = n; }
    // The next `n` plays end at once without starting, having got as far as `reached` says.
    void endUnheard(int n, platform::SoundOutput::Reached reached = { 0, 1000 })
    {
        const std::lock_guard<std::mutex> g(m_lock);
        m_unheard = n;
        m_reached = reached;
    }

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
        ~Output() override { Unready(); }
        void Play(const QString& file) override
        {
            const QString name = QFileInfo(file).fileName();
            if (m_prepared != file)
                ++m_system.m_coldPlays;
            Unready();
            if (m_system.m_refusals.fetch_sub(1) > 0) {
                m_system.Add(QStringLiteral("fail ") + name);
                if (onFailed)
                    onFailed(QStringLiteral("refused"));
                return;
            }
            m_system.m_refusals = 0;
            if (const auto reached = m_system.takeUnheard()) {
                m_system.Add(QStringLiteral("end ") + name);
                if (onEnded)
                    onEnded(*reached);
                return;
            }
            m_system.Add(QStringLiteral("play ") + name);
            if (onStarted)
                onStarted();
        }
        void Prepare(const QString& file) override
        {
            if (m_prepared == file)
                return;
            Unready();
            m_prepared = file;
            ++m_system.m_ready;
            m_system.Add(QStringLiteral("prepare ") + QFileInfo(file).fileName());
        }
        void Stop() override
        {
            Unready();
            std::unique_lock<std::mutex> g(m_system.m_lock);
            m_system.m_inHungStop = m_system.m_hanging;
            m_system.m_answered.wait_for(g, HangLimit, [this] { return !m_system.m_hanging; });
            m_system.m_inHungStop = false;
            m_system.m_log << QStringLiteral("stop");
        }

    private:
        void Unready()
        {
            if (!m_prepared.isEmpty())
                --m_system.m_ready;
            m_prepared.clear();
        }
        FakeSoundSystem& m_system;
        QString m_prepared;
    };

    std::optional<platform::SoundOutput::Reached> takeUnheard()
    {
        const std::lock_guard<std::mutex> g(m_lock);
        if (m_unheard <= 0)
            return std::nullopt;
        --m_unheard;
        return m_reached;
    }
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
    std::atomic<int> m_ready { 0 }, m_coldPlays { 0 };
    int m_unheard = 0;
    platform::SoundOutput::Reached m_reached;
    QStringList m_log;
};

} // namespace testing_support
