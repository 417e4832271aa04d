#pragma once

// A serial port in memory, for tests of whatever drives modem lines or needs line errors and
// CTS flow control (a pseudo-terminal carries data but refuses every modem-line call).
//
//   platform::FakeSerialPorts ports;                       // installed as the opener until destroyed
//   auto lamp = ports.add(platform::serialDevicePath(2));  // "COM2"
//   ... the program opens "COM2", raises RTS ...
//   EXPECT_EQ(lamp->outputLines(), platform::kLineRts);
//
// Like a Linux port, the device raises RTS and DTR when it is opened. Every change of RTS and DTR
// and every write is recorded in history() ("open", "RTS=1", "DTR=0", "write 22", "close").
// Writes wait while CTS is low and the settings ask for CTS flow, until their time-out.

#include "platform/SerialLine.h"

#include <QByteArray>
#include <QStringList>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {

class FakeSerialDevice : public std::enable_shared_from_this<FakeSerialDevice> {
public:
    explicit FakeSerialDevice(QString path);

    QString path() const { return m_path; }
    // A line on this device; nullptr when it is already open or told to refuse.
    std::unique_ptr<SerialLine> open();

    // --- the far end ---
    // Bytes arriving on the line.
    void feed(const QByteArray& bytes);
    // Everything the program wrote (and the line accepted).
    QByteArray sent() const;
    // Waits at most timeoutMs until at least size bytes were written in all.
    bool waitForSent(qint64 size, int timeoutMs) const;
    // Sets the input lines (CTS, DSR, RING, CD); their changes become port events.
    void setInputLines(unsigned lines);
    // Line errors (kErr... bits) as the UART would report them.
    void raiseLineErrors(unsigned errors);

    // --- what the program did ---
    unsigned outputLines() const;
    QStringList history() const;
    void clearHistory();
    LineSettings settings() const;
    bool isOpen() const;
    int openCount() const;
    // How often someone waited for port events.
    int waitCount() const;

    // --- behaviour ---
    void setRefuseOpen(bool refuse);
    // Like a pseudo-terminal: modem-line calls fail.
    void setRefuseModemLines(bool refuse);
    // Like a USB adapter pulled out: every call on a line already open fails, and the device
    // does not open, until it is plugged in again.
    void setUnplugged(bool unplugged);

private:
    friend class FakeSerialLine;
    void record(const QString& entry);
    void setOutputLocked(unsigned line, bool on);
    // A copy of a member, read under the lock.
    template <typename T> T locked(const T& member) const
    {
        std::lock_guard lock(m_mutex);
        return member;
    }

    const QString m_path;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_open = false;
    bool m_refuseOpen = false;
    bool m_refuseModemLines = false;
    bool m_unplugged = false;
    int m_openCount = 0;
    int m_waitCount = 0;
    unsigned m_outputs = 0;
    unsigned m_inputs = kLineCts | kLineDsr;
    unsigned m_pendingErrors = 0;
    unsigned m_pendingEvents = 0;
    unsigned m_purgeGeneration = 0;
    bool m_cancelWait = false;
    QByteArray m_input;
    QByteArray m_sent;
    QStringList m_history;
    LineSettings m_settings;
};

// Installs itself as the serial opener for its lifetime: opening a path it holds opens that
// device; any other path fails as a missing port. Restores the previous opener when destroyed.
class FakeSerialPorts {
public:
    FakeSerialPorts();
    ~FakeSerialPorts();
    FakeSerialPorts(const FakeSerialPorts&) = delete;
    FakeSerialPorts& operator=(const FakeSerialPorts&) = delete;

    std::shared_ptr<FakeSerialDevice> add(const QString& path);
    std::shared_ptr<FakeSerialDevice> device(const QString& path) const;

private:
    struct State;
    std::shared_ptr<State> m_state;
    SerialLineOpener m_previous;
};

} // namespace platform
