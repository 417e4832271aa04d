#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <map>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

// Which sockets are open, which have a receive in progress, and which wait for it to end
// before their number is released.
struct SocketTable {
    std::mutex mutex;
    std::set<SocketHandle> open;
    std::map<SocketHandle, int> receiving;
    std::set<SocketHandle> closing;
};

SocketTable& Table()
{
    static SocketTable table;
    return table;
}

} // namespace

void StartSockets()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

bool ParseIPv4(const QString& text, quint32* address)
{
    in_addr a {};
    if (::inet_pton(AF_INET, text.trimmed().toLatin1().constData(), &a) != 1)
        return false;
    *address = a.s_addr;
    return true;
}

int LookUpHostIPv4(const QString& name, quint32* address)
{
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(name.trimmed().toUtf8().constData(), nullptr, &hints, &result);
    if (rc != 0)
        return rc == EAI_SYSTEM ? errno : (rc < 0 ? -rc : rc);
    *address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(result);
    return 0;
}

SocketHandle CreateStreamSocket(int* error)
{
    StartSockets();
    const SocketHandle s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) {
        *error = errno;
        return kInvalidSocket;
    }
    std::lock_guard lock(Table().mutex);
    Table().open.insert(s);
    return s;
}

int ConnectSocket(SocketHandle socket, quint32 address, quint16 port)
{
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    int rc;
    do
        rc = ::connect(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

qint64 ReceiveSocket(SocketHandle socket, char* buffer, qint64 size, int* error)
{
    SocketTable& t = Table();
    {
        std::lock_guard lock(t.mutex);
        if (t.closing.count(socket))
            return 0;
        if (!t.open.count(socket)) {
            *error = EBADF;
            return -1;
        }
        ++t.receiving[socket];
    }
    ssize_t n;
    do
        n = ::recv(socket, buffer, size_t(size), 0);
    while (n < 0 && errno == EINTR);
    const int failure = errno;

    std::lock_guard lock(t.mutex);
    if (--t.receiving[socket] == 0) {
        t.receiving.erase(socket);
        if (t.closing.erase(socket)) {
            ::close(socket);
            t.open.erase(socket);
            // A receive ended by the shutdown reads as a closed connection.
            return 0;
        }
    }
    if (n < 0) {
        *error = failure;
        return -1;
    }
    return n;
}

void CloseSocket(SocketHandle socket)
{
    SocketTable& t = Table();
    std::lock_guard lock(t.mutex);
    if (!t.open.count(socket) || t.closing.count(socket))
        return;
    ::shutdown(socket, SHUT_RDWR);
    if (t.receiving.count(socket)) {
        t.closing.insert(socket);
        return;
    }
    ::close(socket);
    t.open.erase(socket);
}

} // namespace platform
