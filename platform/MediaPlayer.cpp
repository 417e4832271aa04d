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

void MediaPlayer::EnsurePlayer()
{
    if (m_player)
        return;
    ChooseBackEnd();
    m_player = std::make_unique<QMediaPlayer>();
    m_output = std::make_unique<QAudioOutput>();
    m_player->setAudioOutput(m_output.get());
    connect(m_player.get(), &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus s) {
        if (s == QMediaPlayer::EndOfMedia && !m_failed)
            emit ended();
    });
    connect(m_player.get(), &QMediaPlayer::errorOccurred, this,
        [this](QMediaPlayer::Error error, const QString& message) {
            // The back end reports one failure in several steps; the first says most.
            if (error == QMediaPlayer::NoError || m_failed || m_fileName.isEmpty())
                return;
            m_failed = true;
            // Told from the event loop, not from inside the back end's signal: whoever hears it
            // may close or reopen the player, which replaces the failed back end.
            QMetaObject::invokeMethod(
                this,
                [this, file = m_fileName, message] {
                    if (m_failed && m_fileName == file)
                        emit failed(message);
                },
                Qt::QueuedConnection);
        });
}

// A back end that has failed on a file blocks for a second on every later state change of its
// pipeline (stop, a new source); destroying it does not. So a failed player is replaced.
void MediaPlayer::Release()
{
    if (m_failed) {
        m_player.reset();
        m_output.reset();
    } else if (m_player) {
        m_player->stop();
        m_player->setSource(QUrl());
    }
    m_fileName.clear();
    m_failed = false;
}

bool MediaPlayer::Open(const QString& fileName, QString* problem)
{
    Release();
    const QString why = SoundFileProblem(fileName);
    if (problem)
        *problem = why;
    if (!why.isEmpty())
        return false;
    EnsurePlayer();
    m_fileName = fileName;
    m_player->setSource(QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()));
    return true;
}

bool MediaPlayer::Play()
{
    if (!m_player || m_fileName.isEmpty() || m_failed)
        return false;
    // From the beginning, also when it is playing or has played to its end.
    m_player->stop();
    m_player->play();
    return true;
}

void MediaPlayer::Stop()
{
    if (m_player && !m_failed)
        m_player->stop();
}

void MediaPlayer::Close() { Release(); }

bool MediaPlayer::Playing() const
{
    return m_player && !m_failed && m_player->playbackState() == QMediaPlayer::PlayingState;
}

} // namespace platform
