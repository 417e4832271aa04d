#include "components/RcvThd.h"
#include "support/DeviceTestSupport.h"
#include "support/TestSupport.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/socket.h>

using platform::SocketHandle;
using testing_support::runEvents;
using testing_support::waitUntil;

namespace {

struct Result {
    QByteArray data;
    int error;
    bool onMainThread;
};

// A timing server on the loop-back address with one connected client socket of ours.
class RecvThdTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        int error = 0;
        socket = platform::createStreamSocket(&error);
        ASSERT_NE(socket, platform::kInvalidSocket);
        ASSERT_EQ(platform::connectSocket(socket, htonl(INADDR_LOOPBACK), server.serverPort()), 0);
        ASSERT_TRUE(server.waitForNewConnection(3000));
        peer = server.nextPendingConnection();
        ASSERT_NE(peer, nullptr);
    }
    void TearDown() override { platform::closeSocket(socket); }

    // Starts one receive whose result is appended to results.
    void startReceive()
    {
        new TRecvThd(socket, [this](TRecvThd* Sender) {
            results.push_back({ Sender->Data, Sender->ErrorCode, QThread::currentThread() == thread() });
            finished.push_back(Sender);
        });
    }
    QThread* thread() const { return server.thread(); }

    QTcpServer server;
    QTcpSocket* peer = nullptr;
    SocketHandle socket = platform::kInvalidSocket;
    std::vector<Result> results;
    std::vector<QPointer<TRecvThd>> finished;
};

} // namespace

TEST_F(RecvThdTest, ReceivesOneBlockAndHandsItToTheMainThread)
{
    startReceive();
    peer->write("1F,\"00:01:23.4\",\"x\"\r\n");
    peer->flush();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));
    EXPECT_EQ(results[0].data, QByteArray("1F,\"00:01:23.4\",\"x\"\r\n"));
    EXPECT_EQ(results[0].error, 0);
    EXPECT_TRUE(results[0].onMainThread);
    // The thread object frees itself after its handler.
    ASSERT_TRUE(waitUntil([&] { return finished[0].isNull(); }, 1000));
}

TEST_F(RecvThdTest, PeerCloseGivesOneEmptyResultWithoutError)
{
    startReceive();
    peer->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));
    runEvents(30);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].data.isEmpty());
    EXPECT_EQ(results[0].error, 0);
}

TEST_F(RecvThdTest, ALargeMessageArrivesInSeveralReceives)
{
    QByteArray message(10000, '\0');
    for (int i = 0; i < message.size(); ++i)
        message[i] = char('A' + i % 26);
    peer->write(message);
    peer->flush();
    QByteArray received;
    while (received.size() < message.size()) {
        const size_t before = results.size();
        startReceive();
        ASSERT_TRUE(waitUntil([&] { return results.size() > before; }));
        ASSERT_FALSE(results.back().data.isEmpty());
        EXPECT_LE(results.back().data.size(), TRecvThd::kReceiveSize);
        received += results.back().data;
    }
    EXPECT_EQ(received, message);
    EXPECT_GE(results.size(), 2u);
}

TEST_F(RecvThdTest, ClosingTheSocketEndsAWaitingReceive)
{
    startReceive();
    runEvents(30);
    EXPECT_TRUE(results.empty());
    platform::closeSocket(socket);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }, 3000));
    EXPECT_TRUE(results[0].data.isEmpty());
    EXPECT_EQ(results[0].error, 0);
}

TEST_F(RecvThdTest, AResetConnectionReportsItsErrorNumber)
{
    // Closing with a zero linger time resets the connection instead of closing it.
    linger reset { 1, 0 };
    ASSERT_EQ(::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset), 0);
    peer->abort();
    startReceive();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));
    EXPECT_TRUE(results[0].data.isEmpty());
    EXPECT_EQ(results[0].error, ECONNRESET);
}

TEST_F(RecvThdTest, AThrowingHandlerStillFreesTheThread)
{
    testing_support::ScriptedAsker asker; // the application's error box
    QPointer<TRecvThd> receiver = new TRecvThd(socket, [](TRecvThd*) { throw std::runtime_error("切断"); });
    peer->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return !asker.errors().isEmpty(); }));
    EXPECT_TRUE(waitUntil([&] { return receiver.isNull(); }, 1000));
}
