#pragma once

// The program's serial ports: one interface for a line, a real implementation over termios and
// the modem-line ioctls, and the mapping from port numbers ("COM<N>") to device paths.
//
//   std::unique_ptr<SerialLine> line = openSerialLine(serialDevicePath(3));   // nullptr: no such port
//   line->apply(settings); line->write(data, n, 3000); line->setModemLine(kLineRts, true);
//
// Every operation is bounded: writes and reads give up after their time-out, and a thread waiting
// for port events can be woken with cancelWait(). A line may be used by several threads at once
// (one writer, one event waiter, the main thread reading, purging and switching lines).
//
// Port numbers: port N is /dev/ttyS<N-1> unless the environment variable TAVO_COM<N> or the
// overrides set with setSerialPortOverrides (the settings file's "Ports" section, key "COM<N>")
// name another device, e.g. a USB adapter under /dev/serial/by-id/. The environment wins.
//
// Tests (and the console's tests) replace the device layer with setSerialLineOpener, usually
// through FakeSerialPorts (tests/support/FakeSerialLine.h).

#include <QString>
#include <QtGlobal>
#include <functional>
#include <map>
#include <memory>

namespace platform {

enum class Parity { None, Odd, Even, Mark, Space };
enum class StopBits { One, OnePointFive, Two };

// Modem lines. RTS and DTR are outputs; the others are inputs.
inline constexpr unsigned kLineRts = 0x01;
inline constexpr unsigned kLineDtr = 0x02;
inline constexpr unsigned kLineCts = 0x04;
inline constexpr unsigned kLineDsr = 0x08;
inline constexpr unsigned kLineRing = 0x10;
inline constexpr unsigned kLineCd = 0x20;

// Line errors, as the components report them to their handlers.
inline constexpr unsigned kErrReceiveOverflow = 0x01; // the driver's input buffer overflowed
inline constexpr unsigned kErrOverrun = 0x02; // the UART lost a character
inline constexpr unsigned kErrParity = 0x04;
inline constexpr unsigned kErrFraming = 0x08;
inline constexpr unsigned kErrBreak = 0x10;

// Port events, as the components report them to their handlers.
inline constexpr unsigned kEvRxChar = 0x001; // a character arrived
inline constexpr unsigned kEvRxFlag
    = 0x002; // the event character arrived (never reported: Linux cannot see it)
inline constexpr unsigned kEvTxEmpty = 0x004; // the output queue ran empty
inline constexpr unsigned kEvCts = 0x008; // CTS changed
inline constexpr unsigned kEvDsr = 0x010; // DSR changed
inline constexpr unsigned kEvRlsd = 0x020; // carrier detect changed
inline constexpr unsigned kEvBreak = 0x040; // a break arrived
inline constexpr unsigned kEvErr = 0x080; // a line error happened
inline constexpr unsigned kEvRing = 0x100; // the ring indicator changed

// Bits of the flow-control flag word that both serial components speak.
namespace flow {
inline constexpr unsigned kBinary = 1u << 0;
inline constexpr unsigned kParity = 1u << 1; // check parity on input
inline constexpr unsigned kOutxCtsFlow = 1u << 2; // output waits for CTS
inline constexpr unsigned kOutxDsrFlow = 1u << 3; // output waits for DSR (no Linux equivalent)
inline constexpr int kDtrControlShift = 4; // 2 bits: 0 low, 1 high, 2 handshake
inline constexpr unsigned kDsrSensitivity = 1u << 6;
inline constexpr unsigned kTxContinueOnXoff = 1u << 7;
inline constexpr unsigned kOutX = 1u << 8; // XON/XOFF on output
inline constexpr unsigned kInX = 1u << 9; // XON/XOFF on input
inline constexpr unsigned kErrorChar = 1u << 10;
inline constexpr unsigned kNull = 1u << 11;
inline constexpr int kRtsControlShift = 12; // 2 bits: 0 low, 1 high, 2 handshake, 3 toggle
inline constexpr unsigned kAbortOnError = 1u << 14;

enum Control { kControlLow = 0, kControlHigh = 1, kControlHandshake = 2, kControlToggle = 3 };
inline Control dtrControl(unsigned word) { return Control((word >> kDtrControlShift) & 3); }
inline Control rtsControl(unsigned word) { return Control((word >> kRtsControlShift) & 3); }
} // namespace flow

// Everything a port is configured with. Settings Linux has no use for (DSR flow, DTR handshake,
// XON/XOFF limits, the error, end and event characters, buffer sizes) are accepted and kept, so
// that they read back as they were set.
struct LineSettings {
    int bitRate = 9600;
    int dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    unsigned flowFlags = flow::kBinary;
    int xonLimit = 0;
    int xoffLimit = 0;
    char xonChar = 0x11;
    char xoffChar = 0x13;
    char errorChar = 0;
    char eofChar = 0;
    char evtChar = 0;

