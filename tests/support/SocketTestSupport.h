#pragma once

// Stand-ins for a timing server on the loop-back address: one that takes a client and sends it
// what the test says, and one that never answers a connect.

#include "support/DeviceTestSupport.h"

#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace testing_support {

// A server on 127.0.0.1 that takes clients and sends the newest one what it is given. It runs on
// the test's event loop (waitUntil keeps that running).
class FeedServer {
public:
    FeedServer() { m_server.listen(QHostAddress::LocalHost); }
    quint16 port() const { return m_server.serverPort(); }
    QString portText() const { return QString::number(port()); }

    // Waits for the next client to connect; false when none came.
    bool takeClient(int timeoutMs = 3000)
    {
        if (!waitUntil([&] { return m_server.hasPendingConnections(); }, timeoutMs))
            return false;
        m_client = m_server.nextPendingConnection();
        return true;
    }
    QTcpSocket* client() const { return m_client; }

    // Sends the bytes and waits until they are out, with the event loop running: a client that
    // reads only from its event loop must not stall a long feed.
    void send(const QByteArray& bytes)
    {
        m_client->write(bytes);
        waitUntil([&] { return m_client->bytesToWrite() == 0; });
    }
    // Closes the connection in order (the client reads an end of stream).
    void close() { m_client->disconnectFromHost(); }
    // Resets the connection (the client's receive fails with ECONNRESET).
    void reset()
    {
        linger now { 1, 0 };
        ::setsockopt(int(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
        m_client->abort();
    }
    // True once the client has closed its side (the event loop must have run meanwhile).
    bool clientGone() const { return !m_client || m_client->state() == QAbstractSocket::UnconnectedState; }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
};

// A port on 127.0.0.1 that never answers a connect: its listener never accepts, and once its
// queue is full the system drops every further connection request without a word, as a
// switched-off or unplugged server does.
class SilentPort {
public:
    SilentPort()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at {};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::listen(m_listener, 0);
        socklen_t size = sizeof at;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&at), &size);
        m_port = ntohs(at.sin_port);
        // Fill the queue: connect until a connect stays unanswered.
        for (int i = 0; i < 16; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            m_fillers.push_back(c);
            ::connect(c, reinterpret_cast<sockaddr*>(&at), sizeof at);
            pollfd wait = { c, POLLOUT, 0 };
            if (::poll(&wait, 1, 200) == 0)
                break;
        }
    }
    ~SilentPort()
    {
        for (int c : m_fillers)
            ::close(c);
        ::close(m_listener);
    }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;

    quint16 port() const { return m_port; }
    QString portText() const { return QString::number(m_port); }

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::vector<int> m_fillers;
};

} // namespace testing_support
