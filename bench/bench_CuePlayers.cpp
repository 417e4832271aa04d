// When the race console's cues really sound: every figure is taken from a recording of a private
// PulseAudio server's null sink (tests/support/RecordedSoundServer), from the steady-clock time of
// a Play to the first recorded sample of that cue; never from a player's own idea of its position.
// Skips when pulseaudio is not installed. Run the benchmarks in this order, in one process: the
// first measures the day's first cue.
//
// cueOnsets: the platform's player. The start-up set-up (prepareSound) on the GUI thread
// (prepare_gui_us); then a WAV and an MP3 cue as the day's first (first_wav_ms, first_mp3_ms) and 20
// of each after (wav_median_ms, wav_max_ms, mp3_median_ms, mp3_max_ms). MP3 figures are after the
// file's own leading silence (mp3_lead_ms, the encoder's delay, decoded from the file itself).
// gui_call_max_us: the longest a Play or Stop held the GUI thread.
//
// consoleRuns: the console's count-down at real time with its own players: 20 runs of 7 cues
// (warm-up 3 s with cues at 2, 1 and 0 s, the last the start horn in the tick that ends the
// warm-up; race 3 s with cues at 2 and 1 s; over-time 3 s with cues at 2 and 1 s) and 5 overlap
// runs (cues of 1.5 s, each still sounding when the next one comes; the race's first cue in the same
// tick as the horn). Cues alternate between the left and the right channel, so that two cues
// sounding at once are told apart. Per cue: silent (no sound within a second of its Play), late
// (more than LateMs after it), after_phase (beginning after its phase ended), and the latency of
// all cues (cue_median_ms, cue_max_ms) and of the horn after the warm-up shows 0.0
// (horn_median_ms, horn_max_ms).

#include "app/Udm1.h"
#include "app/uComm.h"
#include "bench/BenchMain.h"
#include "components/CuteBtn.h"
#include "console/ConsoleDevices.h"
#include "console/ConsoleRealDevices.h"
#include "console/Utaikai.h"
#include "platform/Asker.h"
#include "platform/DataSet.h"
#include "platform/MediaPlayer.h"
#include "platform/SoundOutput.h"
#include "platform/TavoApplication.h"
#include "support/RecordedSoundServer.h"

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
#include <gst/gst.h>
#include <map>
#include <memory>

