#include "platform/MediaPlayer.h"

#include "platform/Clock.h"
#include "platform/SoundOutput.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QtEndian>
#include <atomic>
#include <mutex>
#include <utility>

namespace platform {
namespace {

bool isMediaType(const QMimeType& type)
{
    const QString name = type.name();
    return name.startsWith(QLatin1String("audio/")) || name.startsWith(QLatin1String("video/"))
        || type.inherits(QStringLiteral("application/ogg"));
}

// A RIFF WAVE file must carry a format and the whole of its sound data: a file cut short passes a
// look at its first bytes and fails only when its cue comes. Empty when it is whole, or is no
// WAV file at all.
QString wavProblem(QFile& file)
{
    file.seek(0);
    const QByteArray riff = file.read(12);
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE")
        return QString();
    const QString badHeader = QStringLiteral("WAVファイルのヘッダーが読めません。");
    const qint64 size = file.size();
    qint64 at = 12;
    bool format = false;
    while (true) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8)
            return badHeader;
        const quint32 length = qFromLittleEndian<quint32>(chunk.constData() + 4);
        const qint64 body = at + 8;
        if (chunk.startsWith("fmt ")) {
            const QByteArray fmt = file.read(16);
            if (length < 16 || fmt.size() < 16)
                return badHeader;
            const quint16 channels = qFromLittleEndian<quint16>(fmt.constData() + 2);
            const quint32 rate = qFromLittleEndian<quint32>(fmt.constData() + 4);
            const quint16 blockAlign = qFromLittleEndian<quint16>(fmt.constData() + 12);
            if (channels == 0 || rate == 0 || blockAlign == 0)
                return badHeader;
            format = true;
        } else if (chunk.startsWith("data")) {
            if (!format)
                return badHeader;
            // Writers that stream leave the length 0 or at its largest; then what is there counts.
            const bool unknown = length == 0 || length == 0xFFFFFFFFu;
            if (size - body <= 0 || (!unknown && size - body < qint64(length)))
                return QStringLiteral("音声データが途中で切れています。");
            return QString();
        }
        // Chunks are padded to an even length.
        at = body + qint64(length) + (length & 1);
        if (!file.seek(at))
            return badHeader;
    }
}

} // namespace

QString soundFileProblem(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("ファイル名がありません。");
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("ファイルが見つかりません。");
    if (!info.isFile())
        return QStringLiteral("ファイルではありません。");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("ファイルを読み込めません。");
    // Judged by the content, not the name: a text file called .wav is refused, a sound file
    // with another extension is taken.
    if (!isMediaType(QMimeDatabase().mimeTypeForData(&file)))
        return QStringLiteral("音声ファイルではありません。");
    return wavProblem(file);
}

// What the player and the sound thread share. The output is made, used and destroyed on the
// sound thread only; the counters are read and written from both.
struct MediaPlayer::Core {
    SoundOutputFactory makeOutput;
    std::unique_ptr<SoundOutput> output;
    quint64 playing = 0; // the generation the output plays (sound thread only)
    bool started = false; // that play has reached the sound output (sound thread only)
    std::atomic<quint64> wanted { 0 }; // the generation of the last command asked for
    std::atomic<quint64> answered { 0 }; // the last command the sound thread has run
    std::mutex ownerLock;
    MediaPlayer* owner = nullptr; // cleared when the player goes

    // On the sound thread: tells the player, from its event loop.
    void tell(Heard what, const QString& message = QString())
    {
        const std::lock_guard<std::mutex> guard(ownerLock);
        if (!owner)
            return;
        QMetaObject::invokeMethod(
            owner,
            [player = owner, generation = playing, what, message] {
                player->hear(generation, what, message);
            },
            Qt::QueuedConnection);
    }

    SoundOutput& Output()
    {
        if (!output) {
            output = makeOutput();
            output->onStarted = [this] {
                started = true;
                tell(Heard::Started);
            };
            // The back end's end does not say that the file was heard.
            output->onEnded = [this] {
                if (started)
                    tell(Heard::Ended);
                else
                    tell(Heard::Failed, QStringLiteral("再生が始まらないまま終わりました"));
            };
            output->onFailed = [this](SoundOutput::Failure failure, const QString& message) {
                tell(failure == SoundOutput::Failure::Output ? Heard::NoOutput : Heard::Failed, message);
            };
        }
        return *output;
    }

