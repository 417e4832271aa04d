// The race console's timing-server link: the settings page's controls, what received lines lead
// to (memo, log, board), and the link across closing and reopening the console.

#include "ConsoleFixture.h"
#include "components/CuteBtn.h"
#include "components/LED7Seg.h"
#include "console/ConsoleWidgets.h"
#include "console/CountdownEngine.h"
#include "console/TimeServerLink.h"
#include "support/SocketTestSupport.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <cerrno>
#include <cstring>
#include <random>

using testing_support::ConsoleFixture;
using testing_support::FeedServer;
using testing_support::readFileBytes;
using testing_support::runEvents;
using testing_support::waitUntil;

namespace {

// A run of the race-monitor feed a timing system sends: every line kind, one time line a second,
// CR LF after each. The time to go counts down from raceSeconds.
struct Feed {
    QByteArrayList lines;
    QByteArrayList board; // what the board must show for the time lines, in order
};

Feed recordedShapeFeed(int raceSeconds)
{
    Feed feed;
    auto clock
        = [](int s) { return QString::asprintf("%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60).toLatin1(); };
    for (int s = 0; s <= raceSeconds; ++s) {
        const int toGo = raceSeconds - s;
        if (s % 60 == 0) {
            feed.lines << "$I,\"" + clock(36000 + s) + ".000\",\"09 mar 24\""
                       << "$E,\"TRACKNAME\",\"Tavo Circuit\""
                       << "$B,5,\"Heat 1\""
                       << "$C,1,\"Formula 300\""
                       << "$A,\"1234BE\",\"12X\",52474,\"John\",\"Johnson\",\"USA\",1"
                       << "$COMP,\"1234BE\",\"12X\",1,\"John\",\"Johnson\",\"USA\",\"CAMEL\"";
        }
        feed.lines << "$F," + QByteArray::number(9999) + ",\"" + clock(toGo) + "\",\"" + clock(36000 + s)
                + "\",\"" + clock(s) + "\",\"Green \"";
        feed.lines << "$G," + QByteArray::number(1 + s % 3) + ",\"1234BE\"," + QByteArray::number(s / 40)
                + ",\"" + clock(s) + ".872\"";
        feed.lines << "$H,2,\"1234BE\",3,\"00:00:41.872\""
                   << "$J,\"1234BE\",\"00:00:41.826\",\"" + clock(s) + ".672\"";
        // The race field: R, blanks and the time without leading zeros, eight characters.
        const QByteArray time = toGo >= 3600
            ? QString::asprintf("%d:%02d:%02d", toGo / 3600, toGo / 60 % 60, toGo % 60).toLatin1()
            : QString::asprintf("%d:%02d", toGo / 60, toGo % 60).toLatin1();
        feed.board << "8       R" + QByteArray(7 - time.size(), ' ') + time + "     \r";
    }
    return feed;
}

class UtaikaiLink : public ConsoleFixture {
protected:
    // Connects the console's link with the settings page's controls.
    void connectConsole(console::TFtaikai& f)
    {
        f.Edit9->setText(QStringLiteral("127.0.0.1"));
        f.Edit10->setText(server.portText());
        f.Button2->click();
        ASSERT_TRUE(waitUntil([&] { return f.link().state() == console::LinkState::Connected; }));
        ASSERT_TRUE(server.takeClient());
    }
    QByteArray logBytes() const { return readFileBytes(home.file(QStringLiteral("TCPDATA.txt"))); }

    FeedServer server;
};

} // namespace

TEST_F(UtaikaiLink, ALongFeedIsShownLoggedAndDrivesTheBoardWhileTheNetworkHasIt)
{
    auto f = Open();
    connectConsole(*f);
    EXPECT_EQ(TimeServerAddress, "127.0.0.1");
    EXPECT_EQ(TimeServerPort, server.portText());
    EXPECT_EQ(f->Button2->text(), "切断");
    EXPECT_TRUE(f->Button1->isEnabled());
    EXPECT_EQ(f->Panel17->Caption(), "接続しました");
    f->PageControl1->setCurrentWidget(f->TabSheet5);
    testing_support::saveGrab(f.get(), QStringLiteral("console_link_connected"));

    server.send("$F,14,\"00:12:45\",\"13:34:23\",\"00:09:47\",\"Green \"\r\n");
    ASSERT_TRUE(waitUntil([&] { return f->Memo2->blockCount() >= 1 && !logBytes().isEmpty(); }));
    EXPECT_TRUE(board.sent.isEmpty()) << "the board's race line is the console's own";

    BoardFromNetwork = 1;
    const Feed feed = recordedShapeFeed(700);
    const QByteArray stream = feed.lines.join("\r\n") + "\r\n";
    std::mt19937 random(16);
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype size = std::uniform_int_distribution<qsizetype>(1, 900)(random);
        server.send(stream.mid(at, size));
        at += size;
    }
    ASSERT_TRUE(waitUntil([&] { return board.sent.size() == feed.board.size(); }, 10000));
    EXPECT_EQ(board.sent, feed.board);
    EXPECT_EQ(logBytes(), "$F,14,\"00:12:45\",\"13:34:23\",\"00:09:47\",\"Green \"\r\n" + stream);
    EXPECT_EQ(f->Memo2->blockCount(), 200) << "the memo keeps the latest lines only";
    EXPECT_EQ(f->Memo2->toPlainText().split('\n').last(), QString::fromLatin1(feed.lines.last()));
    EXPECT_TRUE(f->StatusLine->text().isEmpty()) << f->StatusLine->text().toStdString();
    f->PageControl1->setCurrentWidget(f->TabSheet1);
    testing_support::saveGrab(f.get(), QStringLiteral("console_link_memo"));

    // While the warm-up runs, a time within the blind seconds shows blank: here a warm-up started
    // and paused at once, with the board's race line handed to the network again after the reset.
    asker.answer(true);
    f->CuteButton5->Click();
    f->CuteButton1->Click();
    f->CuteButton2->Click();
    ASSERT_EQ(f->engine().StateWarm(), console::PhaseState::On);
    BoardFromNetwork = 1;
    server.send("$F,1,\"00:00:03\",\"x\"\r\n$F,1,\"00:00:04\",\"x\"\r\n");
    ASSERT_TRUE(waitUntil([&] { return board.sent.size() == feed.board.size() + 2; }));
    EXPECT_EQ(board.sent.mid(feed.board.size()),
        QByteArrayList({ "8                    \r", "8       R   0:04     \r" }));
    f->close();
}

TEST_F(UtaikaiLink, FailuresWhileHandlingLinesShowInTheStatusLineAndTheLinkGoesOn)
{
    auto f = Open();
    connectConsole(*f);
    BoardFromNetwork = 1;
    server.send("$F,1,\"Green\",\"13:34:23\"\r\n");
    ASSERT_TRUE(waitUntil([&] { return f->Memo2->blockCount() == 1 && !f->StatusLine->text().isEmpty(); }));
    EXPECT_EQ(f->StatusLine->text(), "サーバの時刻を読めません: Green");
    EXPECT_TRUE(board.sent.isEmpty());

    // A disk that fills: the first line that does not fit, of which a part went, gives the
    // system's reason as the next one does, not Qt's "Unknown error".
    const QString said = testing_support::inChildWithFileSizeLimit(logBytes().size() + 8, [&] {
        BoardFromNetwork = 0;
        QStringList lines;
        for (int i = 0; i < 2; ++i) {
            f->timeServerLineReceived("$F,1,\"00:00:09\",\"13:34:23\"");
            lines << f->StatusLine->text();
        }
        return lines.join(u'\n');
    });
    const QString tooLarge
        = QStringLiteral("TCPDATA.txt に書き込めません: ") + QString::fromLocal8Bit(std::strerror(EFBIG));
    EXPECT_EQ(said, tooLarge + u'\n' + tooLarge);

    f->TcpLogFile.close(); // as a disk that fails
    server.send("$F,1,\"00:00:09\",\"13:34:23\"\r\n");
    ASSERT_TRUE(waitUntil([&] { return board.sent.size() == 1; }));
    EXPECT_EQ(board.sent[0], "8       R   0:09     \r");
    EXPECT_TRUE(f->StatusLine->text().startsWith(QStringLiteral("TCPDATA.txt に書き込めません")));
    EXPECT_EQ(f->Memo2->blockCount(), 2);
    EXPECT_EQ(f->Panel17->Caption(), "接続しました");
    f->close();

    // A log that cannot even be opened (a folder in its place) gives the system's reason too.
    QFile::remove(home.file(QStringLiteral("TCPDATA.txt")));
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("TCPDATA.txt")));
    auto g = Open();
    g->timeServerLineReceived("$F,1,\"00:00:09\",\"13:34:23\"");
    EXPECT_EQ(g->StatusLine->text(),
        QStringLiteral("TCPDATA.txt に書き込めません: ") + QString::fromLocal8Bit(std::strerror(EISDIR)));
    g->close();
}

