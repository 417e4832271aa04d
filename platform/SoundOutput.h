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
    // Plays the file from its beginning, ending whatever this output played before.
    virtual void Play(const QString& file) = 0;
    // Ends playing and lets go of what the back end holds for it.
    virtual void Stop() = 0;

    // What a failed play failed on: the file (missing, not sound, nothing decodes it), or the
    // sound output (no sound server or device, or it went away while playing).
    enum class Failure { File, Output };

    // Called on the sound thread, at most one of ended and failed for each Play.
    std::function<void()> onStarted; // the sound has reached the sound output
    std::function<void()> onEnded; // the file has played to its end
    std::function<void(Failure, const QString& message)> onFailed;
};

using SoundOutputFactory = std::function<std::unique_ptr<SoundOutput>()>;

// A GStreamer pipeline of its own for each play (file, decoder, conversion, the PulseAudio sink),
// built when the play is asked for and let go when it ends, fails or is stopped: a pipeline that
// stood paused ahead would sound as late as it stood paused. `muted`: plays into the sink at no
// volume (the start-up's warm-up).
std::unique_ptr<SoundOutput> makeGstSoundOutput(bool muted = false);

// Sets every pipeline still held by an output of the calling thread to NULL and lets go of it:
// the thread that made them runs this before it ends, so that none of their streaming threads
// (which may still be loading a plug-in) runs on while the process exits.
void releaseThreadPipelines();

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

// Sets the shared thread's back end up without waiting for it: GStreamer, the plug-ins a WAV and
// an MP3 file need (loading the MP3 decoder alone takes most of a second) and the connection to
// the sound server, by playing a short silence of each kind muted. The first cue of the day then
// starts as promptly as the later ones. Only the first call does anything.
void prepareSound();

} // namespace platform
