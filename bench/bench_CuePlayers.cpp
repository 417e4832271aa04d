// What the race console's cue players cost with the real media players.
//
// firstCueOfTheDay (run first, in a process whose back end is not set up yet): how long setting
// the back end up takes on the sound thread (prepare_ms) and on the GUI thread (prepare_gui_us),
// then how long a cue takes from Play to the back end playing it, the first one after the set-up
// (first_cue_ms) and later ones (later_cue_median_ms, later_cue_max_ms), the same for a cue whose
// player was readied ahead (ready_cue_median_ms, ready_cue_max_ms), and the longest that a Play,
// Stop or Prepare call held the GUI thread (gui_call_max_us): the count-down's tick makes these
// calls. A cue counts as playing once the player says `started`: the sound thread has read the
// file's position moving (it reads it every few milliseconds), which with a sound device is the
// sink taking the sound; here, without one, a silent sink takes it at the same pace.
//
// consoleWithEveryPlayerLoaded: the time a reset takes to load the event's cues (setmp), and the
// resident memory of the process (counters rss_MB_..., in megabytes) with the console open, with
// every player holding a file, after a run that played each cue in turn, and with all 39 playing
// at once.

#include "app/Udm1.h"
#include "app/uComm.h"
#include "bench/BenchMain.h"
#include "console/ConsoleDevices.h"
#include "console/Utaikai.h"
#include "platform/DataSet.h"
#include "platform/MediaPlayer.h"
#include "platform/SoundOutput.h"
#include "platform/TavoApplication.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

