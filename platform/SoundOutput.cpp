#include "platform/SoundOutput.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QtEndian>
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
    }
    ~QtSoundOutput() override { release(); }

    void Play(const QString& file) override
    {
        release();
        chooseBackEnd();
        m_player = std::make_unique<QMediaPlayer>();
        m_output = std::make_unique<QAudioOutput>();
        m_output->setMuted(m_muted);
        m_player->setAudioOutput(m_output.get());
        QMediaPlayer* player = m_player.get();
        QObject::connect(
            player, &QMediaPlayer::mediaStatusChanged, player, [this](QMediaPlayer::MediaStatus s) {
                if (s == QMediaPlayer::BufferedMedia && !m_started) {
                    m_started = true;
                    if (onStarted)
                        onStarted();
                } else if (s == QMediaPlayer::EndOfMedia) {
                    Finish([this] {
                        if (onEnded)
                            onEnded();
                    });
                }
            });
        QObject::connect(player, &QMediaPlayer::errorOccurred, player,
            [this](QMediaPlayer::Error error, const QString& message) {
                // The back end reports one failure in several steps; the first says most.
                if (error != QMediaPlayer::NoError)
                    Finish([this, message] {
                        if (onFailed)
                            onFailed(message);
                    });
            });
        m_player->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
        m_player->play();
    }

    void Stop() override { release(); }

private:
    // Destroying the back end is quick in every state, whereas stopping one that has failed
    // blocks for a second.
    void release()
    {
        m_player.reset();
        m_output.reset();
        m_started = m_finished = false;
    }
    template <typename Say> void Finish(Say say)
    {
        if (m_finished)
            return;
        m_finished = true;
        say();
    }

    bool m_muted;
    std::unique_ptr<QMediaPlayer> m_player;
    std::unique_ptr<QAudioOutput> m_output;
    bool m_started = false;
    bool m_finished = false; // ended or failed has been said for this play
};

SoundThread* g_shared = nullptr;

void endSharedThread()
{
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
        struct Silence {
            QTemporaryDir dir;
            std::unique_ptr<SoundOutput> output = std::make_unique<QtSoundOutput>(true);
        };
        auto silence = std::make_shared<Silence>();
        const QString file = silence->dir.filePath(QStringLiteral("silence.wav"));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(silentWav(50)) < 0)
            return;
        f.close();
        // Let go once it has played, from the event loop: the output is still inside its own call.
        auto done = [&thread, silence] { thread.post([silence] { silence->output.reset(); }); };
        silence->output->onEnded = done;
        silence->output->onFailed = [done](const QString&) { done(); };
        silence->output->Play(file);
    });
}

} // namespace platform
