#pragma once

// The media back end and the thread it runs on.
//
// A sound server that does not answer blocks whoever calls into the back end: starting a
// pipeline connects to the server, stopping or destroying one waits for it. Every such call is
// therefore made on the sound thread, never on the thread that asked (the console's count-down
// runs on the GUI thread ten times a second). The GUI side hands commands over and returns.

#include <QString>
#include <functional>
#include <memory>

class QObject;
class QThread;

namespace platform {

// Plays one file at a time. Made, called and destroyed on the sound thread only; any call may
// block for as long as the sound server does not answer.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Plays the file from its beginning, ending whatever this output played before. When the
    // output is prepared for this file, it only starts it.
    virtual void Play(const QString& file) = 0;
    // Ends playing and lets go of what the back end holds for it.
    virtual void Stop() = 0;
    // Readies the file so that the next Play only starts it: the back end opens it and stands
    // paused at its beginning. Says nothing, also when the back end fails: Play then starts anew.
    virtual void Prepare(const QString& file) { (void)file; }

    // How far a play got when the back end ended it, in milliseconds: the furthest position
    // seen while playing, and the file's length (0 or below when the back end does not know it).
    struct Reached {
        qint64 positionMs = 0;
        qint64 durationMs = 0;
    };

    // Called on the sound thread, at most one of ended and failed for each Play.
    std::function<void()> onStarted; // the file's position has begun to move
    std::function<void(Reached)> onEnded; // the back end has reached the end of the media
    std::function<void(const QString& message)> onFailed; // the back end could not play it
};

using SoundOutputFactory = std::function<std::unique_ptr<SoundOutput>()>;

// Qt Multimedia with the GStreamer back end, always with an audio output, so that a machine
// without a sound device plays every file to its end into a silent sink. The back end's pipeline
// (about half a megabyte) lives only from Play to Stop.
std::unique_ptr<SoundOutput> makeQtSoundOutput();

// A thread with its own event loop that runs the work handed to it in order.
class SoundThread {
public:
    SoundThread();
    // Ends the thread after the work handed over; when that does not end within StopWaitMs (a
    // back end that does not answer), the thread is left to end with the process.
    ~SoundThread();
    SoundThread(const SoundThread&) = delete;
    SoundThread& operator=(const SoundThread&) = delete;

    // Runs `work` on the thread after what was handed over before. Returns at once.
    void post(std::function<void()> work);

    // The thread the program's players share; made when first asked for, ended when the
    // application object goes.
    static SoundThread& shared();

    static constexpr int StopWaitMs = 2000;

private:
    std::unique_ptr<QThread> m_thread;
    QObject* m_context; // lives on the thread; the work runs in its name
};

// Sets the shared thread's back end up (the media framework, its plug-ins, the connection to the
// sound server) by playing a short silence muted, without waiting for it: the first cue then
// starts as promptly as the later ones. Only the first call does anything.
void prepareSound();

} // namespace platform
