#include "platform/Sockets.h"
#include "support/SocketTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <gtest/gtest.h>
#include <memory>
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

namespace {

using testing_support::WaitUntil;

// Open file descriptors of the process: a socket that an attempt leaves behind shows here.
int OpenDescriptors() { return int(QDir(QStringLiteral("/proc/self/fd")).count()); }

// One attempt's news, as the connector's caller sees it.
struct Outcome {
    int found = 0;
    int done = 0;
    SocketConnector::Result result;
};

void StartInto(SocketConnector& connector, Outcome& outcome, const QString& host, quint16 port, int timeoutMs)
{
    connector.Start(
        host, port, timeoutMs, [&outcome] { ++outcome.found; },
        [&outcome](const SocketConnector::Result& r) {
            ++outcome.done;
            outcome.result = r;
        });
}

// A look-up that answers only when the test lets it, as a name server that does not reply.
struct HeldLookUp {
    std::shared_ptr<std::atomic<bool>> release = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    SocketConnector::LookUpFunction function() const
    {
        return [release = release, calls = calls](const QString&, quint32* address) {
            ++*calls;
            while (!*release)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            *address = htonl(INADDR_LOOPBACK);
            return 0;
        };
    }
};

} // namespace

TEST(SocketConnector, ConnectsByAddressOrNameWithoutBlockingTheCaller)
{
    testing_support::FeedServer server;
    for (const QString& host : { QStringLiteral("127.0.0.1"), QStringLiteral("localhost") }) {
        SocketConnector connector;
        Outcome outcome;
        StartInto(connector, outcome, host, server.port(), 3000);
        EXPECT_EQ(outcome.done, 0) << "nothing is delivered inside Start";
        EXPECT_TRUE(connector.Running());
        ASSERT_TRUE(WaitUntil([&] { return outcome.done == 1; })) << host.toStdString();
        EXPECT_EQ(outcome.found, 1);
        EXPECT_EQ(outcome.result.failure, SocketConnector::Failure::None);
        EXPECT_FALSE(connector.Running());
        ASSERT_TRUE(server.takeClient());
        server.send("$F\r\n");
        char buffer[16];
        int error = 0;
        EXPECT_EQ(ReceiveSocket(outcome.result.socket, buffer, sizeof buffer, &error), 4);
        CloseSocket(outcome.result.socket);
    }
}

TEST(SocketConnector, ReportsTheStepThatFailedWithItsErrorNumber)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 closedPort = closed.serverPort();
    closed.close();
    testing_support::SilentPort silent;
    HeldLookUp held;

    struct Case {
        QString host;
        quint16 port;
        SocketConnector::Failure failure;
        SocketConnector::Step step;
        int found;
    };
    const Case cases[] = {
        { QStringLiteral("127.0.0.1"), closedPort, SocketConnector::Failure::Connect,
            SocketConnector::Step::Connect, 1 },
        { QStringLiteral("no-such-host.invalid"), 5000, SocketConnector::Failure::LookUp,
            SocketConnector::Step::LookUp, 0 },
        { QStringLiteral("127.0.0.1"), silent.port(), SocketConnector::Failure::TimedOut,
            SocketConnector::Step::Connect, 1 },
        { QStringLiteral("timing-server"), 5000, SocketConnector::Failure::TimedOut,
            SocketConnector::Step::LookUp, 0 },
    };
    const int before = OpenDescriptors();
    for (const Case& c : cases) {
        SocketConnector connector(
            c.host == QLatin1String("timing-server") ? held.function() : LookUpHostIPv4);
        Outcome outcome;
        QElapsedTimer timer;
        timer.start();
        StartInto(connector, outcome, c.host, c.port, 300);
        ASSERT_TRUE(WaitUntil([&] { return outcome.done == 1; }, 5000)) << c.host.toStdString();
        EXPECT_EQ(outcome.result.failure, c.failure) << c.host.toStdString();
        EXPECT_EQ(outcome.result.step, c.step) << c.host.toStdString();
        EXPECT_EQ(outcome.found, c.found) << c.host.toStdString();
        EXPECT_EQ(outcome.result.socket, kInvalidSocket);
        if (c.failure == SocketConnector::Failure::Connect) {
            EXPECT_EQ(outcome.result.error, ECONNREFUSED);
        }
        if (c.failure == SocketConnector::Failure::TimedOut) {
            EXPECT_LT(timer.elapsed(), 2000) << "the time-out bounds the whole attempt";
        }
    }
    *held.release = true;
    EXPECT_TRUE(WaitUntil([&] { return OpenDescriptors() == before; }, 2000))
        << "every abandoned attempt let go of its socket";
}

TEST(SocketConnector, CancelAndDestructionAbandonAnAttemptAtOnce)
{
    testing_support::SilentPort silent;
    HeldLookUp held;
    const int before = OpenDescriptors();
    Outcome outcome;
    {
        SocketConnector lookingUp(held.function());
        StartInto(lookingUp, outcome, QStringLiteral("timing-server"), 5000, 10000);
        ASSERT_TRUE(WaitUntil([&] { return *held.calls == 1; }));
        SocketConnector connecting;
        StartInto(connecting, outcome, QStringLiteral("127.0.0.1"), silent.port(), 10000);
        ASSERT_TRUE(WaitUntil([&] { return outcome.found == 1; }));
        QElapsedTimer timer;
        timer.start();
        connecting.Cancel();
        EXPECT_LT(timer.elapsed(), 100);
        EXPECT_FALSE(connecting.Running());
        // The look-up is still held when its connector goes.
    }
    *held.release = true;
    testing_support::RunEvents(100);
    EXPECT_EQ(outcome.done, 0) << "an abandoned attempt reports nothing";
    EXPECT_EQ(outcome.found, 1);
    EXPECT_TRUE(WaitUntil([&] { return OpenDescriptors() == before; }, 2000));
}

TEST(SocketConnector, ANewStartReplacesTheAttemptInProgress)
{
    testing_support::SilentPort silent;
    testing_support::FeedServer server;
    SocketConnector connector;
    Outcome first, second;
    StartInto(connector, first, QStringLiteral("127.0.0.1"), silent.port(), 10000);
    StartInto(connector, second, QStringLiteral("127.0.0.1"), server.port(), 3000);
    ASSERT_TRUE(WaitUntil([&] { return second.done == 1; }));
    testing_support::RunEvents(50);
    EXPECT_EQ(first.done, 0);
    EXPECT_EQ(second.result.failure, SocketConnector::Failure::None);
    CloseSocket(second.result.socket);
}