namespace {

// Resident set size of this process in megabytes.
double residentMB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// A two-second mono tone, as a cue file of the size operators use.
void writeTone(const QString& path)
{
    const quint32 rate = 22050, samples = rate * 2;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QDataStream s(&f);
    s.setByteOrder(QDataStream::LittleEndian);
    f.write("RIFF");
    s << quint32(36 + samples * 2);
    f.write("WAVEfmt ");
    s << quint32(16) << quint16(1) << quint16(1) << rate << rate * 2 << quint16(2) << quint16(16);
    f.write("data");
    s << quint32(samples * 2);
    for (quint32 i = 0; i < samples; ++i)
        s << qint16((i % 50) < 25 ? 4000 : -4000);
}

void spin(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Waits until the shared sound thread has run what was handed to it so far.
void drainSoundThread()
{
    std::atomic<bool> done { false };
    platform::SoundThread::shared().post([&done] { done = true; });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Plays the player's file and waits until the back end has begun; milliseconds from the call, or
// -1 when it did not begin within five seconds. `guiUs` takes the longest call on this thread.
// `ready`: the player is readied first and given the time the count-down gives it before the
// cue's tick; only Play is timed.
double cueStartMs(platform::MediaPlayer& player, double& guiUs, bool ready = false)
{
    bool started = false;
    const auto connection
        = QObject::connect(&player, &platform::MediaPlayer::started, [&] { started = true; });
    QElapsedTimer t;
    t.start();
    player.Stop();
    if (ready) {
        player.Prepare();
        guiUs = std::max(guiUs, double(t.nsecsElapsed()) / 1000.0);
        drainSoundThread();
        spin(300);
        t.restart();
    }
    player.Play();
    guiUs = std::max(guiUs, double(t.nsecsElapsed()) / 1000.0);
    while (!started && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    QObject::disconnect(connection);
    return started ? double(t.nsecsElapsed()) / 1e6 : -1;
}

void firstCueOfTheDay(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString tone = dir.filePath(QStringLiteral("cue.wav"));
    writeTone(tone);
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        platform::prepareSound();
        state.counters["prepare_gui_us"] = double(t.nsecsElapsed()) / 1000.0;
        drainSoundThread();
        state.counters["prepare_ms"] = double(t.nsecsElapsed()) / 1e6;
        spin(300); // the silence plays out

        platform::MediaPlayer player;
        player.Open(tone);
        double guiUs = 0;
        state.counters["first_cue_ms"] = cueStartMs(player, guiUs);
        // Taken in turns, so that both see the same machine.
        std::vector<double> later, ready;
        for (int i = 0; i < 20; ++i) {
            later.push_back(cueStartMs(player, guiUs));
            spin(50);
            ready.push_back(cueStartMs(player, guiUs, true));
            spin(50);
        }
        player.Stop();
        for (auto [name, times] : { std::pair { "later_cue", &later }, { "ready_cue", &ready } }) {
            std::sort(times->begin(), times->end());
            state.counters[std::string(name) + "_median_ms"] = (*times)[times->size() / 2];
            state.counters[std::string(name) + "_max_ms"] = times->back();
        }
        state.counters["gui_call_max_us"] = guiUs;
    }
}
// First: the back end is set up only once in a process.
BENCHMARK(firstCueOfTheDay)->Unit(benchmark::kMillisecond)->Iterations(1);

struct Event {
    QTemporaryDir home;
    std::unique_ptr<TDM1> dm;
    QStringList files;

    Event()
    {
        qputenv("TAVO_HOME", home.path().toUtf8());
        dm = std::make_unique<TDM1>();
        DM1 = dm.get();
        dm->reconnect();
        dm->Database1->execute(QStringLiteral("insert into taikai (tcode,tname,tdate) values "
                                              "(202403091,'bench','03/09/2024')"));
        CurrentEventCode = QStringLiteral("202403091");
        for (int i = 0; i < 39; ++i) {
            files << QDir(home.path()).filePath(QStringLiteral("cue%1.wav").arg(i));
            writeTone(files.last());
        }
        // 13 warm-up, 14 race, 3 over-time and 3 interval cues: every slot a run can load.
        const std::pair<char, int> phases[4] = { { 'w', 13 }, { 'r', 14 }, { 'o', 3 }, { 'i', 3 } };
        int n = 0;
        for (const auto& [bun, count] : phases)
            for (int i = 0; i < count; ++i, ++n)
                dm->Database1->execute(QStringLiteral(
                    "insert into music (tcode,bun,tno,mname) values (202403091,'%1','0:00:%2','%3')")
                                           .arg(QLatin1Char(bun))
                                           .arg(10 + i)
                                           .arg(files[n]));
    }
    ~Event() { DM1 = nullptr; }

    std::unique_ptr<console::TFtaikai> openConsole()
    {
        auto f = std::make_unique<console::TFtaikai>();
        f->resize(997, 696);
        f->show();
        for (QTimeEdit* t : { f->DTP1, f->DTP2, f->DTP3, f->DTPauto })
            t->setTime(QTime(0, 10, 0));
        return f;
    }
};

void consoleWithEveryPlayerLoaded(benchmark::State& state)
{
    Event event;
    const double base = residentMB();
    auto f = event.openConsole();
    spin(200);
    const double open = residentMB();
    for (auto _ : state)
        f->setmp();
    // The six over-time players no cue reaches are loaded by hand, as on the sound check page.
    for (size_t i = 3; i < f->MPo.size(); ++i)
        f->MPo[i]->Open(event.files[33 + int(i) - 3]);
    spin(500);
    const double loaded = residentMB();

    // A run: each cue starts as the one before it is stopped.
    std::vector<console::CuePlayer*> all;
    auto add = [&all](const auto& bank) {
        for (const auto& p : bank)
            all.push_back(p.get());
    };
    add(f->MP);
    add(f->MPt);
    add(f->MPo);
    add(f->MPi);
    for (size_t i = 0; i < all.size(); ++i) {
        if (i > 0)
            all[i - 1]->Stop();
        all[i]->Play();
        spin(60);
    }
    spin(300);
    const double run = residentMB();

    // Far beyond any run: every player sounding at once.
    for (console::CuePlayer* p : all)
        p->Play();
    spin(1000);
    const double together = residentMB();
    for (console::CuePlayer* p : all)
        p->Stop();

    state.counters["rss_MB_before_console"] = base;
    state.counters["rss_MB_console_open"] = open;
    state.counters["rss_MB_39_loaded"] = loaded;
    state.counters["rss_MB_after_a_run"] = run;
    state.counters["rss_MB_39_playing"] = together;
    f->close();
}
BENCHMARK(consoleWithEveryPlayerLoaded)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    return bench_support::runBenchmarks<platform::TavoApplication>(argc, argv);
}
