#pragma once

// A PulseAudio server of the test's own whose one sink is a null sink, and a recording of that
// sink's monitor: when each sound began and ended, on the steady clock. A sound is judged by what
// reached the sink, never by what a player says of itself. The server has its own folder, socket
// and cookie; while the object lives this process plays into it (PULSE_SERVER), and nothing of
// the machine's own sound server is touched.

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace testing_support {

class RecordedSoundServer {
public:
    RecordedSoundServer();
    // Ends the recording and the server; the process plays where it played before.
    ~RecordedSoundServer();
    RecordedSoundServer(const RecordedSoundServer&) = delete;
    RecordedSoundServer& operator=(const RecordedSoundServer&) = delete;

    // Why these tests cannot run here (no pulseaudio program); empty when they can.
    static QString missing();
    // Starts the server (again, after kill) and waits until its sink is being recorded; false,
    // with the reason in `why`, when it did not come up within StartWaitMs.
    bool start(QString* why);
    // Ends the server at once (SIGKILL), as a crash does.
    void kill();

    // One sound: from its first sample above the threshold to its last one before QuietMs of
    // quiet, in steady-clock milliseconds.
    struct Sound {
        double beginMs = 0;
        double endMs = 0;
    };
    // The sounds on a channel (0 left, 1 right) that have ended so far, in order.
    QList<Sound> sounds(int channel = 0) const;
    // Now on the clock the sounds are given in.
    static double nowMs();

    static constexpr int StartWaitMs = 10000;
    static constexpr int SettleMs = 2200;
    static constexpr int QuietMs = 40;
    static constexpr int Threshold = 800;

private:
    void record();

    QTemporaryDir m_dir;
    QProcess m_server;
    QByteArray m_oldServer, m_oldCookie;
    std::thread m_recorder;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_connected { false };
    mutable std::mutex m_lock;
    QList<Sound> m_sounds[2];
};

} // namespace testing_support

// In a test: starts the RecordedSoundServer `server`; skips the test where pulseaudio is not
// installed, and fails it when the server does not come up.
#define TAVO_START_SOUND_SERVER(server)                                                                      \
    if (const QString missing = testing_support::RecordedSoundServer::missing(); !missing.isEmpty())         \
        GTEST_SKIP() << missing.toStdString();                                                               \
    if (QString why; !(server).start(&why))                                                                  \
    FAIL() << why.toStdString()
