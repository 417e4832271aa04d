#include "platform/SoundOutput.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <cstring>

namespace platform {
namespace {

SoundThread* g_shared = nullptr;

// The start-up's silences and the output that plays them, one after the other; touched on the
// sound thread only, and never destroyed by the process's exit, which may come while a sound
// thread that does not answer still holds it.
struct WarmUp {
    QTemporaryDir dir;
    QStringList files;
    std::unique_ptr<SoundOutput> output = makeGstSoundOutput(true);
};
WarmUp* g_warmUp = nullptr;

void releaseWarmUp()
{
    delete g_warmUp;
    g_warmUp = nullptr;
}

// Plays the next silence, or lets go once all have played; whatever happened, the set-up is done.
void warmUpNext()
{
    if (!g_warmUp)
        return;
    if (g_warmUp->files.isEmpty())
        releaseWarmUp();
    else
        g_warmUp->output->Play(g_warmUp->files.takeFirst());
}

void endSharedThread()
{
    // A warm-up still under way is let go on the sound thread before that ends.
    g_shared->post(releaseWarmUp);
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

// Twelve MPEG-1 layer III frames of silence (128 kbit/s, 44.1 kHz, mono): a header and side
// information of zeros, which decodes to silence; enough frames for the type finder to be sure.
QByteArray silentMp3()
{
    const QByteArray frame = QByteArray("\xFF\xFB\x90\xC4", 4) + QByteArray(413, '\0');
    return frame.repeated(12);
}

} // namespace

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
        releaseThreadPipelines();
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
        g_warmUp = new WarmUp;
        const std::pair<const char*, QByteArray> silences[]
            = { { "silence.wav", silentWav(50) }, { "silence.mp3", silentMp3() } };
        for (const auto& [name, bytes] : silences) {
            QFile f(g_warmUp->dir.filePath(QLatin1String(name)));
            if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size())
                g_warmUp->files << f.fileName();
        }
        // The next step from the event loop: the output is still inside its own call.
        auto next = [&thread] { thread.post(warmUpNext); };
        g_warmUp->output->onEnded = next;
        g_warmUp->output->onFailed = [next](SoundOutput::Failure, const QString&) { next(); };
        warmUpNext();
    });
}

} // namespace platform
