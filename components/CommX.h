#pragma once

// TCommX: a serial port whose writes never block the caller on the line.
//
//   TCommX *CommX1 = new TCommX(form);          // defaults: port 1, 9600 bit/s, 8N1, RTS/CTS flow
//   CommX1->setPortNo(BoardPortNo);             // port N is /dev/ttyS<N-1> unless mapped (serialDevicePath)
//   CommX1->setBitRate(2400);                   // stored while closed, applied at once while open
//   CommX1->Open();                             // throws ECommError with a Japanese message
//   CommX1->SendString("8       R   1:23     \r"); // queued; false while closed
//   CommX1->Close();                            // no effect when closed
//
// Write cuts the data into chunks of at most BufLenTrans bytes that a send thread writes to the
// port, each write bounded by TimeOutTrans; at most 32 chunks wait at a time (Write lets the event
// loop run while the queue is full). A receive thread waits for port events. Both threads exist
// only while the port is open, and Close ends and joins them before it releases the port.
//
// Events (std::function members, each optional) always run on the thread that owns the component
// (the main thread), delivered through queued calls; an event of a port since closed is dropped:
//   OnTrans(Sender, TransSize)      a chunk was written (or dropped by a purge)
//   OnReceive(Sender, ReceiveSize)  bytes wait to be read; read them with Read
//   OnSignal(Sender, EventMask)     CTS, DSR, carrier or ring changed (platform::kEv... bits)
//   OnBreak(Sender)                 a break arrived
//   OnError(Sender, ErrorBits)      overrun 0x02, parity 0x04, framing 0x08 errors
// The receive thread waits until each of its events has been handled before it looks again.
//
// Settings Linux cannot carry are accepted and kept: DSR output flow and DTR handshake of
// cfcDtrDsr, the XON/XOFF limits, 1.5 stop bits (sent as 2), and the driver buffer sizes.

#include "platform/SerialLine.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>

enum TCommParityBits { cpbNone, cpbOdd, cpbEven };
enum TCommStopBits { csb1, csb1p5, csb2 };
enum TCommFlowCtrls { cfcRtsCts, cfcDtrDsr, cfcXonXoff, cfcHalfHigh, cfcHalfLow, cfcNone };

// The failure of a step of opening or configuring the port; what() is the Japanese message (UTF-8).
class ECommError : public std::runtime_error {
public:
    explicit ECommError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

using TCommTransEvent = std::function<void(QObject* Sender, int TransSize)>;
using TCommReceiveEvent = std::function<void(QObject* Sender, int ReceiveSize)>;
using TCommSignalEvent = std::function<void(QObject* Sender, int EventMask)>;
using TCommBreakEvent = std::function<void(QObject* Sender)>;
using TCommErrEvent = std::function<void(QObject* Sender, int ErrorBits)>;

class TCustomCommX : public QObject {
    Q_OBJECT
public:
    explicit TCustomCommX(QObject* AOwner = nullptr);
    ~TCustomCommX() override;

    // Opens and configures the port and starts both threads. Throws ECommError; a failure after
    // the device was opened closes it again first.
    void Open();
    // Lowers DTR and RTS, discards what is queued, ends and joins both threads, releases the port.
    void Close();
    // Closes without waiting, keeping what has gone out: when all has been sent, the driver keeps
    // what it already took and hands it on to the device (a pseudo-terminal whose far end reads
    // slowly still gets it), else what waits is discarded as by Close. The caller lets the last
    // bytes leave first: it calls this settleDelay() after allSent() became true. A next Open
    // waits what is left of the settle delay, so that the device sees the lines settle.
    void CloseAfterSent();

    // Queues Count bytes for sending. True when every chunk was queued (not sent); false when the
    // port is closed, or was closed (or a chunk could not be queued) before all were.
    virtual bool Write(const void* Buffer, int Count);
    // Reads up to Count bytes, waiting at most TimeOutReceive ms (0: only what has arrived) while
    // the event loop runs. Returns the bytes read, -1 when closed or on a line failure.
    virtual int Read(void* Buffer, int Count);
    // Writes the text's bytes (one byte per character; a QString goes out as CP932). No terminator.
    bool SendString(const QByteArray& S);
    bool SendString(const QString& S);
    bool SendString(const char* S);

