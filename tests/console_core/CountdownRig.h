#pragma once

// The count-down engine on its own, without a window: a manual clock, recording devices and a
// panel that stands for the console's controls and displays. Everything the run does lands in
// one transcript, each entry stamped with the tenths since the rig was made.

#include "console/BoardControl.h"
#include "console/ConsoleLifecycle.h"
#include "console/CountdownEngine.h"
#include "console/SignalOutputs.h"
#include "console_core/ConsoleFakes.h"
#include "platform/Clock.h"
#include "support/TestSupport.h"

#include <map>
#include <memory>
#include <string>

namespace testing_support {

// A list of texts as one line each, for comparisons whose failures read as text.
inline std::string Lines(const QStringList& list) { return list.join(QLatin1Char('\n')).toStdString(); }

// A shared, time-stamped record of what the devices and displays saw.
struct Transcript {
    const platform::Clock* clock = nullptr;
    std::int64_t originMs = 0;
    QStringList entries;
    void Add(const QString& what)
    {
        entries << QString::number((clock->monotonicMs() - originMs) / 100) + QLatin1Char(' ') + what;
    }
};

// The board as the transcript sees it: each line that differs from the one before.
class TranscriptBoard final : public console::BoardPort {
public:
    explicit TranscriptBoard(Transcript& t)
        : m_t(t)
    {
    }
    void SendString(const QByteArray& bytes) override
    {
        if (full) {
            ++dropped;
            return;
        }
        sent << bytes;
        if (bytes != m_last)
            m_t.Add(QStringLiteral("board \"") + QString::fromLatin1(bytes).chopped(1) + QLatin1Char('"'));
        m_last = bytes;
    }
    void Close() override { m_t.Add(QStringLiteral("board close")); }
    int droppedLines() const override { return dropped; }
    QByteArrayList sent;
    bool full = false;
    int dropped = 0;

private:
    Transcript& m_t;
    QByteArray m_last;
};

// Modem lines: every switch, and the port state behind it.
class TranscriptLines final : public console::SignalLines {
public:
    explicit TranscriptLines(Transcript& t)
        : m_t(t)
    {
    }
    bool Open(int port) override
    {
        m_t.Add(QStringLiteral("open %1").arg(port));
        return fake.Open(port);
    }
    void Close(int port) override { fake.Close(port); }
    bool setRts(int port, bool high) override
    {
        return Line(QStringLiteral("rts"), port, high, &FakeSignalLines::setRts);
    }
    bool setDtr(int port, bool high) override
    {
        return Line(QStringLiteral("dtr"), port, high, &FakeSignalLines::setDtr);
    }
    FakeSignalLines fake;

private:
    bool Line(const QString& name, int port, bool high, bool (FakeSignalLines::*set)(int, bool))
    {
        // Only changes make the transcript: the reset's OFF presses on lines already low do not.
        const bool before = name == QLatin1String("rts") ? fake.ports[port].rts : fake.ports[port].dtr;
        const bool switched = (fake.*set)(port, high);
        const bool after = name == QLatin1String("rts") ? fake.ports[port].rts : fake.ports[port].dtr;
        if (before != after)
            m_t.Add(QStringLiteral("%1 %2 %3").arg(name).arg(port).arg(high ? "on" : "off"));
        return switched;
    }
    Transcript& m_t;
};

class TranscriptPlayer final : public console::CuePlayer {
public:
    TranscriptPlayer(Transcript& t, QString name, QString file)
        : m_t(t)
        , m_name(std::move(name))
        , m_file(std::move(file))
    {
    }
    bool Open(const QString& fileName) override
    {
        m_file = fileName;
        return true;
    }
    bool Play() override
    {
        if (onPlay)
            onPlay();
        m_t.Add(QStringLiteral("play ") + m_name);
        playing = true;
        return plays;
    }
    void Stop() override
    {
        if (playing)
            m_t.Add(QStringLiteral("stop ") + m_name);
        playing = false;
    }
    void Close() override { m_file.clear(); }
    QString FileName() const override { return m_file; }
    bool playing = false;
    bool plays = true;
    std::function<void()> onPlay;

private:
    Transcript& m_t;
    QString m_name, m_file;
};

// The console's controls and displays, and the timing-server link's state.
class TestPanel final : public console::CountdownControls,
                        public console::CountdownHost,
                        public console::CountdownLink {
public:
    using Phase = console::Phase;
    using Preset = console::Preset;

    // ---- Controls ----
    QString presetText(Preset p) const override { return presets.at(p); }
    bool boardOn() const override { return boardOnSetting; }
    int offControl() const override { return offControlSetting; }
    QString boardPrefix() const override { return prefix; }
    qint64 blindTenths() const override { return blindSetting; }
    bool blindSettingOn() const override { return blindSetting > 0; }
    bool automatic() const override { return automaticSetting; }
    qint64 triggerSlot(int slot) const override { return triggers[static_cast<size_t>(slot)]; }
    int pulseMs() const override { return 100; }

    std::map<Preset, QString> presets { { Preset::Warm, "0:05:00" }, { Preset::Race, "0:10:00" },
        { Preset::Over, "0:01:00" }, { Preset::Blank, "0:00:00" }, { Preset::Interval, "0:03:00" } };
    bool boardOnSetting = true;
    int offControlSetting = 0;
    QString prefix;
    qint64 blindSetting = 0;
    bool automaticSetting = false;
    // Far beyond any phase by default, so that a test sees only the triggers it sets.
    std::array<qint64, console::SignalSlotCount> triggers { -1000, -1000, -1000, -1000, -1000, -1000, -1000,
        -1000, -1000, -1000, -1000 };

    // ---- Host ----
    void showDigits(Phase row, const std::array<int, 6>& values) override
    {
        if (throwOnDigits)
            throw std::runtime_error("digit failure");
        digits[static_cast<size_t>(row)] = values;
    }
    void setRowColor(Phase row, platform::TColor color) override { colors[static_cast<size_t>(row)] = color; }
    void showCut(const QString& text) override { cut = text; }
    void showSignalRemaining(int signal, const QString& text) override
    {
        lb[static_cast<size_t>(signal)] = text;
    }
    void showTicks(qint32, qint32, bool) override { }
    void showBoardText(const QString&) override { }
    void showIntervalText(const QString& text) override { intervalText = text; }
    void cueListChanged(const QStringList& list) override { memo = list; }
    void cueHeadRemoved() override { memo.removeFirst(); }
    void showStatus(const QString& text) override { statuses << text; }
    void timersChanged() override { ++timerChanges; }
    void reloadCues() override
    {
        ++reloads;
        if (onReload)
            onReload();
    }
    void lookupResults() override { ++lookups; }

    // Digits of a row as text, blanks as "_": 0:05:00.0 with two digits blanked reads "__5000".
    QString row(Phase row) const
    {
        QString s;
        for (int d : digits[static_cast<size_t>(row)])
            s += d < 0 ? QChar(u'_') : QChar(u'0' + d);
        return s;
    }

    std::array<std::array<int, 6>, 3> digits {};
    std::array<platform::TColor, 3> colors {};
    QString cut, intervalText;
    std::array<QString, 5> lb;
    QStringList memo, statuses;
    int timerChanges = 0, reloads = 0, lookups = 0;
    bool throwOnDigits = false;
    std::function<void()> onReload;

    // ---- Link ----
    bool serverConnected() const override { return connected; }
    bool BoardFromNetwork() const override { return boardFromNetwork; }
    void setBoardFromNetwork(bool fromNetwork) override { boardFromNetwork = fromNetwork; }

    bool connected = false, boardFromNetwork = false;
};

// The engine with everything around it.
struct CountdownRig {
    using Phase = console::Phase;
    using Preset = console::Preset;

