#include "support/RecordedSoundServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <pulse/simple.h>

namespace testing_support {
namespace {

constexpr int Rate = 48000;
// Samples per read: 5 ms, so that a sample's time is known to a few milliseconds.
constexpr int Chunk = 240;

QByteArray socketAddress(const QTemporaryDir& dir)
{
    return "unix:" + QFile::encodeName(dir.filePath("native"));
}

} // namespace

RecordedSoundServer::RecordedSoundServer()
    : m_oldServer(qgetenv("PULSE_SERVER"))
    , m_oldCookie(qgetenv("PULSE_COOKIE"))
{
    qputenv("PULSE_SERVER", socketAddress(m_dir));
    qputenv("PULSE_COOKIE", QFile::encodeName(m_dir.filePath("cookie")));
    m_recorder = std::thread([this] { record(); });
}

RecordedSoundServer::~RecordedSoundServer()
{
    m_stop = true;
    kill();
    m_recorder.join();
    qputenv("PULSE_SERVER", m_oldServer);
    qputenv("PULSE_COOKIE", m_oldCookie);
}

QString RecordedSoundServer::missing()
{
    return QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()
        ? QStringLiteral("pulseaudio is not installed (scripts/install-deps.sh installs it)")
        : QString();
}

bool RecordedSoundServer::start(QString* why)
{
    QFile script(m_dir.filePath("server.pa"));
    if (!script.open(QIODevice::WriteOnly))
        return false;
    // Anonymous access: the test's client has no cookie of the server's.
    script.write("load-module module-native-protocol-unix auth-anonymous=1 socket="
        + QFile::encodeName(m_dir.filePath("native"))
        + "\nload-module module-null-sink sink_name=cues rate=48000 channels=2\nset-default-sink cues\n");
    script.close();
    // A home and runtime folder of its own, so that also a server run as root (CI) finds and
    // writes nothing of the machine's.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QDir(m_dir.path()).mkpath("home");
    QDir(m_dir.path()).mkpath("xdg");
    QFile::setPermissions(
        m_dir.filePath("xdg"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert("HOME", m_dir.filePath("home"));
    env.insert("XDG_RUNTIME_DIR", m_dir.filePath("xdg"));
    env.remove("PULSE_SERVER");
    m_server.setProcessEnvironment(env);
    m_server.setStandardOutputFile(m_dir.filePath("server.log"), QIODevice::Append);
    m_server.setStandardErrorFile(m_dir.filePath("server.log"), QIODevice::Append);
    m_server.start(QStringLiteral("pulseaudio"),
        { "-n", "-F", script.fileName(), "--daemonize=no", "--system=false", "--exit-idle-time=-1",
            "--use-pid-file=no", "--disallow-exit=no", "--realtime=no", "--high-priority=no" });
    if (!m_server.waitForStarted()) {
        *why = QStringLiteral("pulseaudio did not start: ") + m_server.errorString();
        return false;
    }
    QElapsedTimer since;
    since.start();
    while (since.elapsed() < StartWaitMs && !m_connected)
        QThread::msleep(20);
    // The null sink renders its first block (two seconds) ahead at once, before the recording
    // asks for a short latency: a sound played meanwhile comes out after that block, as late.
    if (m_connected)
        QThread::msleep(std::max<qint64>(0, SettleMs - since.elapsed()));
    if (!m_connected) {
        QFile log(m_dir.filePath("server.log"));
        log.open(QIODevice::ReadOnly);
        *why = QStringLiteral("the sink could not be recorded; the server said:\n")
            + QString::fromUtf8(log.readAll());
    }
    return m_connected;
}

void RecordedSoundServer::kill()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.kill();
    m_server.waitForFinished();
}

QList<RecordedSoundServer::Sound> RecordedSoundServer::sounds(int channel) const
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_sounds[channel];
}

double RecordedSoundServer::nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// On the recorder's thread: reads the sink's monitor while the server is there, and connects
// again when it comes back.
void RecordedSoundServer::record()
{
    const QByteArray server = socketAddress(m_dir);
    const pa_sample_spec spec { PA_SAMPLE_S16LE, Rate, 2 };
    pa_buffer_attr attr {};
    attr.maxlength = attr.tlength = attr.prebuf = attr.minreq = uint32_t(-1);
    attr.fragsize = Chunk * 4;
    pa_simple* stream = nullptr;
    qint16 samples[Chunk * 2];
    bool inSound[2] = { false, false };
    Sound sound[2];
    auto endSound = [&](int channel) {
        if (!inSound[channel])
            return;
        inSound[channel] = false;
        const std::lock_guard<std::mutex> guard(m_lock);
        m_sounds[channel] << sound[channel];
    };
    while (!m_stop) {
        if (!stream) {
            int error = 0;
            stream = pa_simple_new(server.constData(), "tavo-test", PA_STREAM_RECORD, "cues.monitor",
                "recording", &spec, nullptr, &attr, &error);
            if (!stream) {
                QThread::msleep(20);
                continue;
            }
            m_connected = true;
        }
        int error = 0;
        if (pa_simple_read(stream, samples, sizeof samples, &error) < 0) {
            pa_simple_free(stream);
            stream = nullptr;
            m_connected = false;
            endSound(0);
            endSound(1);
            continue;
        }
        const double readAt = nowMs();
        for (int i = 0; i < Chunk; ++i) {
            const double at = readAt - (Chunk - 1 - i) * 1000.0 / Rate;
            for (int channel = 0; channel < 2; ++channel) {
                if (std::abs(int(samples[2 * i + channel])) > Threshold) {
                    if (!inSound[channel]) {
                        inSound[channel] = true;
                        sound[channel].beginMs = at;
                    }
                    sound[channel].endMs = at;
                } else if (inSound[channel] && at - sound[channel].endMs > QuietMs) {
                    endSound(channel);
                }
            }
        }
    }
    endSound(0);
    endSound(1);
    if (stream)
        pa_simple_free(stream);
}

} // namespace testing_support
