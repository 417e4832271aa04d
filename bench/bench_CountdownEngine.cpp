// The phase count-down's tick against its 100 ms period, and whole days of races: run after run
// started by hand, and forty races in automatic operation, each started by the interval before it.
//
// The engine runs with the real board-line building, signal logic and time-file writer (into a
// temporary folder, or TAVO_BENCH_DIR to measure another disk); only the ports, the players and
// the displays are stand-ins that take their calls and do nothing. The clock is simulated, so
// that a day passes in seconds.

#include "bench/BenchMain.h"
#include "console/BoardControl.h"
#include "console/ConsoleDevices.h"
#include "console/ConsoleLifecycle.h"
#include "console/CountdownEngine.h"
#include "console/MonitorFiles.h"
#include "console/SignalOutputs.h"
#include "platform/Asker.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

namespace {

using console::Phase;
using console::Preset;

class NullBoard final : public console::BoardPort {
public:
    void SendString(const QByteArray& bytes) override { bytesSent += bytes.size(); }
    void Close() override { }
    qint64 bytesSent = 0;
};

class NullLines final : public console::SignalLines {
public:
    bool Open(int) override { return true; }
    void Close(int) override { }
    bool setRts(int, bool) override { return true; }
    bool setDtr(int, bool) override { return true; }
};

class NullSleeper final : public console::Sleeper {
public:
    void sleep(int) override { }
};

class NullScheduler final : public console::Scheduler {
public:
    void after(int, std::function<void()>) override { }
};

class NullPlayer final : public console::CuePlayer {
public:
    bool Open(const QString& f) override
    {
        m_file = f;
        return true;
    }
    bool Play() override { return true; }
    void Stop() override { }
    void Close() override { }
    QString FileName() const override { return m_file; }

private:
    QString m_file = QStringLiteral("cue.wav");
};

// Takes the time file and keeps nothing, to tell the tick's own cost from the file's.
class NullMonitor final : public console::MonitorFiles {
public:
    bool writeTime(const QString&, QChar) override { return true; }
    bool writeSchedule(const std::vector<console::ScheduleLine>&) override { return true; }
    bool writeMemo(const QString&, bool) override { return true; }
};

// Replaces the time file within the tick, waiting for the disk: what the background writer
// spares the tick.
class OnTickMonitor final : public console::MonitorFiles {
public:
    explicit OnTickMonitor(QString folder)
        : m_path(QDir(folder).filePath(console::DtimeFileName))
    {
    }
    bool writeTime(const QString& clockText, QChar letter) override
    {
        return !console::replaceFile(m_path, console::dtimeFileBytes(clockText, letter));
    }
    bool writeSchedule(const std::vector<console::ScheduleLine>&) override { return true; }
    bool writeMemo(const QString&, bool) override { return true; }

private:
    QString m_path;
};

// Where the time file goes: nowhere, through the console's background writer, or written within
// the tick.
enum class TimeFile { None = 0, Background = 1, OnTick = 2 };

// The folder for the time file: TAVO_BENCH_DIR (a disk of the track PC's kind), else a
// temporary folder.
QString benchFolder(const QTemporaryDir& temporary)
{
    const QString chosen = qEnvironmentVariable("TAVO_BENCH_DIR");
    return chosen.isEmpty() ? temporary.path() : chosen;
}

class YesAsker final : public platform::Asker {
public:
    bool askYesNo(const QString&, const QString&) override { return true; }
    void inform(const QString&, const QString&) override { }
    void error(const QString&) override { }
};

// The console's controls and displays, as plain values; the displays take their calls. No
// timing server is connected.
class Panel final : public console::CountdownControls,
                    public console::CountdownHost,
                    public console::CountdownLink {
public:
    QString presetText(Preset p) const override { return presets.at(p); }
    bool boardOn() const override { return true; }
    int offControl() const override { return 1; }
    QString boardPrefix() const override { return {}; }
    qint64 blindTenths() const override { return 30; }
    bool blindSettingOn() const override { return true; }
    bool automatic() const override { return automaticSetting; }
    qint64 triggerSlot(int slot) const override { return 100 * (slot + 1); }
    int pulseMs() const override { return 100; }

    void showDigits(Phase, const std::array<int, 6>& v) override { digitSum += v[5]; }
    void setRowColor(Phase, platform::TColor) override { }
    void showCut(const QString&) override { }
    void showSignalRemaining(int, const QString&) override { }
    void showTicks(qint32, qint32, bool) override { }
    void showBoardText(const QString&) override { }
    void showIntervalText(const QString&) override { }
    void cueListChanged(const QStringList&) override { }
    void cueHeadRemoved() override { }
    void showStatus(const QString&) override { }
    void timersChanged() override { }
    void reloadCues() override
    {
        if (engine)
            engine->setCueList(cues);
    }
    void lookupResults() override { }

    bool serverConnected() const override { return false; }
    bool BoardFromNetwork() const override { return boardFromNetwork; }
    void setBoardFromNetwork(bool fromNetwork) override { boardFromNetwork = fromNetwork; }

    std::map<Preset, QString> presets { { Preset::Warm, "0:05:00" }, { Preset::Race, "0:10:00" },
        { Preset::Over, "0:01:00" }, { Preset::Blank, "0:00:05" }, { Preset::Interval, "0:03:00" } };
    QStringList cues { "R-0:04:00", "R-0:03:00", "R-0:02:00", "R-0:01:00", "R-0:00:30", "R-0:00:10",
        "B-0:09:00", "B-0:05:00", "B-0:01:00", "B-0:00:30", "B-0:00:10", "B-0:00:00", "Y-0:00:30",
        "Y-0:00:00", "X-0:03:00", "X-0:01:00", "X-0:00:10", "-" };
    console::CountdownEngine* engine = nullptr;
    qint64 digitSum = 0;
    bool automaticSetting = false;
    bool boardFromNetwork = false;
};

// Everything around one engine.
struct Rig {
    explicit Rig(TimeFile timeFile = TimeFile::Background)
        : monitor(benchFolder(folder))
        , onTickMonitor(benchFolder(folder))
    {
        timeFileWriter = timeFile == TimeFile::Background ? static_cast<console::MonitorFiles*>(&monitor)
            : timeFile == TimeFile::OnTick ? static_cast<console::MonitorFiles*>(&onTickMonitor)
                                           : &nullMonitor;
        signalOutputs = std::make_unique<console::SignalOutputs>(
            lines, sleeper, scheduler, console::SignalOutputs::View {});
        board
            = std::make_unique<console::BoardControl>(port, scheduler, clock, console::BoardControl::View {});
        engine = std::make_unique<console::CountdownEngine>(console::CountdownEngine::Parts {
            .clock = clock,
            .asker = asker,
            .monitor = *timeFileWriter,
            .random = random,
            .controls = panel,
            .host = panel,
            .link = panel,
            .signalOutputs = *signalOutputs,
            .board = *board,
        });
        panel.engine = engine.get();
        const std::pair<Phase, int> banks[]
            = { { Phase::Warm, 13 }, { Phase::Race, 14 }, { Phase::Over, 3 }, { Phase::Interval, 3 } };
        for (const auto& [phase, count] : banks) {
            std::vector<console::CuePlayer*> list;
            for (int i = 0; i < count; ++i) {
                players.push_back(std::make_unique<NullPlayer>());
                list.push_back(players.back().get());
            }
            engine->setPlayers(phase, list);
        }
        engine->Reset();
    }
    // One tenth: both timers fire, the engine runs whichever is on.
    void Tick()
    {
        clock.advanceMs(100);
        engine->phaseTick();
        engine->intervalTick();
    }

