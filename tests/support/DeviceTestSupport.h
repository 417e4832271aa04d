#pragma once

// Helpers for tests of the serial and socket code: a pseudo-terminal that stands in for a
// serial device (its far end is the master side), and a bounded wait that keeps the event loop
// running so that queued events are delivered.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace testing_support {

// Runs the event loop until done() is true or timeoutMs have passed; returns done().
template <typename Done> bool waitUntil(Done done, int timeoutMs = 3000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Lets the event loop run for ms milliseconds (to show that something does NOT happen).
inline void runEvents(int ms)
{
    waitUntil([] { return false; }, ms);
}

class PseudoTerminal {
public:
    PseudoTerminal()
    {
        termios raw {};
        ::cfmakeraw(&raw);
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, &raw, nullptr) == 0) {
            m_path = QString::fromLocal8Bit(name);
            ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PseudoTerminal()
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return !m_path.isEmpty(); }
    // The device path a port opens.
    QString path() const { return m_path; }
    // The device side, for reading its terminal settings.
    int slaveFd() const { return m_slave; }

    // Bytes the device sends to the port.
    void send(const QByteArray& bytes)
    {
        [[maybe_unused]] auto n = ::write(m_master, bytes.constData(), bytes.size());
    }

    // Reads what the port sent until size bytes have come or timeoutMs have passed.
    QByteArray receive(qint64 size, int timeoutMs = 3000)
    {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (got.size() < size && timer.elapsed() < timeoutMs) {
            pollfd fd = { m_master, POLLIN, 0 };
            ::poll(&fd, 1, 10);
            char buffer[4096];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
        }
        return got;
    }

    // Reads at most size bytes of what has arrived, without waiting: a far end that reads slowly.
    QByteArray receiveUpTo(qsizetype size)
    {
        QByteArray got(size, '\0');
        const ssize_t n = ::read(m_master, got.data(), size_t(size));
        got.resize(n > 0 ? n : 0);
        return got;
    }

    // Fills the buffer between the device side and the far end, as a device whose far end has
    // not read for a while leaves it: from now on the port's bytes leave only as the far end
    // reads. Returns the bytes written, which the far end reads first.
    QByteArray fillDeviceBuffer()
    {
        ::fcntl(m_slave, F_SETFL, ::fcntl(m_slave, F_GETFL) | O_NONBLOCK);
        QByteArray written;
        // The kernel passes written bytes on to the far end's side a moment later, which makes
        // room again: full means a pass after a pause that takes nothing more.
        for (qsizetype before = -1; before != written.size(); QThread::msleep(20)) {
            before = written.size();
            for (const qsizetype chunk : { qsizetype(1024), qsizetype(1) }) {
                const QByteArray filler(chunk, 'f');
                for (;;) {
                    const ssize_t n = ::write(m_slave, filler.constData(), size_t(chunk));
                    if (n > 0)
                        written.append(filler.constData(), n);
                    if (n < chunk)
                        break;
                }
            }
        }
        return written;
    }

    // How much of what the device side wrote the far end already holds, out of reach of a flush
    // of the device side: a full pseudo-terminal flushed, what is still there to read.
    static qsizetype farEndHolds()
    {
        PseudoTerminal probe;
        probe.fillDeviceBuffer();
        // The kernel passes the bytes on to the far end a moment after they were written.
        QThread::msleep(100);
        ::tcflush(probe.m_slave, TCOFLUSH);
        return probe.receive(1 << 20, 200).size();
    }

    termios deviceSettings() const
    {
        termios t {};
        ::tcgetattr(m_slave, &t);
        return t;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};

} // namespace testing_support
