#pragma once

// What the console's logic touches outside itself, as small interfaces. The console form backs
// them with its components (the board's serial port, the modem-line ports, media players, the
// monitor file writer); tests back them with recording fakes and drive the logic in simulated time.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class TDM1;

namespace platform {
class Asker;
class Clock;
} // namespace platform

namespace console {

class MonitorFiles;

// The display board's serial link. A closed port drops what it is given. Nothing here waits on
// the board: the count-down sends through it ten times a second.
class BoardPort {
public:
    virtual ~BoardPort() = default;
    // Hands the bytes over for sending. When the port's send queue is full (a board holding CTS
    // low takes nothing) the bytes are dropped and counted: the next line supersedes them.
    virtual void SendString(const QByteArray& bytes) = 0;
    // Releases the port at once, dropping what has not gone out; nothing when it is closed.
    virtual void Close() = 0;

    // The members below have defaults for ports that are always there (recorders, tests).

    // Opens the port; true when it is open afterwards, also when it was open already. On failure
    // openError() says why.
    virtual bool Open() { return true; }
    virtual QString openError() const { return {}; }
    // Bits per second; kept while closed and used by the next Open.
    virtual void setBitRate(int bitRate) { (void)bitRate; }
    // How many sends were dropped because the send queue was full, since the port was made.
    virtual int droppedLines() const { return 0; }
    // Bytes handed over that have not left the port yet: its own send queue plus the driver's
    // output queue where the device tells. 0 while closed.
    virtual qint64 bytesQueued() const { return 0; }
    // Bytes that have left the port since it opened; grows only while the board takes data.
    virtual qint64 bytesSent() const { return 0; }
    // Drops what was handed over and has not left yet, the driver's output queue included. A line
    // may be cut in the middle.
    virtual void purge() { }
    // Closes once what was handed over has gone out (bounded by the send time-out), without
    // waiting for it: the blank line that switches the board off must reach it.
    virtual void closeWhenSent() { Close(); }
};

// The three serial ports whose RTS and DTR lines switch the signal outputs. Ports are numbered
// 1 to 3; other numbers do nothing, and the line calls do nothing on a port that is not open.
class SignalLines {
public:
    virtual ~SignalLines() = default;
    virtual bool Open(int port) = 0;
    virtual void Close(int port) = 0;
    // Raise or drop the line; true when the port switched it. False on a port that is not open
    // and on one that fails after it opened (a USB adapter pulled out).
    virtual bool setRts(int port, bool high) = 0;
    virtual bool setDtr(int port, bool high) = 0;
};

// One sound cue player: a file is opened, played from the start, stopped and closed. None of the
// calls waits on the sound system: the count-down calls them inside its tick.
class CuePlayer {
public:
    virtual ~CuePlayer() = default;
    virtual bool Open(const QString& fileName) = 0;
    // Starts the opened file from its beginning; false when playing could not start. Each call
    // tries again, also after a failure.
    virtual bool Play() = 0;
    virtual void Stop() = 0;
    virtual void Close() = 0;
    // The file opened last; empty when the player holds no cue.
    virtual QString FileName() const = 0;
    // Called when a cue's sound has reached the sound output.
    std::function<void()> OnStarted;
    // Called when a cue has played to its end.
    std::function<void()> OnEnded;
    // Called when playing fails after it started (the message says what failed).
    std::function<void(const QString&)> OnError;
    // Called instead of OnError when there is no sound output to play into (no sound server or
    // device, or it went away); the message says what the sound system found.
    std::function<void(const QString&)> OnNoOutput;
    // Called once when the sound system has stopped answering the player; the cue it was asked
    // to play is given up.
    std::function<void()> OnNotAnswering;
};

// A source of random whole numbers.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    // A number from 0 to n - 1; 0 when n is 0 or below.
    virtual int below(int n) = 0;
};

// Random numbers from the system's generator.
class SystemRandomSource final : public RandomSource {
public:
    int below(int n) override;
};

// Waits that the devices need (the board between two lines, a signal pulse). Blocks the caller.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void sleep(int ms) = 0;
};

// Blocks the calling thread for the time given.
class ThreadSleeper final : public Sleeper {
public:
    void sleep(int ms) override;
};

// Runs work later on the console's thread, so that a timed sequence (the signal sweep, the
// brightness frames) never blocks the count-down.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Runs `work` once, `ms` milliseconds from now.
    virtual void after(int ms, std::function<void()> work) = 0;
};

// Makes the cue player of the slot named (MP1, MPt3, ...).
using CuePlayerFactory = std::function<std::unique_ptr<CuePlayer>(const QString& name)>;

// What the console's logic is given. The console form fills the members left empty with the real
// devices (its own components) and owns those; what a caller passes stays the caller's.
struct ConsoleDevices {
    const platform::Clock* clock = nullptr;
    platform::Asker* asker = nullptr;
    BoardPort* board = nullptr;
    SignalLines* signalLines = nullptr;
    MonitorFiles* monitor = nullptr;
    RandomSource* random = nullptr;
    Sleeper* sleeper = nullptr;
    Scheduler* scheduler = nullptr;
    TDM1* dm = nullptr;
    CuePlayerFactory makeCuePlayer;
};

} // namespace console
