#pragma once

// The program's TCP client calls over BSD sockets (the timing-server link).
//
//   StartSockets();                                   // once; ignores SIGPIPE
//   quint32 address;                                  // network byte order
//   if (!ParseIPv4(text, &address)) error = LookUpHostIPv4(text, &address);
//   SocketHandle s = CreateStreamSocket(&error);
//   error = ConnectSocket(s, address, port);          // blocking
//   qint64 n = ReceiveSocket(s, buffer, size, &error); // in a thread: see TRecvThd
//   CloseSocket(s);
//
// Error numbers are the system's errno values (ECONNREFUSED, ECONNRESET, ...); name look-up
// failures are EAI_* codes made positive.
//
// CloseSocket is safe while another thread waits in ReceiveSocket on the same socket: Linux would
// not wake that thread on close, and would hand the number to the next socket opened. So the
// socket is shut down, which ends the receive (as a closed connection), and the number is released
// only when that receive has returned.

#include <QString>
#include <QtGlobal>

namespace platform {

using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;

// Prepares the socket layer (ignores SIGPIPE, so that a write to a closed peer fails with EPIPE
// instead of ending the program). Runs once however often it is called.
void StartSockets();

// A dotted IPv4 address ("192.168.0.10") in network byte order; false when text is not one.
bool ParseIPv4(const QString& text, quint32* address);
// Looks a host name up; the first IPv4 address in network byte order. Returns 0 or an error number.
int LookUpHostIPv4(const QString& name, quint32* address);

// A new IPv4 TCP socket; kInvalidSocket with *error set on failure.
SocketHandle CreateStreamSocket(int* error);
// Connects (blocking) to address (network byte order) and port (host order). Returns 0 or an error number.
int ConnectSocket(SocketHandle socket, quint32 address, quint16 port);
// One receive of at most size bytes. Returns the bytes received (0: the peer closed the
// connection, or the socket was closed meanwhile), or -1 with *error set.
qint64 ReceiveSocket(SocketHandle socket, char* buffer, qint64 size, int* error);
// Shuts the socket down and releases it (once a receive in progress has returned).
void CloseSocket(SocketHandle socket);

} // namespace platform