    bool operator==(const LineSettings&) const = default;
};

// Which setting a port refused.
enum class LineSettingError { None, BitRate, DataBits, Parity, StopBits, Flow, Device };

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // A number that identifies the open line (the file descriptor of a real port).
    virtual int handle() const = 0;

    // The port's current settings.
    virtual LineSettings settings() const = 0;
    // Applies the settings and switches DTR and RTS as the flag word says (low, high, or under the
    // port's control). Returns the first setting the port refused; then nothing is changed.
    virtual LineSettingError apply(const LineSettings& settings) = 0;
    // Driver buffer sizes: Linux keeps its own, so they are only checked (positive) and kept.
    virtual bool setBufferSizes(int receive, int transmit) = 0;

    // Writes size bytes, waiting at most timeoutMs for the port to take them (a port held by CTS
    // flow control would otherwise block for ever). Returns the bytes written, -1 on a line failure.
    // On a time-out what did not leave is discarded, as the port gave up on it.
    virtual qint64 write(const char* data, qint64 size, int timeoutMs) = 0;
    // Reads what has arrived, up to size bytes, waiting at most timeoutMs for the first byte.
    // Returns the bytes read (0 after the time-out), -1 on a line failure.
    virtual qint64 read(char* data, qint64 size, int timeoutMs) = 0;
    // Waits at most timeoutMs until everything written has left the port. False on time-out.
    virtual bool drain(int timeoutMs) = 0;
    // Discards what is queued for sending (and ends a write in progress) and/or what was received.
    virtual bool purge(bool transmit, bool receive) = 0;
    // Bytes received and not yet read.
    virtual int inputQueued() = 0;
    // Bytes written that wait in the driver's output queue; 0 where the device cannot tell (a
    // pseudo-terminal keeps what it holds out of sight).
    virtual int outputQueued() = 0;

    // Raises or drops RTS or DTR. False when the port refuses (a pseudo-terminal always does).
    virtual bool setModemLine(unsigned line, bool on) = 0;
    // The state of all modem lines (kLine... bits). False when the port cannot tell.
    virtual bool modemLines(unsigned* lines) = 0;
    // The line errors (kErr... bits) that happened since the last call.
    virtual unsigned takeLineErrors() = 0;

    // Waits at most timeoutMs for one of the port events in mask and returns the events that
    // happened (kEv... bits), 0 on time-out or when cancelWait() was called. One waiter at a time.
    virtual unsigned waitEvent(unsigned mask, int timeoutMs) = 0;
    // Ends the current (or the next) waitEvent at once; safe from any thread.
    virtual void cancelWait() = 0;
};

// Opens a port by device path; nullptr when it does not exist, is no terminal or is in use.
using SerialLineOpener = std::function<std::unique_ptr<SerialLine>(const QString& path)>;

// Opens a port through the installed opener (the termios one unless replaced).
std::unique_ptr<SerialLine> openSerialLine(const QString& path);
// Replaces the opener; an empty function restores the termios one. Returns the previous opener.
SerialLineOpener setSerialLineOpener(SerialLineOpener opener);
// Opens a real port: exclusive, non-blocking, raw. Modem lines are left as the kernel set them.
std::unique_ptr<SerialLine> openTermiosLine(const QString& path);

// The device path of port number n ("COM<n>"); empty for n < 1.
QString serialDevicePath(int n);
// A port name as the components take it: "COM<n>" (any case) becomes serialDevicePath(n),
// anything else is a device path already.
QString resolveSerialPortName(const QString& name);
// Port number -> device path overrides, set by the program from its settings file at start.
void setSerialPortOverrides(std::map<int, QString> overrides);

} // namespace platform
