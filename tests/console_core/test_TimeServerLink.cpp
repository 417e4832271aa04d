// The timing-server link against servers of the test's own on the loop-back address.

#include "app/uComm.h"
#include "console/TimeServerLink.h"
#include "support/SocketTestSupport.h"

#include <QElapsedTimer>
#include <QTimer>
#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>
#include <stdexcept>

using console::LinkState;
using console::TimeServerLink;
using testing_support::FeedServer;
using testing_support::runEvents;
using testing_support::waitUntil;

namespace {

const QString kHost = QStringLiteral("127.0.0.1");

class TimeServerLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TimeServerConnected = 0;
        BoardFromNetwork = 0;
    }

    TimeServerLink::Handlers recording()
    {
        TimeServerLink::Handlers h;
        h.status = [this](const QString& text) { statuses << text; };
        h.stateChanged = [this](LinkState state) { states.push_back(state); };
        h.line = [this](const QByteArray& line) {
            if (line == "boom")
                throw std::runtime_error("boom");
            lines << line;
        };
        h.problem = [this](const QString& text) { problems << text; };
        return h;
    }

    // Connects the link to the feed server and takes the client there.
    void connectTo(TimeServerLink& link, FeedServer& server)
    {
        link.Button2Click(kHost, server.portText());
        ASSERT_TRUE(waitUntil([&] { return link.state() == LinkState::Connected; }));
        ASSERT_TRUE(server.takeClient());
    }

    QStringList statuses, problems;
    std::vector<LinkState> states;
    QByteArrayList lines;
    FeedServer server;
};

} // namespace

TEST_F(TimeServerLinkTest, ConnectsReceivesLinesAndDisconnects)
{
    TimeServerLink link(recording());
    connectTo(link, server);
    EXPECT_EQ(
        statuses, QStringList({ "サーバ検索中...", "サーバを見つけました 接続します", "接続しました" }));
    EXPECT_EQ(states, std::vector({ LinkState::Connecting, LinkState::Connected }));
    EXPECT_EQ(TimeServerConnected, 1);
    EXPECT_NE(link.TimeServerSocket(), platform::kInvalidSocket);

    server.send("$F,14,\"00:1"); // split inside the quoted time
    server.send("2:45\",\"13:34:23\"\r\n$B,5,\"Heat 1\"\r\n$I"); // two lines and a half in one read
    ASSERT_TRUE(waitUntil([&] { return lines.size() == 2; }));
    server.send(",\"16:36:08.000\",\"12 jan 01\"\r\n$J,\"12"); // a line and a piece
    ASSERT_TRUE(waitUntil([&] { return lines.size() == 3; }));
    EXPECT_EQ(lines,
        QByteArrayList(
            { "$F,14,\"00:12:45\",\"13:34:23\"", "$B,5,\"Heat 1\"", "$I,\"16:36:08.000\",\"12 jan 01\"" }));

    BoardFromNetwork = 1;
    link.Button2Click(kHost, server.portText());
    EXPECT_EQ(lines.mid(3), QByteArrayList({ "$J,\"12" })) << "the piece its CR LF never came for";
    EXPECT_EQ(statuses.last(), "切断しました");
    EXPECT_EQ(TimeServerConnected, 0);
    EXPECT_EQ(BoardFromNetwork, 0) << "the race display goes back to the console";
    EXPECT_TRUE(waitUntil([&] { return server.clientGone(); }));
    runEvents(50);
    EXPECT_EQ(statuses.last(), "切断しました") << "the receive ended by the close is nobody's";
    EXPECT_TRUE(problems.isEmpty());
}

TEST_F(TimeServerLinkTest, APortOutsideOneTo65535IsRefused)
{
    TimeServerLink link(recording());
    const std::pair<const char*, const char*> cases[]
        = { { "0", "ポートは1以上の数値です" }, { "abc", "ポートは1以上の数値です" },
              { "", "ポートは1以上の数値です" }, { "-1", "ポートは1以上の数値です" },
              { "65536", "ポートは65535以下の数値です" }, { "65537", "ポートは65535以下の数値です" } };
    for (const auto& [port, text] : cases) {
        link.Button2Click(kHost, QLatin1String(port));
        EXPECT_EQ(statuses.last(), QString::fromUtf8(text)) << port;
    }
    EXPECT_TRUE(states.empty()) << "no attempt was made";
    EXPECT_FALSE(server.takeClient(50));
}

TEST_F(TimeServerLinkTest, TheServerClosingOrResettingEndsTheLinkAndBothFlags)
{
    for (const bool reset : { false, true }) {
        statuses.clear();
        problems.clear();
        lines.clear();
        TimeServerLink link(recording());
        connectTo(link, server);
        // The last line the server sends before it goes lacks its CR LF: it still counts.
        server.send("$B,5,\"Heat 1\"\r\n$I,\"16:3");
        ASSERT_TRUE(waitUntil([&] { return lines.size() == 1; }));
        BoardFromNetwork = 1;
        reset ? server.reset() : server.close();
        ASSERT_TRUE(waitUntil([&] { return link.state() == LinkState::Disconnected; }));
        EXPECT_EQ(lines, QByteArrayList({ "$B,5,\"Heat 1\"", "$I,\"16:3" }));
        EXPECT_EQ(statuses.last(), "サーバから切断されました");
        EXPECT_EQ(TimeServerConnected, 0);
        EXPECT_EQ(BoardFromNetwork, 0);
        EXPECT_EQ(link.TimeServerSocket(), platform::kInvalidSocket);
        const QStringList said = reset ? QStringList({ "受信でエラーです Error Code 104" }) : QStringList();
        EXPECT_EQ(problems, said) << "the reset's error stays readable in the console's status line";
        EXPECT_EQ(statuses.mid(statuses.size() - 1 - said.size(), said.size()), said);
    }
}

