#pragma once

// A sound file player: open a file, play it from the start, stop, close. Every call returns at
// once: the media back end runs on the sound thread (SoundOutput.h), so a sound server that does
// not answer never holds the caller. What the back end finds comes back as signals, from the
// event loop, for the play last asked for only.
//
// Whether a file can be opened is decided at once from the file itself (it exists, can be read,
// holds sound or video by its content, and a WAV file's header and sound data are whole). A
// failure that the back end finds when playing comes as `failed`, once for each play; the next
// play tries again. A play that ends without its sound having reached the sound output was not
// heard and is a failure too. When there is no sound output at all (no sound server, no device)
// the play comes back as `noOutput` instead: the file is not to blame.
//
// Each play builds the back end's pipeline anew; nothing stands paused ahead of its play, which
// would start as late as it stood paused. When the back end has not answered a command for
// NotAnsweringMs the player says so once (`notAnswering`); a play still waiting after GiveUpMs is
// given up, as it would sound late, if ever. A back end that is only slow (a loaded machine) is
// said but still plays.

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

namespace platform {

class Clock;
class SoundThread;
class SoundOutput;
using SoundOutputFactory = std::function<std::unique_ptr<SoundOutput>()>;

// Why a file cannot be played, judged from the file alone; empty when it looks playable.
QString soundFileProblem(const QString& path);

class MediaPlayer : public QObject {
    Q_OBJECT
public:
    // Plays through the program's shared sound thread and GStreamer.
    explicit MediaPlayer(QObject* parent = nullptr);
    // Plays through outputs made by `makeOutput` on `thread` (which must outlive the player);
    // the time a command has waited is read from `clock`.
    MediaPlayer(
        SoundThread& thread, SoundOutputFactory makeOutput, const Clock& clock, QObject* parent = nullptr);
    ~MediaPlayer() override;

    // Takes the file for playing. False, with the reason in `problem`, when the file cannot be
    // played; the player then holds nothing.
    bool Open(const QString& fileName, QString* problem = nullptr);
    // Asks for the opened file to play from its beginning; false only when nothing is open.
    bool Play();
    void Stop();
    // Lets go of the file (and of everything the back end holds for it).
    void Close();

    QString FileName() const { return m_fileName; }
    // Asked to play, and neither ended, failed nor stopped since.
    bool playing() const { return m_playing; }

    // Says once that the back end has not answered and gives a late play up (see above). Runs
    // by itself every AnswerPollMs while a command waits, and at each command.
    void checkAnswer();

    static constexpr int NotAnsweringMs = 1000;
    // As long as a cue brought due by a late tick may still sound.
    static constexpr int GiveUpMs = 3000;
    static constexpr int AnswerPollMs = 100;

signals:
    // The back end has begun to play the file.
    void started();
    // The file has played to its end.
    void ended();
    // The back end could not play the file this time.
    void failed(const QString& message);
    // There is no sound output to play into (no sound server or device, or it went away).
    void noOutput(const QString& message);
    // The back end has not answered for NotAnsweringMs.
    void notAnswering();

private:
    struct Core;
    enum class Heard { Started, Ended, Failed, NoOutput };
    // A new command takes the place of the ones before it; returns its generation.
    quint64 supersede();
    void send(std::function<void(Core&)> work);
    void hear(quint64 generation, Heard what, const QString& message);
    bool waiting() const;

    SoundThread& m_thread;
    const Clock& m_clock;
    std::shared_ptr<Core> m_core;
    QString m_fileName;
    bool m_playing = false;
    quint64 m_generation = 0; // of the last play or stop asked for
    quint64 m_sent = 0; // commands handed to the sound thread
    std::int64_t m_waitingSince = 0; // when the oldest unanswered command was sent
    bool m_saidNotAnswering = false;
    QTimer m_poll;
};

} // namespace platform
