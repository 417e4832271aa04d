#pragma once

// A sound file player over Qt Multimedia with the GStreamer back end: open a file, play it from
// the start, stop, close. It always has an audio output, so that a machine without a sound
// device still plays every file to its end into a silent sink, and never hangs.
//
// Qt loads media in the background: whether a file can be opened is decided at once from the
// file itself (it exists, can be read and holds sound or video by its content); a failure that
// the back end finds when playing comes as `failed`, once per opened file.
//
// The back end's pipeline (about half a megabyte each) lives only while the file plays, from
// Play to Stop or Close: a console holds 39 opened players, of which one or two play at a time.

#include <QObject>
#include <QString>
#include <functional>
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

    // Takes the file for playing. False, with the reason in `problem`, when the file cannot be
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
    void StartBackEnd();
    void StopBackEnd();
    // Emits from the event loop, unless the player has moved on (stopped, restarted, another
    // file) by then.
    void Tell(std::function<void()> signal);

    std::unique_ptr<QMediaPlayer> m_player;
    std::unique_ptr<QAudioOutput> m_output;
    QString m_fileName;
    bool m_failed = false; // the back end refused the file; kept until another file is opened
    quint64 m_generation = 0;
};

} // namespace platform
