#pragma once

// Trs232c: a serial port configured from plain fields, used to switch the RTS and DTR lines
// (signal lamps and relays) and, when handlers are assigned, to report port events.
//
//   Trs232c *rs232c1 = new Trs232c(form);
//   rs232c1->portname = "COM2";                 // "COM<N>" is port N (platform::serialDevicePath);
//                                               // anything else is a device path
//   if (rs232c1->Open()) {                      // false on failure; a message box only when debug
//       rs232c1->SetRTS(true);                  // false when closed or refused
//       rs232c1->SetDTR(false);
//   }
//   rs232c1->Close();                           // false when not open
//
// Both lines are low right after Open (the default flowflag 1 keeps them low), so a relay on
// the line does not pulse when the port opens, although Linux raises them on open.
//
// Events (TNotifyEvent members, each optional) run on the component's (main) thread through
// queued calls. The handlers assigned when Open is called choose the port events watched; with
// none assigned no event thread runs. An event of a port since closed is dropped.
//   OnBREAK OnCTS OnDSR OnERR OnRING OnRLSD OnRXCHAR OnRXFLAG OnTXEMPTY: the port event
//   OnPACKET: packetsize (> 0) bytes or more wait to be read
//   OnCreate (constructor argument), OnOpen (after a successful Open), OnClose (during Close)
// OnRXFLAG never fires: Linux cannot see the event character without reading the data.
//
// paritymode takes "無し"/"なし", "奇数"/"ODD"..., "偶数"/"EVEN"..., "マーク"/"MARK"...,
// "スペース"/"SPACE"... (listed spellings only; any other word keeps the port's parity);
// stopbit takes "1", "1.5" (sent as 2) or "2". flowflag is the flag word of platform::flow;
// its DSR flow, DTR handshake and the XON/XOFF limits are kept but have no effect on Linux.

#include <QFlags>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class tcommthread;

namespace platform {
class SerialLine;
}

using TNotifyEvent = std::function<void(QObject* Sender)>;

// The bits of the flow flag word, bit 0 to bit 14.
enum rsflow : unsigned {
    dfBinary = 1u << 0,
    dfParity = 1u << 1,
    dfOutxCtsFlow = 1u << 2,
    dfOutxDsrFlow = 1u << 3,
    dfDtrControl_b0 = 1u << 4,
    dfDtrControl_b1 = 1u << 5,
    dfDsrSensitivity = 1u << 6,
    dfTXContinueOnXoff = 1u << 7,
    dfOutX = 1u << 8,
    dfInX = 1u << 9,
    dfErrorChar = 1u << 10,
    dfNull = 1u << 11,
    dfRtsControl_b0 = 1u << 12,
    dfRtsControl_b1 = 1u << 13,
    dfAbortOnError = 1u << 14,
};
Q_DECLARE_FLAGS(rsflowset, rsflow)
Q_DECLARE_OPERATORS_FOR_FLAGS(rsflowset)

class Trs232c : public QObject {
    Q_OBJECT
public:
    explicit Trs232c(QObject* AOwner = nullptr, TNotifyEvent OnCreate = {});
    ~Trs232c() override;

    // Opens and configures the port. False when already open or on failure.
    bool Open();
    // False when not open.
    bool Close();
    // Raise (true) or drop (false) the line at once. False when closed or refused.
    bool SetRTS(bool Value);
    bool SetDTR(bool Value);

    // flowflag as a set of its bits.
    rsflowset flow() const;
    void setflow(rsflowset Value);

    int charbit = 8;
    QString stopbit = QStringLiteral("1");
    int bps = 9600;
    QString portname = QStringLiteral("COM1");
    int rxbuffsize = 1024;
    int txbuffsize = 1024;
    int readinterval = 0;
    int txtimeout = 30000;
    int rxtimeout = 30000;
    QString paritymode = QStringLiteral("無し");
    int flowflag = 1;
    int packetsize = 0;
    bool debug = false;
    int XonLim = 0;
    int XoffLim = 0;
    char XonChar = 0x11;
    char XoffChar = 0x13;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    TNotifyEvent OnBREAK, OnCTS, OnDSR, OnERR, OnRING, OnRLSD, OnRXCHAR, OnRXFLAG, OnTXEMPTY, OnPACKET;
    TNotifyEvent OnCreate, OnOpen, OnClose;

    // Called on the event thread after each wait: posts the events to the component's thread.
    void DispatchCommEvents(unsigned mask);

private:
    bool failOpen(const QString& message);
    void raise(quint64 session, TNotifyEvent Trs232c::*handler);

    std::unique_ptr<platform::SerialLine> m_port;
    std::unique_ptr<tcommthread> m_thread;
    bool m_opened = false;
    unsigned m_eventMask = 0;
    int m_received = 0; // touched by the event thread only
    int m_packetSize = 0;
    quint64 m_session = 0;
};
