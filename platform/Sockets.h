#pragma once

// The program's TCP client calls over BSD sockets (the timing-server link).
//
//   startSockets();                                   // once; ignores SIGPIPE
//   quint32 address;                                  // network byte order
//   if (!parseIPv4(text, &address)) lookUpError = lookUpHostIPv4(text, &address);
//   SocketHandle s = createStreamSocket(&error);
//   error = connectSocket(s, address, port);          // blocking
//   // or, without blocking the caller: SocketConnector (below)
//   qint64 n = receiveSocket(s, buffer, size, &error); // in a thread: see TRecvThd
//   closeSocket(s);
//
// Error numbers are the system's errno values (ECONNREFUSED, ECONNRESET, ...). A failed name
// look-up says besides whether its code is the resolver's own (EAI_*) or an errno value.
//
// closeSocket is safe while another thread waits in receiveSocket on the same socket: Linux would
// not wake that thread on close, and would hand the number to the next socket opened. So the
// socket is shut down, which ends the receive (as a closed connection), and the number is released
// only when that receive has returned.

#include <QObject>
#include <QString>
#include <QTimer>
#include <QtGlobal>
#include <functional>
#include <memory>

namespace platform {

using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;

// Prepares the socket layer (ignores SIGPIPE, so that a write to a closed peer fails with EPIPE
// instead of ending the program). Runs once however often it is called.
void startSockets();

// A dotted IPv4 address ("192.168.0.10") in network byte order; false when text is not one.
bool parseIPv4(const QString& text, quint32* address);
// Where an error code comes from. The resolver's codes (getaddrinfo's EAI_*, kept as it returns
// them) and the system's errno values overlap as numbers, so a code is read only with its source.
enum class ErrorSource { System, Resolver };

// A name look-up's failure; code 0 when the name was found.
struct LookUpError {
    int code = 0;
    ErrorSource source = ErrorSource::System;
};

// Looks a host name up; the first IPv4 address in network byte order.
LookUpError lookUpHostIPv4(const QString& name, quint32* address);
// The resolver's own description of one of its codes (gai_strerror).
QString resolverErrorText(int code);

// A new IPv4 TCP socket; kInvalidSocket with *error set on failure.
SocketHandle createStreamSocket(int* error);
// Connects (blocking) to address (network byte order) and port (host order). Returns 0 or an error number.
int connectSocket(SocketHandle socket, quint32 address, quint16 port);
// One receive of at most size bytes. Returns the bytes received (0: the peer closed the
// connection, or the socket was closed meanwhile), or -1 with *error set.
qint64 receiveSocket(SocketHandle socket, char* buffer, qint64 size, int* error);
// Shuts the socket down and releases it (once a receive in progress has returned).
void closeSocket(SocketHandle socket);

// One connection attempt at a time, run off the caller's thread so that the caller's event loop
// stays live: the name look-up (skipped for a dotted address), the socket, and a non-blocking
// connect. The whole attempt is bounded by a time-out: the system's own connect gives up only
// after about two minutes, and a look-up of a name nobody answers for can take as long.
//
//   SocketConnector connector;
//   connector.start(host, port, 5000, onFound, [](const SocketConnector::Result& r) { ... });
//
// onFound and done run on the thread that made the connector, from its event loop. Cancel(), a new
// start() or destroying the connector abandons the attempt at once and calls neither: a look-up
// still running ends in the background, and a socket connected meanwhile is closed, never handed
// out. A connected socket handed to done belongs to the receiver (close it with closeSocket).
class SocketConnector {
public:
    enum class Failure {
        None, // connected: Result::socket is the connection
        LookUp, // the host name could not be looked up (error: as source says)
        Create, // no socket could be made (error: errno)
        Connect, // the server refused or could not be reached (error: errno)
        TimedOut, // the time-out passed first (error 0; step says where the attempt stood)
    };
    enum class Step { LookUp, Connect };
    struct Result {
        Failure failure = Failure::None;
        int error = 0;
        Step step = Step::LookUp;
        SocketHandle socket = kInvalidSocket;
        ErrorSource source = ErrorSource::System; // whose code error is
    };
    // Looks a host name up; the signature of lookUpHostIPv4, which is the default.
    using LookUpFunction = std::function<LookUpError(const QString& name, quint32* address)>;

    explicit SocketConnector(LookUpFunction lookUp = lookUpHostIPv4);
    ~SocketConnector();
    SocketConnector(const SocketConnector&) = delete;
    SocketConnector& operator=(const SocketConnector&) = delete;

    void start(const QString& host, quint16 port, int timeoutMs, std::function<void()> onFound,
        std::function<void(const Result&)> done);
    void Cancel();
    bool Running() const { return m_attempt != nullptr; }

    struct Attempt;

private:
    void found(const std::shared_ptr<Attempt>& attempt);
    void finished(const std::shared_ptr<Attempt>& attempt);
    void timeUp();

    LookUpFunction m_lookUp;
    std::shared_ptr<Attempt> m_attempt;
    std::function<void()> m_onFound;
    std::function<void(const Result&)> m_done;
    bool m_found = false;
    QTimer m_deadline;
    // The worker threads post their news to this object; destroying it drops news not yet delivered.
    QObject m_mailbox;
};

} // namespace platform
