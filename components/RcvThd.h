#pragma once

// TRecvThd: one receive on a connected socket, in a thread of its own.
//
//   new TRecvThd(TimeServerSocket, [this](TRecvThd *Sender) { RecvTerm(Sender); });
//
// The thread starts at once and receives once (at most 8192 bytes). Then OnTerminate runs on the
// thread that created the object (the main thread, through a queued call) with the finished
// object as Sender, which frees itself after the handler returns: the caller keeps no reference.
// In the handler:
//   Sender->Data       the bytes received; empty when the peer closed the connection, the socket
//                      was closed meanwhile, or the receive failed
//   Sender->ErrorCode  0, or the error number (errno) of a failed receive
// The socket must come from platform::createStreamSocket (any other number gives ErrorCode EBADF).
// Close it with platform::closeSocket, also while a receive waits: that ends the receive (empty
// Data, ErrorCode 0) before the socket is released. Close it once: a handler that finds empty
// Data after the program closed the socket itself must not close it again, since the number may
// already belong to a new connection.

#include "platform/Sockets.h"

#include <QByteArray>
#include <QThread>
#include <functional>

class TRecvThd;
using TRecvTerminateEvent = std::function<void(TRecvThd* Sender)>;

class TRecvThd : public QThread {
    Q_OBJECT
public:
    TRecvThd(platform::SocketHandle Socket, TRecvTerminateEvent OnTerminateHandler);
    ~TRecvThd() override;

    static constexpr int kReceiveSize = 8192;

    const platform::SocketHandle Socket;
    QByteArray Data;
    int ErrorCode = 0;
    TRecvTerminateEvent OnTerminate;

protected:
    void run() override;

private:
    void finish();
};