namespace {

using testing_support::RecordedSoundServer;

constexpr double LateMs = 150;

RecordedSoundServer* server()
{
    static std::unique_ptr<RecordedSoundServer> s;
    static QString why = RecordedSoundServer::missing();
    if (!s && why.isEmpty()) {
        s = std::make_unique<RecordedSoundServer>();
        if (!s->start(&why))
            s.reset();
    }
    return s.get();
}

// Runs the event loop for `ms` milliseconds without spinning the processor.
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void drainSoundThread()
{
    std::atomic<bool> done { false };
    platform::SoundThread::shared().post([&done] { done = true; });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A 16-bit 22.05 kHz square tone; `channel` 0 left only, 1 right only.
void writeTone(const QString& path, int ms, int channel)
{
    const quint32 rate = 22050, frames = rate * quint32(ms) / 1000;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QDataStream s(&f);
    s.setByteOrder(QDataStream::LittleEndian);
    f.write("RIFF");
    s << quint32(36 + frames * 4);
    f.write("WAVEfmt ");
    s << quint32(16) << quint16(1) << quint16(2) << rate << rate * 4 << quint16(4) << quint16(16);
    f.write("data");
    s << quint32(frames * 4);
    for (quint32 i = 0; i < frames; ++i) {
        const qint16 v = (i % 50) < 25 ? 6000 : -6000;
        s << qint16(channel == 0 ? v : 0) << qint16(channel == 1 ? v : 0);
    }
}

// Runs a GStreamer pipeline to its end.
bool runPipeline(const QByteArray& description)
{
    GstElement* pipeline = gst_parse_launch(description.constData(), nullptr);
    if (!pipeline)
        return false;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* m = gst_bus_timed_pop_filtered(
        bus, 10 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ok = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
    if (m)
        gst_message_unref(m);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return ok;
}

// A 300 ms MP3 tone, and how long its decoded sound stays silent at its start.
double writeMp3(const QString& path)
{
    gst_init(nullptr, nullptr);
    runPipeline("audiotestsrc wave=square freq=441 volume=0.4 num-buffers=30 samplesperbuffer=441 ! "
                "audio/x-raw,rate=44100,channels=1 ! lamemp3enc ! filesink location="
        + QFile::encodeName(path));
    const QString raw = path + QStringLiteral(".raw");
    runPipeline("filesrc location=" + QFile::encodeName(path)
        + " ! decodebin ! audioconvert ! audio/x-raw,format=S16LE,channels=1 ! filesink location="
        + QFile::encodeName(raw));
    QFile f(raw);
    f.open(QIODevice::ReadOnly);
    const QByteArray data = f.readAll();
    const auto* samples = reinterpret_cast<const qint16*>(data.constData());
    for (qsizetype i = 0; i < data.size() / 2; ++i)
        if (std::abs(int(samples[i])) > RecordedSoundServer::Threshold)
            return double(i) * 1000.0 / 44100.0;
    return -1;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

double maxOf(const std::vector<double>& v) { return v.empty() ? -1 : *std::max_element(v.begin(), v.end()); }

// Plays the player's file and returns milliseconds from the Play to the first recorded sample of
// it, or -1 when nothing was recorded within two seconds.
double playToSound(platform::MediaPlayer& player, double& guiUs)
{
    const qsizetype before = server()->sounds().size();
    QElapsedTimer call;
    call.start();
    const double at = RecordedSoundServer::nowMs();
    player.Play();
    guiUs = std::max(guiUs, double(call.nsecsElapsed()) / 1000.0);
    while (server()->sounds().size() == before && RecordedSoundServer::nowMs() - at < 2000)
        spin(2);
    const auto sounds = server()->sounds();
    return sounds.size() > before ? sounds.last().beginMs - at : -1;
}

void cueOnsets(benchmark::State& state)
{
    if (!server()) {
        state.SkipWithError("no pulseaudio to record, or it did not start");
        return;
    }
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("cue.wav")),
                  mp3 = dir.filePath(QStringLiteral("cue.mp3"));
    writeTone(wav, 300, 0);
    const double lead = writeMp3(mp3);
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        platform::prepareSound();
        state.counters["prepare_gui_us"] = double(t.nsecsElapsed()) / 1000.0;
        drainSoundThread();
        spin(1000); // the silences play out
        platform::MediaPlayer wavPlayer, mp3Player;
        wavPlayer.Open(wav);
        mp3Player.Open(mp3);
        double guiUs = 0;
        state.counters["first_wav_ms"] = playToSound(wavPlayer, guiUs);
        spin(300);
        state.counters["first_mp3_ms"] = playToSound(mp3Player, guiUs) - lead;
        std::vector<double> wavs, mp3s;
        for (int i = 0; i < 20; ++i) {
            spin(300);
            wavs.push_back(playToSound(wavPlayer, guiUs));
            spin(300);
            mp3s.push_back(playToSound(mp3Player, guiUs) - lead);
        }
        state.counters["wav_median_ms"] = median(wavs);
        state.counters["wav_max_ms"] = maxOf(wavs);
        state.counters["mp3_median_ms"] = median(mp3s);
        state.counters["mp3_max_ms"] = maxOf(mp3s);
        state.counters["mp3_lead_ms"] = lead;
        state.counters["gui_call_max_us"] = guiUs;
    }
}
BENCHMARK(cueOnsets)->Unit(benchmark::kMillisecond)->Iterations(1);

class YesAsker final : public platform::Asker {
public:
    bool askYesNo(const QString&, const QString&) override { return true; }
    void inform(const QString&, const QString&) override { }
    void error(const QString&) override { }
};

// The console's player, noting when each Play was asked for.
class NotingCuePlayer final : public console::CuePlayer {
public:
    explicit NotingCuePlayer(std::vector<std::pair<QString, double>>& plays)
        : m_plays(plays)
    {
    }
    bool Open(const QString& fileName) override { return m_player.Open(fileName); }
    bool Play() override
    {
        m_plays.emplace_back(m_player.FileName(), RecordedSoundServer::nowMs());
        return m_player.Play();
    }
    void Stop() override { m_player.Stop(); }
    void Close() override { m_player.Close(); }
    QString FileName() const override { return m_player.FileName(); }

private:
    std::vector<std::pair<QString, double>>& m_plays;
    console::MediaCuePlayer m_player;
};

struct Cue {
    char bun;
    const char* tno;
    int channel;
};

struct Tally {
    int cues = 0, silent = 0, late = 0, afterPhase = 0;
    std::vector<double> latencies, horn;
};

// One run of the count-down from a confirmed reset, tallied; `fileCue` tells each file's cue.
void runOnce(console::TFtaikai& f, const std::map<QString, Cue>& fileCue,
    std::vector<std::pair<QString, double>>& plays, Tally& tally)
{
    f.CuteButton5->Click(); // reset, confirmed
    spin(1500); // the console stands reset a while, as between races
    plays.clear();
    const auto before0 = server()->sounds(0).size(), before1 = server()->sounds(1).size();
    const double start = RecordedSoundServer::nowMs();
    f.CuteButton1->Click();
    spin(9000 + 1800);
    const double phaseEnd[3] = { start + 3000, start + 6000, start + 9000 };
    std::vector<RecordedSoundServer::Sound> heard[2];
    for (int c = 0; c < 2; ++c) {
        const auto all = server()->sounds(c);
        for (qsizetype i = c == 0 ? before0 : before1; i < all.size(); ++i)
            heard[c].push_back(all[i]);
    }
    for (const auto& [file, at] : plays) {
        const Cue& cue = fileCue.at(file);
        ++tally.cues;
        const auto& onChannel = heard[cue.channel];
        const auto it = std::find_if(
            onChannel.begin(), onChannel.end(), [at = at](const RecordedSoundServer::Sound& s) {
                return s.beginMs >= at - 5 && s.beginMs < at + 1000;
            });
        if (it == onChannel.end()) {
            ++tally.silent;
            continue;
        }
        const double latency = it->beginMs - at;
        tally.latencies.push_back(latency);
        if (latency > LateMs)
            ++tally.late;
        const int phase = cue.bun == 'w' ? 0 : cue.bun == 'r' ? 1 : 2;
        const bool horn = cue.bun == 'w' && qstrcmp(cue.tno, "0:00:00") == 0;
        if (horn)
            tally.horn.push_back(latency);
        else if (it->beginMs > phaseEnd[phase] + 100)
            ++tally.afterPhase;
    }
}

void consoleRuns(benchmark::State& state)
{
    if (!server()) {
        state.SkipWithError("no pulseaudio to record, or it did not start");
        return;
    }
    QTemporaryDir home;
    qputenv("TAVO_HOME", home.path().toUtf8());
    auto dm = std::make_unique<TDM1>();
    DM1 = dm.get();
    dm->reconnect();
    dm->Database1->execute(QStringLiteral("insert into taikai (tcode,tname,tdate) values "
                                          "(202403091,'bench','03/09/2024')"));
    CurrentEventCode = QStringLiteral("202403091");
    for (auto _ : state) {
        Tally normal, overlap;
        for (const bool overlapping : { false, true }) {
            dm->Database1->execute(QStringLiteral("delete from music"));
            const std::vector<Cue> cues = { { 'w', "0:00:02", 0 }, { 'w', "0:00:01", 1 },
                { 'w', "0:00:00", 0 }, { 'r', overlapping ? "0:00:03" : "0:00:02", 1 }, { 'r', "0:00:01", 0 },
                { 'o', "0:00:02", 1 }, { 'o', "0:00:01", 0 } };
            std::map<QString, Cue> fileCue;
            for (const Cue& cue : cues) {
                const QString file = QDir(home.path())
                                         .filePath(QStringLiteral("%1%2-%3.wav")
                                                       .arg(QLatin1Char(cue.bun))
                                                       .arg(QLatin1String(cue.tno).back())
                                                       .arg(overlapping));
                writeTone(file, overlapping ? 1500 : 300, cue.channel);
                fileCue[file] = cue;
                dm->Database1->execute(QStringLiteral(
                    "insert into music (tcode,bun,tno,mname) values (202403091,'%1','%2','%3')")
                                           .arg(QLatin1Char(cue.bun))
                                           .arg(QLatin1String(cue.tno), file));
            }
            std::vector<std::pair<QString, double>> plays;
            YesAsker asker;
            console::ConsoleDevices d;
            d.asker = &asker;
            d.makeCuePlayer = [&plays](const QString&) { return std::make_unique<NotingCuePlayer>(plays); };
            platform::prepareSound();
            auto f = std::make_unique<console::TFtaikai>(nullptr, d);
            f->resize(997, 696);
            f->show();
            f->DTP1->setTime(QTime(0, 0, 3));
            f->DTP2->setTime(QTime(0, 0, 3));
            f->DTP3->setTime(QTime(0, 0, 3));
            f->DTP4->setTime(QTime(0, 0, 0));
            for (int run = 0; run < (overlapping ? 5 : 20); ++run)
                runOnce(*f, fileCue, plays, overlapping ? overlap : normal);
            f->close();
        }
        for (auto [name, t] : { std::pair { "", &normal }, { "overlap_", &overlap } }) {
            const std::string n(name);
            state.counters[n + "cues"] = t->cues;
            state.counters[n + "silent"] = t->silent;
            state.counters[n + "late"] = t->late;
            state.counters[n + "after_phase"] = t->afterPhase;
            state.counters[n + "cue_median_ms"] = median(t->latencies);
            state.counters[n + "cue_max_ms"] = maxOf(t->latencies);
            state.counters[n + "horn_median_ms"] = median(t->horn);
            state.counters[n + "horn_max_ms"] = maxOf(t->horn);
        }
    }
    DM1 = nullptr;
}
BENCHMARK(consoleRuns)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return bench_support::runBenchmarks<platform::TavoApplication>(argc, argv);
}