    // Drops what waits to be sent, in the send thread's queue and in the driver's output queue
    // (the send thread reports each dropped chunk through OnTrans).
    void PurgeTrans();
    // Chunks handed to Write that the send thread has not finished with; 0 while closed. Write
    // waits while MaxQueuedChunks of them are queued, so a caller that must not wait checks first.
    int queuedChunks() const;
    static constexpr int MaxQueuedChunks = 32;
    // True when nothing handed to Write is left to send: no chunk queued and the port's own
    // output queue empty. Never waits; true while closed.
    bool allSent() const;
    // Bytes handed to Write that have not left yet: those the send thread still holds plus
    // those in the driver's output queue, where the device tells (TIOCOUTQ). 0 while closed.
    qint64 outputQueued() const;
    // Bytes that have left the port since it opened: those the line took, less those still in the
    // driver's output queue where the device tells. Grows only while the device takes data; 0
    // while closed.
    qint64 bytesSent() const;
    // Drops what was received and not read.
    void PurgeReceive();
    // Bytes waiting to be read; 0 when closed.
    int ReceiveCount() const;
    // Raise or drop RTS / DTR at once; no effect when closed.
    void SetRTS(bool Value);
    void SetDTR(bool Value);

    // Properties. The line settings apply at once while the port is open (throwing ECommError when
    // the port refuses them); setting PortNo while open closes and reopens the port.
    int PortNo() const { return m_portNo; }
    void setPortNo(int Value);
    int BitRate() const { return m_bitRate; }
    void setBitRate(int Value);
    int CharSize() const { return m_charSize; }
    void setCharSize(int Value);
    TCommParityBits ParityBit() const { return m_parityBit; }
    void setParityBit(TCommParityBits Value);
    TCommStopBits StopBit() const { return m_stopBit; }
    void setStopBit(TCommStopBits Value);
    TCommFlowCtrls FlowCtrl() const { return m_flowCtrl; }
    void setFlowCtrl(TCommFlowCtrls Value);
    int TimeOutTrans() const { return m_timeOutTrans; }
    void setTimeOutTrans(int Value);
    int TimeOutReceive() const { return m_timeOutReceive; }
    void setTimeOutReceive(int Value);
    int BufLenTrans() const { return m_bufLenTrans; }
    void setBufLenTrans(int Value);
    int BufLenReceive() const { return m_bufLenReceive; }
    void setBufLenReceive(int Value);
    // The open port's number; -1 while closed.
    int Handle() const;

    TCommTransEvent OnTrans;
    TCommReceiveEvent OnReceive;
    TCommSignalEvent OnSignal;
    TCommBreakEvent OnBreak;
    TCommErrEvent OnError;

    // The settings the port holds now (the properties as the line took them), or would get at Open.
    platform::LineSettings portSettings() const;
    // How long Open waits after starting the threads and Close before releasing the port, so
    // that a device on the line sees the lines settle (100 ms; tests set 0).
    void setSettleDelay(int ms) { m_settleDelayMs = ms; }
    int settleDelay() const { return m_settleDelayMs; }

protected:
    void DoTrans(int Size);
    void DoReceive();
    void DoSignal(int Mask);
    void DoError(int Bits);

private:
    struct Session;
    friend struct Session;

    platform::LineSettings settingsForLine() const;
    void applyLine(const QString& stepMessage);
    void applyTimeOuts();
    void applyBufferSizes();
    bool isCurrent(quint64 session) const;
    void settle() const;

    int m_portNo = 1;
    int m_bitRate = 9600;
    int m_charSize = 8;
    TCommParityBits m_parityBit = cpbNone;
    TCommStopBits m_stopBit = csb1;
    TCommFlowCtrls m_flowCtrl = cfcRtsCts;
    int m_timeOutTrans = 3000;
    int m_timeOutReceive = 3000;
    int m_bufLenTrans = 2048;
    int m_bufLenReceive = 2048;
    int m_settleDelayMs = 100;
    // Running from a CloseAfterSent to the next Open.
    QElapsedTimer m_settlingSince;
    platform::LineSettings m_portState; // read from the port at open, changed by the setters
    std::unique_ptr<Session> m_session;
    quint64 m_lastSessionId = 0;
};

class TCommX : public TCustomCommX {
    Q_OBJECT
public:
    using TCustomCommX::TCustomCommX;
};
