#pragma once

// A sound file player over Qt Multimedia with the GStreamer back end: open a file, play it from
// the start, stop, close. It always has an audio output, so that a machine without a sound
// device still plays every file to its end into a silent sink, and never hangs.
//
// Qt loads media in the background: whether a file can be opened is decided at once from the
// file itself (it exists, can be read and holds sound or video by its content); a failure that
// the back end finds later comes as `failed`, once per opened file.

#include <QObject>
#include <QString>
#include <memory>

class QAudioOutput;
class QMediaPlayer;

namespace platform {

// Why a file cannot be played, judged from the file alone; empty when it looks playable.
QString SoundFileProblem(const QString& path);

class MediaPlayer : public QObject {
    Q_OBJECT
public:
    explicit MediaPlayer(QObject* parent = nullptr);
    ~MediaPlayer() override;

    // Loads the file for playing. False, with the reason in `problem`, when the file cannot be
    // played; the player then holds nothing.
    bool Open(const QString& fileName, QString* problem = nullptr);
    // Plays the opened file from its beginning. False when nothing is open or the back end has
    // already refused the file.
    bool Play();
    void Stop();
    // Lets go of the file (and of everything the back end holds for it).
    void Close();

    QString FileName() const { return m_fileName; }
    bool Playing() const;

signals:
    // The file has played to its end.
    void ended();
    // The back end could not play the opened file.
    void failed(const QString& message);

private:
    void Release();
    void EnsurePlayer();

    // Made at the first Open: a player that never holds a file costs nothing.
    std::unique_ptr<QMediaPlayer> m_player;
    std::unique_ptr<QAudioOutput> m_output;
    QString m_fileName;
    bool m_failed = false;
};

} // namespace platform