    void Play(const QString& file, quint64 generation)
    {
        // A later command has taken this one's place (a stop, another play, a play given up).
        if (wanted.load() != generation)
            return;
        SoundOutput& out = Output();
        playing = generation;
        started = false;
        out.Play(file);
    }
};

MediaPlayer::MediaPlayer(QObject* parent)
    : MediaPlayer(
        SoundThread::shared(), [] { return makeGstSoundOutput(); }, defaultClock(), parent)
{
}

MediaPlayer::MediaPlayer(
    SoundThread& thread, SoundOutputFactory makeOutput, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_thread(thread)
    , m_clock(clock)
    , m_core(std::make_shared<Core>())
{
    m_core->makeOutput = std::move(makeOutput);
    m_core->owner = this;
    m_poll.setInterval(AnswerPollMs);
    connect(&m_poll, &QTimer::timeout, this, &MediaPlayer::checkAnswer);
}

MediaPlayer::~MediaPlayer()
{
    {
        const std::lock_guard<std::mutex> guard(m_core->ownerLock);
        m_core->owner = nullptr;
    }
    supersede();
    // The back end goes on the sound thread, whenever that answers.
    m_thread.post([core = m_core] { core->output.reset(); });
}

quint64 MediaPlayer::supersede()
{
    m_core->wanted = ++m_generation;
    return m_generation;
}

bool MediaPlayer::waiting() const { return m_core->answered.load() < m_sent; }

void MediaPlayer::send(std::function<void(Core&)> work)
{
    if (!waiting()) {
        m_waitingSince = m_clock.monotonicMs();
        m_saidNotAnswering = false;
    }
    m_thread.post([core = m_core, sequence = ++m_sent, work = std::move(work)] {
        work(*core);
        core->answered = sequence;
    });
    if (!m_poll.isActive())
        m_poll.start();
}

void MediaPlayer::hear(quint64 generation, Heard what, const QString& message)
{
    // The player has moved on since (stopped, played again, another file).
    if (generation != m_generation)
        return;
    switch (what) {
    case Heard::Started:
        emit started();
        break;
    case Heard::Ended:
        m_playing = false;
        emit ended();
        break;
    case Heard::Failed:
        m_playing = false;
        emit failed(message);
        break;
    case Heard::NoOutput:
        m_playing = false;
        emit noOutput(message);
        break;
    }
}

void MediaPlayer::checkAnswer()
{
    if (!waiting()) {
        m_poll.stop();
        m_saidNotAnswering = false;
        return;
    }
    const qint64 waited = m_clock.monotonicMs() - m_waitingSince;
    if (waited >= GiveUpMs && m_playing) {
        // Given up; should the back end start it meanwhile, it is stopped once it answers.
        // (Cleared first: Stop checks the answer again.)
        m_playing = false;
        Stop();
    }
    if (m_saidNotAnswering || waited < NotAnsweringMs)
        return;
    m_saidNotAnswering = true;
    emit notAnswering();
}

bool MediaPlayer::Open(const QString& fileName, QString* problem)
{
    Close();
    const QString why = soundFileProblem(fileName);
    if (problem)
        *problem = why;
    if (why.isEmpty())
        m_fileName = fileName;
    return why.isEmpty();
}

bool MediaPlayer::Play()
{
    if (m_fileName.isEmpty())
        return false;
    checkAnswer();
    m_playing = true;
    send([file = QFileInfo(m_fileName).absoluteFilePath(), generation = supersede()](
             Core& core) { core.Play(file, generation); });
    return true;
}

void MediaPlayer::Stop()
{
    checkAnswer();
    m_playing = false;
    supersede();
    send([](Core& core) {
        if (core.output)
            core.output->Stop();
    });
}

void MediaPlayer::Close()
{
    checkAnswer();
    m_playing = false;
    m_fileName.clear();
    supersede();
    send([](Core& core) { core.output.reset(); });
}

} // namespace platform