    CountdownRig()
    {
        transcript.clock = &clock;
        console::SignalOutputs::View view;
        view.lamp
            = [this](int output, platform::TColor color) { lamps[static_cast<size_t>(output)] = color; };
        view.status = [this](const QString& text) { panel.statuses << text; };
        outputs = std::make_unique<console::SignalOutputs>(lines, sleeper, scheduler, view);
        console::BoardControl::View boardView;
        boardView.status = view.status;
        boardControl = std::make_unique<console::BoardControl>(*boardPort, scheduler, clock, boardView);
        // The scripted asker is the current one while the rig lives.
        engine = std::make_unique<console::CountdownEngine>(console::CountdownEngine::Parts {
            .clock = clock,
            .asker = platform::currentAsker(),
            .monitor = monitor,
            .random = random,
            .controls = panel,
            .host = panel,
            .link = panel,
            .signalOutputs = *outputs,
            .board = *boardControl,
        });
        const std::pair<Phase, std::pair<const char*, int>> banks[]
            = { { Phase::Warm, { "MP", 13 } }, { Phase::Race, { "MPt", 14 } }, { Phase::Over, { "MPo", 3 } },
                  { Phase::Interval, { "MPi", 3 } } };
        for (const auto& [phase, bank] : banks) {
            std::vector<console::CuePlayer*> list;
            for (int i = 1; i <= bank.second; ++i) {
                const QString name = QLatin1String(bank.first) + QString::number(i);
                players[name]
                    = std::make_unique<TranscriptPlayer>(transcript, name, name + QStringLiteral(".wav"));
                list.push_back(players[name].get());
            }
            engine->setPlayers(phase, list);
        }
        // The cue loader of a reset sets the cue list it was given.
        panel.onReload = [this] { engine->setCueList(cues); };
        transcript.originMs = clock.monotonicMs();
    }

    // A confirmed reset.
    void Reset()
    {
        asker.answer(true);
        engine->Reset();
    }
    // Lets `tenths` pass at the timers' pace: each tenth both the phase and the interval timer
    // fire (the engine runs whichever is on).
    void ticks(int tenths)
    {
        for (int i = 0; i < tenths; ++i) {
            clock.advanceMs(100);
            engine->phaseTick();
            engine->intervalTick();
        }
    }
    // Lets time pass without a tick (a stalled console).
    void stall(int tenths) { clock.advanceMs(100 * tenths); }
    // Tries a tick of `timer` from inside the engine, a tenth later (a player that runs the event
    // loop); `handled` counts the ticks the engine took, which must stay 0.
    std::function<void()> tickInside(void (console::CountdownEngine::*timer)(), int& handled)
    {
        return [this, timer, &handled] {
            clock.advanceMs(100);
            const qint32 before = engine->LastTick();
            ((*engine).*timer)();
            handled += engine->LastTick() == before ? 0 : 1;
        };
    }

    platform::ManualClock clock { QDateTime(QDate(2024, 3, 9), QTime(9, 35)) };
    Transcript transcript;
    ScriptedAsker asker;
    std::unique_ptr<TranscriptBoard> boardPort = std::make_unique<TranscriptBoard>(transcript);
    TranscriptLines lines { transcript };
    FakeSleeper sleeper;
    FakeScheduler scheduler;
    FakeMonitorFiles monitor;
    FakeRandomSource random;
    TestPanel panel;
    std::array<platform::TColor, 6> lamps {};
    std::unique_ptr<console::SignalOutputs> outputs;
    std::unique_ptr<console::BoardControl> boardControl;
    std::unique_ptr<console::CountdownEngine> engine;
    std::map<QString, std::unique_ptr<TranscriptPlayer>> players;
    QStringList cues { "-" };
};

} // namespace testing_support
