#include "components/RcvThd.h"

TRecvThd::TRecvThd(platform::SocketHandle Socket, TRecvTerminateEvent OnTerminateHandler)
    : Socket(Socket)
    , OnTerminate(std::move(OnTerminateHandler))
{
    platform::startSockets();
    // The object lives on its creator's thread, so this runs there once the receive is done.
    connect(this, &QThread::finished, this, &TRecvThd::finish, Qt::QueuedConnection);
    start();
}

TRecvThd::~TRecvThd() { wait(); }

void TRecvThd::run()
{
    Data.resize(kReceiveSize);
    int error = 0;
    const qint64 n = platform::receiveSocket(Socket, Data.data(), Data.size(), &error);
    if (n >= 0) {
        Data.truncate(n);
    } else {
        Data.clear();
        ErrorCode = error;
    }
}

void TRecvThd::finish()
{
    wait();
    // Freed once control is back in the event loop, also when the handler throws.
    deleteLater();
    if (OnTerminate)
        OnTerminate(this);
}
