#include "console/ConsoleRealDevices.h"

#include "components/CommX.h"
#include "components/rs232c.h"
#include "platform/MediaPlayer.h"

#include <QThread>
#include <algorithm>

namespace console {

CommXBoardPort::CommXBoardPort(TCustomCommX& port, Scheduler& scheduler)
    : m_port(port)
    , m_scheduler(scheduler)
{
    m_drainTimer.setInterval(DrainPollMs);
    QObject::connect(&m_drainTimer, &QTimer::timeout, &m_drainTimer, [this] { pollDrain(); });
}

void CommXBoardPort::SendString(const QByteArray& bytes)
{
    if (bytes.isEmpty() || m_port.Handle() < 0 || closing())
        return;
    // Write waits (running the event loop) while the queue is full; the board is never worth
    // that wait. Lines still queued are not a reason to drop: only a full queue is.
    const int chunkSize = std::max(1, m_port.BufLenTrans());
    const int chunks = int((bytes.size() + chunkSize - 1) / chunkSize);
    if (m_port.queuedChunks() + chunks > TCustomCommX::MaxQueuedChunks) {
        ++m_dropped;
        return;
    }
    m_port.SendString(bytes);
}

CommXBoardPort::~CommXBoardPort()
{
    if (!closing())
        return;
    stopDraining();
    QElapsedTimer waited;
    waited.start();
    while (!m_port.allSent() && waited.elapsed() < m_port.settleDelay())
        QThread::msleep(1);
    m_port.CloseAfterSent();
}

qint64 CommXBoardPort::bytesQueued() const { return m_port.outputQueued(); }

qint64 CommXBoardPort::bytesSent() const { return m_port.bytesSent(); }

void CommXBoardPort::purge() { m_port.PurgeTrans(); }

void CommXBoardPort::Close()
{
    stopDraining();
    m_port.Close();
}

bool CommXBoardPort::Open()
{
    // A close still waiting for its last line is called off: the port stays as it is.
    stopDraining();
    m_openError.clear();
    if (m_port.Handle() >= 0)
        return true;
    try {
        m_port.Open();
    } catch (const ECommError& e) {
        m_openError = e.message();
        return false;
    }
    return true;
}

void CommXBoardPort::setBitRate(int bitRate)
{
    try {
        m_port.setBitRate(bitRate);
    } catch (const ECommError& e) {
        // Only an open port applies the rate at once; the caller closes it first.
        m_openError = e.message();
    }
}

void CommXBoardPort::closeWhenSent()
{
    // A close already under way keeps its time limit.
    if (m_port.Handle() < 0 || closing())
        return;
    m_drainSince.start();
    m_drainTimer.start();
    pollDrain();
}

void CommXBoardPort::pollDrain()
{
    if (!m_drainTimer.isActive())
        return;
    // Where the device keeps its output queue out of sight (a pseudo-terminal), "all sent" means
    // handed to the driver: closing then must not discard what the driver holds.
    if (m_port.allSent()) {
        m_drainTimer.stop();
        settle();
    } else if (m_drainSince.elapsed() >= m_port.TimeOutTrans()) {
        // The board takes nothing: what waits is dropped and the port closes, without the
        // settle waits of a plain close.
        stopDraining();
        m_port.CloseAfterSent();
    }
}

void CommXBoardPort::settle()
{
    if (m_port.settleDelay() <= 0) {
        m_port.CloseAfterSent();
        return;
    }
    m_settling = true;
    const unsigned run = ++m_settleRun;
    std::weak_ptr<bool> alive = m_alive;
    m_scheduler.after(m_port.settleDelay(), [this, alive, run] {
        if (!alive.lock() || run != m_settleRun)
            return;
        m_settling = false;
        m_port.CloseAfterSent();
    });
}

void CommXBoardPort::stopDraining()
{
    m_drainTimer.stop();
    m_settling = false;
    ++m_settleRun;
}

void QtScheduler::after(int ms, std::function<void()> work)
{
    QTimer::singleShot(std::max(0, ms), &m_owner, std::move(work));
}

Trs232c* Rs232cSignalLines::portLine(int port) const
{
    return port >= 1 && port <= 3 ? m_ports[static_cast<size_t>(port - 1)] : nullptr;
}

bool Rs232cSignalLines::Open(int port)
{
    Trs232c* p = portLine(port);
    return p && p->Open();
}

void Rs232cSignalLines::Close(int port)
{
    if (Trs232c* p = portLine(port))
        p->Close();
}

bool Rs232cSignalLines::setRts(int port, bool high)
{
    Trs232c* p = portLine(port);
    return p && p->SetRTS(high);
}

bool Rs232cSignalLines::setDtr(int port, bool high)
{
    Trs232c* p = portLine(port);
    return p && p->SetDTR(high);
}

MediaCuePlayer::MediaCuePlayer()
    : MediaCuePlayer(std::make_unique<platform::MediaPlayer>())
{
}

MediaCuePlayer::MediaCuePlayer(std::unique_ptr<platform::MediaPlayer> player)
    : m_player(std::move(player))
{
    QObject::connect(m_player.get(), &platform::MediaPlayer::started, [this] {
        if (OnStarted)
            OnStarted();
    });
    QObject::connect(m_player.get(), &platform::MediaPlayer::ended, [this] {
        if (OnEnded)
            OnEnded();
    });
    QObject::connect(m_player.get(), &platform::MediaPlayer::failed, [this](const QString& message) {
        if (OnError)
            OnError(message);
    });
    QObject::connect(m_player.get(), &platform::MediaPlayer::noOutput, [this](const QString& message) {
        if (OnNoOutput)
            OnNoOutput(message);
    });
    QObject::connect(m_player.get(), &platform::MediaPlayer::notAnswering, [this] {
        if (OnNotAnswering)
            OnNotAnswering();
    });
}

MediaCuePlayer::~MediaCuePlayer() = default;

bool MediaCuePlayer::Open(const QString& fileName) { return m_player->Open(fileName); }

bool MediaCuePlayer::Play() { return m_player->Play(); }

void MediaCuePlayer::Stop() { m_player->Stop(); }

void MediaCuePlayer::Close() { m_player->Close(); }

QString MediaCuePlayer::FileName() const { return m_player->FileName(); }

} // namespace console
