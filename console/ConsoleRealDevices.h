#pragma once

// The console's devices backed by its own components: the display board on the TCommX port, the
// signal lines on the three Trs232c ports, the cue players on the platform's media player.

#include "console/ConsoleDevices.h"

#include <QElapsedTimer>
#include <QTimer>
#include <array>
#include <memory>

class TCustomCommX;
class Trs232c;

namespace platform {
class MediaPlayer;
}

namespace console {

// The board line over CommX1. Sends while the port is closed are dropped; so are sends that
// would have to wait for room in the port's send queue. A close once sent waits on the
// scheduler, never on the console's thread: for the last line to go out, then for the port's
// settle delay, so that the board takes its last byte before the lines drop.
class CommXBoardPort final : public BoardPort {
public:
    CommXBoardPort(TCustomCommX& port, Scheduler& scheduler);
    // A close still waiting for its last line ends now, keeping what the driver already took;
    // a line the port has not handed to the driver gets the settle delay to go, no more.
    ~CommXBoardPort() override;
    void SendString(const QByteArray& bytes) override;
    void Close() override;
    bool Open() override;
    QString openError() const override { return m_openError; }
    void setBitRate(int bitRate) override;
    int droppedLines() const override { return m_dropped; }
    qint64 bytesQueued() const override;
    qint64 bytesSent() const override;
    void purge() override;
    void closeWhenSent() override;

    // How often a pending close looks whether everything went out.
    static constexpr int DrainPollMs = 10;

private:
    void pollDrain();
    // All went out: the port closes once the settle delay has passed.
    void settle();
    void stopDraining();
    // A close waits for the last line or for the settle delay; sends meanwhile are dropped.
    bool closing() const { return m_drainTimer.isActive() || m_settling; }

    TCustomCommX& m_port;
    Scheduler& m_scheduler;
    QString m_openError;
    int m_dropped = 0;
    // Set while a close waits for the last line to go out.
    QTimer m_drainTimer;
    QElapsedTimer m_drainSince;
    bool m_settling = false;
    // Tells the pending settle from one called off since.
    unsigned m_settleRun = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// Work for later on the owner's thread; what is pending when the owner goes is dropped.
class QtScheduler final : public Scheduler {
public:
    explicit QtScheduler(QObject& owner)
        : m_owner(owner)
    {
    }
    void after(int ms, std::function<void()> work) override;

private:
    QObject& m_owner;
};

// Signal ports 1 to 3 over rs232c1..rs232c3.
class Rs232cSignalLines final : public SignalLines {
public:
    explicit Rs232cSignalLines(std::array<Trs232c*, 3> ports)
        : m_ports(ports)
    {
    }
    bool Open(int port) override;
    void Close(int port) override;
    bool setRts(int port, bool high) override;
    bool setDtr(int port, bool high) override;

private:
    Trs232c* portLine(int port) const;
    std::array<Trs232c*, 3> m_ports;
};

// A cue player over the platform's media player. A file that cannot be played is refused at
// Open; a failure found later while loading or playing comes through OnError, a machine without
// sound output through OnNoOutput, a sound system that does not answer through OnNotAnswering.
class MediaCuePlayer final : public CuePlayer {
public:
    MediaCuePlayer();
    explicit MediaCuePlayer(std::unique_ptr<platform::MediaPlayer> player);
    ~MediaCuePlayer() override;
    bool Open(const QString& fileName) override;
    bool Play() override;
    void Stop() override;
    void Close() override;
    QString FileName() const override;

private:
    std::unique_ptr<platform::MediaPlayer> m_player;
};

} // namespace console
