#include "platform/MediaPlayer.h"

#include <QAudioOutput>
#include <QFile>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QMimeDatabase>
#include <QUrl>

namespace platform {
namespace {

// Qt picks its media back end at the first player. The ffmpeg back end crashes or hangs on a
// machine without a sound device, so GStreamer is chosen unless the user chose otherwise.
void ChooseBackEnd()
{
    static const bool chosen = [] {
        if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND"))
            qputenv("QT_MEDIA_BACKEND", "gstreamer");
        return true;
    }();
    (void)chosen;
}

bool IsMediaType(const QMimeType& type)
{
    const QString name = type.name();
    return name.startsWith(QLatin1String("audio/")) || name.startsWith(QLatin1String("video/"))
        || type.inherits(QStringLiteral("application/ogg"));
}

} // namespace

QString SoundFileProblem(const QString& path)
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
    if (!IsMediaType(QMimeDatabase().mimeTypeForData(&file)))
        return QStringLiteral("音声ファイルではありません。");
    return QString();
}

MediaPlayer::MediaPlayer(QObject* parent)
    : QObject(parent)
{
}

MediaPlayer::~MediaPlayer() = default;

void MediaPlayer::StartBackEnd()
{
    ChooseBackEnd();
    m_player = std::make_unique<QMediaPlayer>();
    m_output = std::make_unique<QAudioOutput>();
    m_player->setAudioOutput(m_output.get());
    // Both are told from the event loop, never from inside the back end's own signals: whoever
    // hears them may stop, close or reopen this player, which destroys the back end.
    connect(m_player.get(), &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus s) {
        if (s == QMediaPlayer::EndOfMedia && !m_failed)
            Tell([this] { emit ended(); });
    });
    connect(m_player.get(), &QMediaPlayer::errorOccurred, this,
        [this](QMediaPlayer::Error error, const QString& message) {
            // The back end reports one failure in several steps; the first says most.
            if (error == QMediaPlayer::NoError || m_failed)
                return;
            m_failed = true;
            Tell([this, message] { emit failed(message); });
        });
    m_player->setSource(QUrl::fromLocalFile(QFileInfo(m_fileName).absoluteFilePath()));
}

void MediaPlayer::Tell(std::function<void()> signal)
{
    QMetaObject::invokeMethod(
        this,
        [this, file = m_fileName, generation = m_generation, signal = std::move(signal)] {
            if (m_fileName == file && m_generation == generation)
                signal();
        },
        Qt::QueuedConnection);
}

// Destroying the back end is quick in every state, whereas stopping one that has failed blocks
// for a second.
void MediaPlayer::StopBackEnd()
{
    ++m_generation;
    m_player.reset();
    m_output.reset();
}

bool MediaPlayer::Open(const QString& fileName, QString* problem)
{
    Close();
    const QString why = SoundFileProblem(fileName);
    if (problem)
        *problem = why;
    if (why.isEmpty())
        m_fileName = fileName;
    return why.isEmpty();
}

bool MediaPlayer::Play()
{
    if (m_fileName.isEmpty() || m_failed)
        return false;
    if (m_player) {
        // From the beginning, also when it is playing or has played to its end.
        ++m_generation;
        m_player->stop();
    } else {
        StartBackEnd();
    }
    m_player->play();
    return true;
}

void MediaPlayer::Stop() { StopBackEnd(); }

void MediaPlayer::Close()
{
    StopBackEnd();
    m_fileName.clear();
    m_failed = false;
}

bool MediaPlayer::Playing() const
{
    return m_player && !m_failed && m_player->playbackState() == QMediaPlayer::PlayingState;
}

} // namespace platform