TEST_F(TimeServerLinkTest, FailedAttemptsSayWhyAndLeaveTheLinkDown)
{
    QTcpServer refusing;
    ASSERT_TRUE(refusing.listen(QHostAddress::LocalHost));
    const QString refusedPort = QString::number(refusing.serverPort());
    refusing.close();
    const std::pair<QString, const char*> cases[] = { { kHost, "接続のエラーです Error code 111" },
        { QStringLiteral("no-such-host.invalid"), "サーバの検索エラーです Error code " } };
    for (const auto& [host, text] : cases) {
        TimeServerLink link(recording());
        link.Button2Click(host, refusedPort);
        ASSERT_TRUE(waitUntil([&] { return link.state() == LinkState::Disconnected; }, 10000));
        EXPECT_TRUE(statuses.last().startsWith(QString::fromUtf8(text))) << statuses.last().toStdString();
        EXPECT_EQ(states.back(), LinkState::Disconnected);
        EXPECT_EQ(TimeServerConnected, 0);
    }
}

// A failed look-up names the resolver's code with the resolver's description, and a system
// error number alone, so that equal numbers of either kind are not confused.
TEST_F(TimeServerLinkTest, ALookUpFailureSaysWhetherTheResolverOrTheSystemAnswered)
{
    using platform::ErrorSource;
    using platform::LookUpError;
    const std::pair<LookUpError, QString> cases[] = {
        { { EAI_NONAME, ErrorSource::Resolver },
            QStringLiteral("サーバの検索エラーです Error code %1 (%2)")
                .arg(EAI_NONAME)
                .arg(platform::resolverErrorText(EAI_NONAME)) },
        { { ENETUNREACH, ErrorSource::System }, QStringLiteral("サーバの検索エラーです Error code 101") },
    };
    for (const auto& [failure, text] : cases) {
        TimeServerLink link(recording(), [failure](const QString&, quint32*) { return failure; });
        link.Button2Click(QStringLiteral("timing-server"), server.portText());
        ASSERT_TRUE(waitUntil([&] { return link.state() == LinkState::Disconnected; }));
        EXPECT_EQ(statuses.last(), text);
    }
}

TEST_F(TimeServerLinkTest, AStalledServerLeavesTheEventLoopLiveAndDisconnectsAtOnce)
{
    TimeServerLink link(recording());
    connectTo(link, server);
    server.send("$F,14,\"00:12"); // and then nothing
    int beats = 0;
    QTimer heart;
    QObject::connect(&heart, &QTimer::timeout, [&] { ++beats; });
    heart.start(10);
    runEvents(300);
    EXPECT_GE(beats, 10);
    EXPECT_TRUE(lines.isEmpty());
    QElapsedTimer disconnect;
    disconnect.start();
    link.Button2Click(kHost, server.portText());
    EXPECT_LT(disconnect.elapsed(), 500) << "the waiting receive ends at once";
}

TEST_F(TimeServerLinkTest, GarbageOverLongLinesAndFailingHandlersDoNotEndTheLink)
{
    TimeServerLink link(recording());
    connectTo(link, server);
    server.send(QByteArray(20000, '\x7f'));
    server.send("\r\nboom\r\n\x01\xfe$F\r\n$F,1,\"00:00:09\"\r\n");
    ASSERT_TRUE(waitUntil([&] { return lines.size() == 2; }));
    EXPECT_EQ(lines, QByteArrayList({ "\x01\xfe$F", "$F,1,\"00:00:09\"" }));
    EXPECT_EQ(problems,
        QStringList(
            { "受信した行が長すぎるため捨てました (8192バイト超)", "受信データの処理でエラーです: boom" }));
    EXPECT_EQ(link.state(), LinkState::Connected);
    EXPECT_EQ(statuses.last(), "接続しました");
}

TEST_F(TimeServerLinkTest, AReconnectIsNotDisturbedByTheOldReceiveEnding)
{
    TimeServerLink link(recording());
    connectTo(link, server);
    server.send("$A,\"1234BE\",\"12X\"\r\n$COMP,\"12");
    ASSERT_TRUE(waitUntil([&] { return lines.size() == 1; }));
    // Disconnect and connect again before the old receive's end is delivered.
    link.Button2Click(kHost, server.portText());
    link.Button2Click(kHost, server.portText());
    ASSERT_TRUE(waitUntil([&] { return link.state() == LinkState::Connected; }));
    ASSERT_TRUE(server.takeClient());
    server.send("34BE\"\r\n$F,1,\"00:00:09\"\r\n");
    ASSERT_TRUE(waitUntil([&] { return lines.size() == 4; }));
    // The old connection's unfinished line ended with it, and the new one's data starts afresh.
    EXPECT_EQ(lines.mid(1, 2), QByteArrayList({ "$COMP,\"12", "34BE\"" }));
    runEvents(50);
    EXPECT_EQ(statuses.last(), "接続しました");
    EXPECT_EQ(TimeServerConnected, 1);
}

TEST_F(TimeServerLinkTest, DestroyingTheLinkEndsItWhateverItIsDoing)
{
    testing_support::SilentPort silent;
    {
        TimeServerLink connecting(recording());
        connecting.Button2Click(kHost, silent.portText());
        TimeServerLink receiving(recording());
        connectTo(receiving, server);
        BoardFromNetwork = 1;
    }
    EXPECT_EQ(TimeServerConnected, 0);
    EXPECT_EQ(BoardFromNetwork, 0);
    EXPECT_TRUE(waitUntil([&] { return server.clientGone(); }));
    runEvents(50); // late news of both find nobody
}
