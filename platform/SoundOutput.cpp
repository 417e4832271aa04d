#include "platform/SoundOutput.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace platform {
namespace {

// Qt picks its media back end at the first player. The ffmpeg back end crashes or hangs on a
// machine without a sound device, so GStreamer is chosen unless the user chose otherwise.
// GStreamer's automatic sink tries the JACK sink when PulseAudio does not answer, and the JACK
// client library waits for ever on a lock that a process left behind when it ended while probing
// JACK: the player then never plays. The console's sound goes through PulseAudio or ALSA, so the
// JACK sink is left out unless the user ranks it himself.
void chooseBackEnd()
{
    static const bool chosen = [] {
        if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND"))
            qputenv("QT_MEDIA_BACKEND", "gstreamer");
        QByteArray ranks = qgetenv("GST_PLUGIN_FEATURE_RANK");
        if (!ranks.contains("jackaudiosink")) {
            ranks += QByteArray(ranks.isEmpty() ? "" : ",") + "jackaudiosink:NONE";
            qputenv("GST_PLUGIN_FEATURE_RANK", ranks);
        }
        return true;
    }();
    (void)chosen;
}

class QtSoundOutput final : public SoundOutput {
public:
    explicit QtSoundOutput(bool muted = false)
        : m_muted(muted)
    {
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] { pollPosition(); });
    }
    ~QtSoundOutput() override { release(); }

    void Prepare(const QString& file) override
    {
        if (ready(file))
            return;
        build(file);
        // Paused at its beginning, the pipeline is built, the file read and the sink set up.
        m_player->pause();
    }

    void Play(const QString& file) override
    {
        if (!ready(file))
            build(file);
        m_playing = true;
        m_poll.start(StartPollMs);
        m_player->play();
    }

    void Stop() override { release(); }

    // How often the position is read until it moves, and after that.
    static constexpr int StartPollMs = 5;
    static constexpr int FollowPollMs = 50;

private:
    // Prepared for this file, and neither played nor broken since.
    bool ready(const QString& file) const { return m_player && m_file == file && !m_playing && !m_broken; }

    void build(const QString& file)
    {
        release();
        chooseBackEnd();
        m_file = file;
        m_player = std::make_unique<QMediaPlayer>();
        m_output = std::make_unique<QAudioOutput>();
        m_output->setMuted(m_muted);
        m_player->setAudioOutput(m_output.get());
        QMediaPlayer* player = m_player.get();
        QObject::connect(
            player, &QMediaPlayer::mediaStatusChanged, player, [this](QMediaPlayer::MediaStatus s) {
                if (s != QMediaPlayer::EndOfMedia)
                    return;
                if (!m_playing) {
                    m_broken = true;
                    return;
                }
                // The back end sets the position to the file's end as it ends, whether the file
                // played or not: only what was read while playing counts.
                const Reached reached { m_reached, m_player->duration() };
                Finish([this, reached] {
                    if (onEnded)
                        onEnded(reached);
                });
            });
        QObject::connect(player, &QMediaPlayer::errorOccurred, player,
            [this](QMediaPlayer::Error error, const QString& message) {
                if (error == QMediaPlayer::NoError)
                    return;
                // A prepared file that fails is said by the play that needs it, which starts anew.
                if (!m_playing) {
                    m_broken = true;
                    return;
                }
                // The back end reports one failure in several steps; the first says most.
                Finish([this, message] {
                    if (onFailed)
                        onFailed(message);
                });
            });
        m_player->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    }

    // The position says whether the file plays: the sink consumes it. Read often until it moves,
    // so that a start is told promptly, then now and then to know how far the play got.
    void pollPosition()
    {
        if (!m_player || m_finished)
            return;
        const qint64 at = m_player->position();
        m_reached = std::max(m_reached, at);
        if (at <= 0 || m_started)
            return;
        m_started = true;
        m_poll.start(FollowPollMs);
        if (onStarted)
            onStarted();
    }

    // Destroying the back end is quick in every state, whereas stopping one that has failed
    // blocks for a second.
    void release()
    {
        m_poll.stop();
        m_player.reset();
        m_output.reset();
        m_file.clear();
        m_playing = m_started = m_finished = m_broken = false;
        m_reached = 0;
    }
    template <typename Say> void Finish(Say say)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_poll.stop();
        say();
    }

    bool m_muted;
    std::unique_ptr<QMediaPlayer> m_player;
    std::unique_ptr<QAudioOutput> m_output;
    QTimer m_poll;
    QString m_file; // the file the player holds
    bool m_playing = false; // asked to play (else prepared)
    bool m_started = false;
    bool m_finished = false; // ended or failed has been said for this play
    bool m_broken = false; // failed or ended while prepared: the next play builds anew
    qint64 m_reached = 0; // the furthest position read while playing
};