    QTemporaryDir folder;
    platform::ManualClock clock;
    console::MonitorFileWriter monitor;
    OnTickMonitor onTickMonitor;
    NullMonitor nullMonitor;
    console::SystemRandomSource random;
    YesAsker asker;
    NullBoard port;
    NullLines lines;
    NullSleeper sleeper;
    NullScheduler scheduler;
    // The writer the time file goes to.
    console::MonitorFiles* timeFileWriter = nullptr;
    Panel panel;
    std::unique_ptr<console::SignalOutputs> signalOutputs;
    std::unique_ptr<console::BoardControl> board;
    std::unique_ptr<console::CountdownEngine> engine;
    std::vector<std::unique_ptr<NullPlayer>> players;
};

// Resident memory of the process in kB (Linux), for growth over a long run.
long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * double(v.size() - 1))];
}

// One tick of a running warm-up and race, as the form's timer runs it, with the board line at
// every other tenth and the time file replaced once a second: argument 1 through the console's
// background writer, 2 written within the tick (waiting for the disk), 0 without the file.
// Counters give the median, the 99th and 99.9th percentiles and the worst tick, and the median
// as a share of the 100 ms period.
void BM_PhaseTick(benchmark::State& state)
{
    Rig rig(static_cast<TimeFile>(state.range(0)));
    rig.panel.presets[Preset::Race] = "9:00:00"; // never ends within the benchmark
    rig.engine->Reset();
    rig.engine->start();
    std::vector<double> us;
    us.reserve(1 << 20);
    for (auto _ : state) {
        rig.clock.advanceMs(100);
        const auto t0 = std::chrono::steady_clock::now();
        rig.engine->phaseTick();
        const auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    const double median = percentile(us, 0.5);
    state.counters["median_us"] = median;
    state.counters["p99_us"] = percentile(us, 0.99);
    state.counters["p999_us"] = percentile(us, 0.999);
    state.counters["worst_us"] = us.empty() ? 0 : *std::max_element(us.begin(), us.end());
    state.counters["median_of_period_pct"] = median / 100000.0 * 100.0;
    state.counters["file_ok"] = rig.timeFileWriter->flush() ? 1 : 0;
}
BENCHMARK(BM_PhaseTick)->Arg(1)->Arg(2)->Arg(0)->Iterations(30000)->Unit(benchmark::kMicrosecond);

// Twelve hours of 16-minute runs (5:00 warm-up, 10:00 race, 1:00 over-time, a cut from a 5 s
// blank window), each started as soon as the last one ended: 432000 ticks. Reports the time it
// took and how much resident memory grew between the first run and the end of the day.
void BM_TwelveHourDay(benchmark::State& state)
{
    for (auto _ : state) {
        Rig rig;
        rig.engine->start();
        long rssAfterFirstRun = 0;
        int runs = 1;
        const auto t0 = std::chrono::steady_clock::now();
        for (int tick = 0; tick < 12 * 36000; ++tick) {
            rig.Tick();
            if (!rig.engine->tm1On()) {
                if (runs == 1)
                    rssAfterFirstRun = residentKb();
                rig.engine->Reset();
                rig.engine->start();
                ++runs;
            }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.counters["runs"] = runs;
        state.counters["day_seconds"] = seconds;
        state.counters["mean_tick_us"] = seconds * 1e6 / (12 * 36000);
        state.counters["rss_growth_kB"] = double(residentKb() - rssAfterFirstRun);
        state.counters["board_MB"] = double(rig.port.bytesSent) / 1e6;
        benchmark::DoNotOptimize(rig.panel.digitSum);
    }
}
BENCHMARK(BM_TwelveHourDay)->Iterations(1)->Unit(benchmark::kSecond);

// Forty races of 5:00, 10:00 and 1:00 with a 5 s blank window and 3:00 intervals in automatic
// operation: the first started by hand, each next one by the interval before it, 18:59.9 apart.
// Reports the time the day took, the resident memory growth from the end of the first run to the
// end of the day, and how far the last start is from where the spacing puts it (0: no drift).
void BM_FortyRaceAutomaticDay(benchmark::State& state)
{
    constexpr int kRaces = 40;
    constexpr qint64 kSpacing = 11399;
    for (auto _ : state) {
        Rig rig;
        rig.panel.automaticSetting = true;
        rig.engine->start();
        const qint32 first = rig.engine->now();
        qint32 last = first;
        long rssAfterFirstRun = 0;
        int starts = 1;
        qint64 ticks = 0;
        const auto t0 = std::chrono::steady_clock::now();
        // Until the interval after the fortieth race has started the forty-first.
        while (starts <= kRaces && ticks < (kRaces + 1) * kSpacing) {
            const bool warm = rig.engine->StateWarm() == console::PhaseState::On;
            rig.Tick();
            ++ticks;
            if (!warm && rig.engine->StateWarm() == console::PhaseState::On) {
                if (starts == 1)
                    rssAfterFirstRun = residentKb();
                last = rig.engine->now();
                ++starts;
            }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.counters["races"] = starts - 1;
        state.counters["day_seconds"] = seconds;
        state.counters["mean_tick_us"] = seconds * 1e6 / double(ticks);
        state.counters["rss_growth_kB"] = double(residentKb() - rssAfterFirstRun);
        state.counters["drift_tenths"] = double(last - first - kRaces * kSpacing);
        benchmark::DoNotOptimize(rig.panel.digitSum);
    }
}
BENCHMARK(BM_FortyRaceAutomaticDay)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) { return bench_support::runBenchmarks<QCoreApplication>(argc, argv); }
