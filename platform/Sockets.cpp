#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
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

SocketTable& table()
{
    // Never destroyed: a cancelled connect's thread, detached because a look-up cannot be
    // interrupted, may close its socket while the program is already ending.
    static SocketTable* const table = new SocketTable;
    return *table;
}

sockaddr_in ipv4Address(quint32 address, quint16 port)
{
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    return to;
}

// Connects without blocking for longer than it takes cancelFd to become readable. Returns 0,
// the connect's error number, or ECANCELED.
int connectCancellable(SocketHandle socket, quint32 address, quint16 port, int cancelFd)
{
    const int flags = ::fcntl(socket, F_GETFL);
    ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
    const sockaddr_in to = ipv4Address(address, port);
    int error = ::connect(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ? 0 : errno;
    // An interrupted non-blocking connect goes on in the background like one in progress.
    if (error == EINPROGRESS || error == EINTR) {
        pollfd wait[2] = { { socket, POLLOUT, 0 }, { cancelFd, POLLIN, 0 } };
        int n;
        do
            n = ::poll(wait, 2, -1);
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            error = errno;
        } else if (wait[1].revents != 0) {
            error = ECANCELED;
        } else {
            socklen_t size = sizeof error;
            if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                error = errno;
        }
    }
    // The receive thread waits in a blocking receive.
    ::fcntl(socket, F_SETFL, flags);
    return error;
}

} // namespace

void startSockets()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

bool parseIPv4(const QString& text, quint32* address)
{
    in_addr a {};
    if (::inet_pton(AF_INET, text.trimmed().toLatin1().constData(), &a) != 1)
        return false;
    *address = a.s_addr;
    return true;
}

LookUpError lookUpHostIPv4(const QString& name, quint32* address)
{
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(name.trimmed().toUtf8().constData(), nullptr, &hints, &result);
    // A system error whose errno was left 0 would read as a name found, with no address.
    if (rc == EAI_SYSTEM && errno != 0)
        return { errno, ErrorSource::System };
    if (rc != 0)
        return { rc, ErrorSource::Resolver };
    *address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(result);
    return {};
}

QString resolverErrorText(int code) { return QString::fromLocal8Bit(::gai_strerror(code)); }

SocketHandle createStreamSocket(int* error)
{
    startSockets();
    const SocketHandle s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) {
        *error = errno;
        return kInvalidSocket;
    }
    std::lock_guard lock(table().mutex);
    table().open.insert(s);
    return s;
}

