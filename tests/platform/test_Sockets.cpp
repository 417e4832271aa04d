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
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace platform;

TEST(Sockets, ReadsDottedAddressesAndLooksNamesUp)
{
    quint32 address = 0;
    ASSERT_TRUE(parseIPv4(QStringLiteral("192.168.0.10"), &address));
    EXPECT_EQ(ntohl(address), 0xC0A8000Au);
    EXPECT_FALSE(parseIPv4(QStringLiteral("timing-server"), &address));
    EXPECT_FALSE(parseIPv4(QStringLiteral("192.168.0"), &address));
    ASSERT_EQ(lookUpHostIPv4(QStringLiteral("localhost"), &address).code, 0);
    EXPECT_EQ(ntohl(address) >> 24, 127u);
    // The resolver's answer keeps its own code, which errno values would overlap.
    const LookUpError unknown = lookUpHostIPv4(QStringLiteral("no-such-host.invalid"), &address);
    EXPECT_NE(unknown.code, 0);
    EXPECT_EQ(unknown.source, ErrorSource::Resolver);
    EXPECT_FALSE(resolverErrorText(unknown.code).isEmpty());
}

TEST(Sockets, ConnectToAClosedPortFailsWithItsErrorNumber)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();
    int error = 0;
    const SocketHandle s = createStreamSocket(&error);
    ASSERT_NE(s, kInvalidSocket);
    EXPECT_EQ(connectSocket(s, htonl(INADDR_LOOPBACK), port), ECONNREFUSED);
    closeSocket(s);
}

TEST(Sockets, CloseEndsAWaitingReceiveBeforeReleasingTheSocket)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    int error = 0;
    const SocketHandle s = createStreamSocket(&error);
    ASSERT_EQ(connectSocket(s, htonl(INADDR_LOOPBACK), server.serverPort()), 0);
    ASSERT_TRUE(server.waitForNewConnection(3000));

    qint64 received = -2;
    std::thread receiver([&] {
        char buffer[64];
        int e = 0;
        received = receiveSocket(s, buffer, sizeof buffer, &e);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    QElapsedTimer timer;
    timer.start();
    closeSocket(s);
    receiver.join();
    EXPECT_EQ(received, 0);
    EXPECT_LT(timer.elapsed(), 3000);
    // Released: a receive on it now fails instead of reading someone else's socket.
    char buffer[4];
    EXPECT_EQ(receiveSocket(s, buffer, sizeof buffer, &error), -1);
    EXPECT_EQ(error, EBADF);
}

namespace {
SocketHandle g_socketClosedAtExit = kInvalidSocket;
} // namespace

// The thread of a cancelled connect is detached (a look-up cannot be interrupted) and may close
// its socket while the program is ending: the sockets' bookkeeping must still be there then. The
// close below runs after every static object made since the test began has been destroyed; a
// table destroyed by then is a use after free that the address sanitizer reports.
TEST(SocketsDeathTest, ASocketClosedWhileTheProgramEndsIsStillKnown)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Registered before any socket is made, so it runs after their statics are gone.
            std::atexit([] {
                closeSocket(g_socketClosedAtExit);
                if (::fcntl(g_socketClosedAtExit, F_GETFD) != -1)
                    std::_Exit(3); // not closed: the table no longer knew it
            });
            int error = 0;
            g_socketClosedAtExit = createStreamSocket(&error);
            std::exit(g_socketClosedAtExit == kInvalidSocket ? 2 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

// A connect that runs into its time-out, is cancelled, or whose connector goes, leaves no
// socket behind and reports nothing more; a look-up that never answers is cut off too.
TEST(SocketConnector, AttemptsEndByTimeOutCancelOrDestructionWithoutTrace)
{
    testing_support::SilentPort silent;
    const int before = int(QDir(QStringLiteral("/proc/self/fd")).count());
    auto held = std::make_shared<std::atomic<bool>>(true);
    const SocketConnector::LookUpFunction hanging = [held](const QString&, quint32* address) {
        while (*held)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        *address = htonl(INADDR_LOOPBACK);
        return LookUpError {};
    };
    std::vector<SocketConnector::Result> results;
    int found = 0;
    auto start = [&](SocketConnector& c, const QString& host, int timeoutMs) {
        c.start(
            host, silent.port(), timeoutMs, [&] { ++found; },
            [&](const SocketConnector::Result& r) { results.push_back(r); });
    };
    {
        SocketConnector lookingUp(hanging), connecting, cancelled;
        start(lookingUp, QStringLiteral("timing-server"), 200);
        start(connecting, QStringLiteral("127.0.0.1"), 200);
        start(cancelled, QStringLiteral("127.0.0.1"), 10000);
        ASSERT_TRUE(testing_support::waitUntil([&] { return results.size() == 2; }));
        EXPECT_EQ(results[0].failure, SocketConnector::Failure::TimedOut);
        EXPECT_EQ(results[1].failure, SocketConnector::Failure::TimedOut);
        std::sort(results.begin(), results.end(), [](auto& a, auto& b) { return a.step < b.step; });
        EXPECT_EQ(results[0].step, SocketConnector::Step::LookUp);
        EXPECT_EQ(results[1].step, SocketConnector::Step::Connect);
        EXPECT_EQ(found, 2);
        EXPECT_TRUE(cancelled.Running());
        cancelled.Cancel();
        EXPECT_FALSE(cancelled.Running());
        start(lookingUp, QStringLiteral("timing-server"), 10000); // still looking up when it goes
    }
    *held = false;
    testing_support::runEvents(100);
    EXPECT_EQ(results.size(), 2u) << "an abandoned attempt reports nothing";
    EXPECT_TRUE(testing_support::waitUntil(
        [&] { return int(QDir(QStringLiteral("/proc/self/fd")).count()) == before; }, 2000));
}