SoundThread* g_shared = nullptr;

// The silence played at start-up; touched on the sound thread only, and never destroyed by the
// process's exit, which may come while a sound thread that does not answer still holds it.
struct Silence {
    QTemporaryDir dir;
    std::unique_ptr<SoundOutput> output = std::make_unique<QtSoundOutput>(true);
};
Silence* g_silence = nullptr;

void releaseSilence()
{
    delete g_silence;
    g_silence = nullptr;
}

void endSharedThread()
{
    // A silence still being set up holds a pipeline whose threads load plug-ins: it is let go on
    // the sound thread before that ends, so that no such thread runs on while the process exits.
    g_shared->post(releaseSilence);
    delete g_shared;
    g_shared = nullptr;
}

// A short mono 8 kHz 16-bit silence.
QByteArray silentWav(int milliseconds)
{
    const quint32 rate = 8000, bytes = rate * 2 * quint32(milliseconds) / 1000;
    QByteArray data(44, '\0');
    char* h = data.data();
    memcpy(h, "RIFF", 4);
    qToLittleEndian<quint32>(36 + bytes, h + 4);
    memcpy(h + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, h + 16);
    qToLittleEndian<quint16>(1, h + 20); // PCM
    qToLittleEndian<quint16>(1, h + 22); // mono
    qToLittleEndian<quint32>(rate, h + 24);
    qToLittleEndian<quint32>(rate * 2, h + 28);
    qToLittleEndian<quint16>(2, h + 32);
    qToLittleEndian<quint16>(16, h + 34);
    memcpy(h + 36, "data", 4);
    qToLittleEndian<quint32>(bytes, h + 40);
    return data + QByteArray(int(bytes), '\0');
}

} // namespace

std::unique_ptr<SoundOutput> makeQtSoundOutput() { return std::make_unique<QtSoundOutput>(); }

SoundThread::SoundThread()
    : m_thread(std::make_unique<QThread>())
    , m_context(new QObject)
{
    m_thread->setObjectName(QStringLiteral("sound"));
    m_context->moveToThread(m_thread.get());
    m_thread->start();
}

SoundThread::~SoundThread()
{
    // Queued behind the work already handed over, which thus runs first; the thread deletes the
    // context as it ends.
    post([context = m_context] {
        context->deleteLater();
        QThread::currentThread()->quit();
    });
    if (!m_thread->wait(StopWaitMs))
        (void)m_thread.release();
}

void SoundThread::post(std::function<void()> work)
{
    QMetaObject::invokeMethod(m_context, std::move(work), Qt::QueuedConnection);
}

SoundThread& SoundThread::shared()
{
    if (!g_shared) {
        g_shared = new SoundThread;
        qAddPostRoutine(endSharedThread);
    }
    return *g_shared;
}

void prepareSound()
{
    static bool asked = false;
    if (asked)
        return;
    asked = true;
    SoundThread& thread = SoundThread::shared();
    thread.post([&thread] {
        g_silence = new Silence;
        const QString file = g_silence->dir.filePath(QStringLiteral("silence.wav"));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(silentWav(50)) < 0) {
            releaseSilence();
            return;
        }
        f.close();
        // Let go once it has played, from the event loop: the output is still inside its own call.
        auto done = [&thread] { thread.post(releaseSilence); };
        // Too short to be judged by how far it got; whatever happened, the set-up is done.
        g_silence->output->onEnded = [done](SoundOutput::Reached) { done(); };
        g_silence->output->onFailed = [done](const QString&) { done(); };
        g_silence->output->Play(file);
    });
}

} // namespace platform