int connectSocket(SocketHandle socket, quint32 address, quint16 port)
{
    const sockaddr_in to = ipv4Address(address, port);
    int rc;
    do
        rc = ::connect(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

qint64 receiveSocket(SocketHandle socket, char* buffer, qint64 size, int* error)
{
    SocketTable& t = table();
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

void closeSocket(SocketHandle socket)
{
    SocketTable& t = table();
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

// What an attempt's worker thread and the connector share. The worker holds it until it ends,
// which may be after the connector has abandoned the attempt or is gone.
struct SocketConnector::Attempt {
    QString host;
    quint16 port = 0;
    LookUpFunction lookUp;
    int cancelFd = -1; // readable once the attempt is abandoned

    std::mutex mutex;
    // Where news goes; both null once the attempt is abandoned.
    SocketConnector* owner = nullptr;
    QObject* mailbox = nullptr;
    Result result; // the outcome, kept here until the connector takes it

    ~Attempt()
    {
        if (cancelFd >= 0)
            ::close(cancelFd);
    }

    // Hands news to the connector's thread unless the attempt was abandoned. Under the lock, so
    // that the connector cannot go away while the news is posted.
    void post(
        void (SocketConnector::*news)(const std::shared_ptr<Attempt>&), const std::shared_ptr<Attempt>& self)
    {
        std::lock_guard lock(mutex);
        if (!mailbox)
            return;
        SocketConnector* to = owner;
        QMetaObject::invokeMethod(
            mailbox, [to, news, self] { (to->*news)(self); }, Qt::QueuedConnection);
    }

    void Finish(const Result& outcome, const std::shared_ptr<Attempt>& self)
    {
        {
            std::lock_guard lock(mutex);
            if (!mailbox) {
                // Nobody takes a socket connected after the attempt was abandoned.
                if (outcome.socket != kInvalidSocket)
                    closeSocket(outcome.socket);
                return;
            }
            result = outcome;
        }
        post(&SocketConnector::finished, self);
    }

    bool abandoned()
    {
        std::lock_guard lock(mutex);
        return !mailbox;
    }

    void abandon()
    {
        std::lock_guard lock(mutex);
        owner = nullptr;
        mailbox = nullptr;
        if (result.socket != kInvalidSocket) {
            closeSocket(result.socket);
            result.socket = kInvalidSocket;
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(cancelFd, &one, sizeof one);
    }

    static void run(const std::shared_ptr<Attempt>& self)
    {
        Result r;
        quint32 address = 0;
        if (!parseIPv4(self->host, &address)) {
            const LookUpError failed = self->lookUp(self->host, &address);
            if (failed.code != 0) {
                r.error = failed.code;
                r.source = failed.source;
                r.failure = Failure::LookUp;
                self->Finish(r, self);
                return;
            }
        }
        r.step = Step::Connect;
        self->post(&SocketConnector::found, self);
        if (self->abandoned())
            return;
        const SocketHandle socket = createStreamSocket(&r.error);
        if (socket == kInvalidSocket) {
            r.failure = Failure::Create;
            self->Finish(r, self);
            return;
        }
        r.error = connectCancellable(socket, address, self->port, self->cancelFd);
        if (r.error != 0) {
            closeSocket(socket);
            r.failure = Failure::Connect;
        } else {
            r.socket = socket;
        }
        self->Finish(r, self);
    }
};

SocketConnector::SocketConnector(LookUpFunction lookUp)
    : m_lookUp(std::move(lookUp))
{
    m_deadline.setSingleShot(true);
    QObject::connect(&m_deadline, &QTimer::timeout, &m_mailbox, [this] { timeUp(); });
}

SocketConnector::~SocketConnector() { Cancel(); }

void SocketConnector::start(const QString& host, quint16 port, int timeoutMs, std::function<void()> onFound,
    std::function<void(const Result&)> done)
{
    Cancel();
    startSockets();
    auto attempt = std::make_shared<Attempt>();
    attempt->host = host;
    attempt->port = port;
    attempt->lookUp = m_lookUp;
    attempt->cancelFd = ::eventfd(0, EFD_CLOEXEC);
    attempt->owner = this;
    attempt->mailbox = &m_mailbox;
    m_attempt = attempt;
    m_onFound = std::move(onFound);
    m_done = std::move(done);
    m_found = false;
    m_deadline.start(timeoutMs);
    if (attempt->cancelFd < 0) {
        attempt->Finish(
            { Failure::Create, errno, Step::LookUp, kInvalidSocket, ErrorSource::System }, attempt);
        return;
    }
    try {
        // Detached: a look-up cannot be interrupted, and nobody waits for one that hangs. The
        // thread keeps the attempt alive and only posts to the connector while it is wanted.
        std::thread(&Attempt::run, attempt).detach();
    } catch (const std::system_error& e) {
        attempt->Finish(
            { Failure::Create, e.code().value(), Step::LookUp, kInvalidSocket, ErrorSource::System },
            attempt);
    }
}

void SocketConnector::Cancel()
{
    if (!m_attempt)
        return;
    m_attempt->abandon();
    m_attempt.reset();
    m_deadline.stop();
    m_onFound = nullptr;
    m_done = nullptr;
}

void SocketConnector::found(const std::shared_ptr<Attempt>& attempt)
{
    if (attempt != m_attempt)
        return;
    m_found = true;
    if (m_onFound)
        m_onFound();
}

void SocketConnector::finished(const std::shared_ptr<Attempt>& attempt)
{
    if (attempt != m_attempt)
        return;
    Result result;
    {
        std::lock_guard lock(attempt->mutex);
        result = attempt->result;
        attempt->result.socket = kInvalidSocket; // handed out
    }
    auto done = std::move(m_done);
    m_attempt.reset();
    m_deadline.stop();
    m_onFound = nullptr;
    m_done = nullptr;
    if (done)
        done(result);
}

void SocketConnector::timeUp()
{
    if (!m_attempt)
        return;
    const Result result { Failure::TimedOut, 0, m_found ? Step::Connect : Step::LookUp, kInvalidSocket,
        ErrorSource::System };
    auto done = std::move(m_done);
    Cancel();
    if (done)
        done(result);
}

} // namespace platform
