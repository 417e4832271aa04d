#pragma once

// A sound file player: open a file, play it from the start, stop, close. Every call returns at
// once: the media back end runs on the sound thread (SoundOutput.h), so a sound server that does
// not answer never holds the caller. What the back end finds comes back as signals, from the
// event loop, for the play last asked for only.
//
// Whether a file can be opened is decided at once from the file itself (it exists, can be read,
// holds sound or video by its content, and a WAV file's header and sound data are whole). A
// failure that the back end finds when playing comes as `failed`, once for each play; the next
// play tries again. A play that the back end ends before it got anywhere (its position never
// moved, or stopped short of half the file) was not heard and is a failure too; a file shorter
// than ShortFileMs ends before its position can be told and always counts as played.
//
// Building the back end's pipeline takes a good part of a cue's start; Prepare does it ahead, so
// that the next Play only starts the file. A prepared player holds its pipeline until it plays,
// stops or closes. When the back end has not answered a command for NotAnsweringMs the player
// says so once (`notAnswering`); a play still waiting after GiveUpMs is given up, as it would
// sound late, if ever. A back end that is only slow (a loaded machine setting up its first
// pipeline) is said but still plays.

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
    // Plays through the program's shared sound thread and the Qt back end.
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
    // Has the back end ready the opened file, paused at its beginning. Nothing while nothing is
    // open or when it is prepared already; asked while a play is under way, it readies the file
    // once that play has ended or failed.
    void Prepare();
    // Lets go of a preparation that no play has used; a play under way goes on.
    void Unprepare();

    QString FileName() const { return m_fileName; }
    // Asked to play, and neither ended, failed nor stopped since.
    bool playing() const { return m_playing; }
    // Asked to prepare, and neither played, stopped nor closed since.
    bool prepared() const { return m_prepared; }

    // Says once that the back end has not answered and gives a late play up (see above). Runs
    // by itself every AnswerPollMs while a command waits, and at each command.
    void checkAnswer();

    static constexpr int NotAnsweringMs = 1000;
    // As long as a cue brought due by a late tick may still sound.
    static constexpr int GiveUpMs = 3000;
    static constexpr int AnswerPollMs = 100;
    static constexpr int ShortFileMs = 200;

signals:
    // The back end has begun to play the file.
    void started();
    // The file has played to its end.
    void ended();
    // The back end could not play the file this time.
    void failed(const QString& message);
    // The back end has not answered for NotAnsweringMs.
    void notAnswering();

private:
    struct Core;
    enum class Heard { Started, Ended, Failed };
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
    bool m_prepared = false;
    bool m_prepareAfterPlay = false; // asked to prepare while a play was under way
    quint64 m_generation = 0; // of the last play or stop asked for
    quint64 m_sent = 0; // commands handed to the sound thread
    std::int64_t m_waitingSince = 0; // when the oldest unanswered command was sent
    bool m_saidNotAnswering = false;
    QTimer m_poll;
};

} // namespace platform
