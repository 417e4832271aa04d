#include "platform/Sockets.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <thread>

using namespace platform;

TEST(Sockets, ReadsDottedAddressesAndLooksNamesUp)
{
    quint32 address = 0;
    ASSERT_TRUE(ParseIPv4(QStringLiteral("192.168.0.10"), &address));
    EXPECT_EQ(ntohl(address), 0xC0A8000Au);
    EXPECT_FALSE(ParseIPv4(QStringLiteral("timing-server"), &address));
    EXPECT_FALSE(ParseIPv4(QStringLiteral("192.168.0"), &address));
    ASSERT_EQ(LookUpHostIPv4(QStringLiteral("localhost"), &address), 0);
    EXPECT_EQ(ntohl(address) >> 24, 127u);
    EXPECT_NE(LookUpHostIPv4(QStringLiteral("no-such-host.invalid"), &address), 0);
}

TEST(Sockets, ConnectToAClosedPortFailsWithItsErrorNumber)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();
    int error = 0;
    const SocketHandle s = CreateStreamSocket(&error);
    ASSERT_NE(s, kInvalidSocket);
    EXPECT_EQ(ConnectSocket(s, htonl(INADDR_LOOPBACK), port), ECONNREFUSED);
    CloseSocket(s);
}

TEST(Sockets, CloseEndsAWaitingReceiveBeforeReleasingTheSocket)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    int error = 0;
    const SocketHandle s = CreateStreamSocket(&error);
    ASSERT_EQ(ConnectSocket(s, htonl(INADDR_LOOPBACK), server.serverPort()), 0);
    ASSERT_TRUE(server.waitForNewConnection(3000));

    qint64 received = -2;
    std::thread receiver([&] {
        char buffer[64];
        int e = 0;
        received = ReceiveSocket(s, buffer, sizeof buffer, &e);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    QElapsedTimer timer;
    timer.start();
    CloseSocket(s);
    receiver.join();
    EXPECT_EQ(received, 0);
    EXPECT_LT(timer.elapsed(), 3000);
    // Released: a receive on it now fails instead of reading someone else's socket.
    char buffer[4];
    EXPECT_EQ(ReceiveSocket(s, buffer, sizeof buffer, &error), -1);
    EXPECT_EQ(error, EBADF);
}