TEST_F(UtaikaiLink, ConnectingLeavesTheCountDownRunningAndCanBeCancelledOrTimeOut)
{
    testing_support::SilentPort silent;
    auto f = Open();
    f->RGgaz->setItemIndex(0);
    f->link().setConnectTimeoutMs(2000);
    asker.answer(true);
    f->CuteButton5->Click(); // reset, then start the warm-up
    f->CuteButton1->Click();
    // Simulated time runs on while the real Tm1 ticks the count-down.
    QTimer time;
    QObject::connect(&time, &QTimer::timeout, [&] { clock.advanceMs(100); });
    time.start(20);
    f->Edit9->setText(QStringLiteral("127.0.0.1"));
    f->Edit10->setText(silent.portText());
    f->Button2->click();
    EXPECT_EQ(f->Button2->text(), "中止");
    EXPECT_FALSE(f->Button1->isEnabled());
    const qsizetype before = board.sent.size();
    runEvents(1000);
    EXPECT_GE(board.sent.size() - before, 2) << "the warm-up kept sending its board lines";
    EXPECT_EQ(f->engine().StateWarm(), console::PhaseState::On);
    EXPECT_EQ(f->SegWarm[2]->Value(), 4) << "the warm-up of 5:00 has counted down";
    EXPECT_EQ(f->Panel17->Caption(), "サーバを見つけました 接続します");
    f->Button2->click();
    EXPECT_EQ(f->Panel17->Caption(), "接続を中止しました");
    EXPECT_EQ(f->Button2->text(), "接続");

    f->Button2->click();
    ASSERT_TRUE(waitUntil([&] { return f->Button2->text() == QStringLiteral("接続"); }, 5000));
    EXPECT_EQ(f->Panel17->Caption(), "接続のエラーです タイムアウトしました (2秒)");
    EXPECT_EQ(TimeServerConnected, 0);
    EXPECT_TRUE(f->Tm1.isActive());
    f->close();
}

TEST_F(UtaikaiLink, ClosingTheConsoleEndsTheLinkAndAReopenedConsoleConnectsAfresh)
{
    auto f = Open();
    connectConsole(*f);
    BoardFromNetwork = 1;
    server.send("$B,5,\"Heat 1\"\r\n$F,9,\"00:0"); // the console closes before the line is whole
    ASSERT_TRUE(waitUntil([&] { return !logBytes().isEmpty(); }));
    const int boardLines = int(board.sent.size());
    f->CuteButton13->Click();
    EXPECT_EQ(logBytes(), "$B,5,\"Heat 1\"\r\n$F,9,\"00:0\r\n") << "the piece is logged";
    EXPECT_TRUE(f->Memo2->toPlainText().endsWith("\n$F,9,\"00:0")) << "and shown";
    EXPECT_FALSE(board.sent.mid(boardLines).join().contains("R")) << "a link that is gone drives no board";
    EXPECT_EQ(TimeServerConnected, 0);
    EXPECT_EQ(BoardFromNetwork, 0) << "the next event's race keeps its board";
    EXPECT_FALSE(f->TcpLogFile.isOpen());
    EXPECT_EQ(f->Panel17->Caption(), "切断しました");
    EXPECT_EQ(f->Button2->text(), "接続");
    EXPECT_TRUE(waitUntil([&] { return server.clientGone(); }));
    f.reset();
    runEvents(50);

    auto again = Open();
    EXPECT_EQ(logBytes(), QByteArray());
    connectConsole(*again);
    server.send("$B,6,\"Heat 2\"\r\n");
    ASSERT_TRUE(waitUntil([&] { return !logBytes().isEmpty(); }));
    EXPECT_EQ(logBytes(), "$B,6,\"Heat 2\"\r\n");
    EXPECT_EQ(TimeServerConnected, 1);
    again->close();
    EXPECT_EQ(TimeServerConnected, 0);
}
