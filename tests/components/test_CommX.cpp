#include "components/CommX.h"
#include "support/DeviceTestSupport.h"
#include "support/FakeSerialLine.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <termios.h>

using namespace platform;
using testing_support::PseudoTerminal;
using testing_support::runEvents;
using testing_support::waitUntil;

namespace {

QString message(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ECommError& e) {
        return e.message();
    }
    return QString();
}

// Port 7 is a pseudo-terminal; the component sees a serial port.
class CommXOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        setSerialPortOverrides({ { 7, pty.path() } });
        comm.setSettleDelay(0);
        comm.setPortNo(7);
        comm.setFlowCtrl(cfcNone);
        comm.OnTrans = [this](QObject*, int size) { transSizes.push_back(size); };
    }
    void TearDown() override { setSerialPortOverrides({}); }

    PseudoTerminal pty;
    TCommX comm;
    std::vector<int> transSizes;
};

// Port 3 is a fake device whose modem lines and errors the test controls.
class CommXOnFakeLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        device = ports.add(serialDevicePath(3));
        comm.setSettleDelay(0);
        comm.setPortNo(3);
        comm.OnTrans = [this](QObject*, int size) { transSizes.push_back(size); };
    }

    FakeSerialPorts ports;
    std::shared_ptr<FakeSerialDevice> device;
    TCommX comm;
    std::vector<int> transSizes;
};

} // namespace

TEST(CommX, StartsClosedWithItsDefaults)
{
    TCommX comm;
    EXPECT_EQ(comm.PortNo(), 1);
    EXPECT_EQ(comm.BitRate(), 9600);
    EXPECT_EQ(comm.CharSize(), 8);
    EXPECT_EQ(comm.ParityBit(), cpbNone);
    EXPECT_EQ(comm.StopBit(), csb1);
    EXPECT_EQ(comm.FlowCtrl(), cfcRtsCts);
    EXPECT_EQ(comm.TimeOutTrans(), 3000);
    EXPECT_EQ(comm.TimeOutReceive(), 3000);
    EXPECT_EQ(comm.BufLenTrans(), 2048);
    EXPECT_EQ(comm.BufLenReceive(), 2048);
    EXPECT_EQ(comm.Handle(), -1);
    EXPECT_EQ(comm.ReceiveCount(), 0);
    char buffer[4];
    EXPECT_EQ(comm.Read(buffer, 4), -1);
    EXPECT_FALSE(comm.SendString("x"));
    comm.Close(); // nothing happens
    EXPECT_EQ(comm.Handle(), -1);
}

TEST(CommX, AMissingPortCannotBeOpened)
{
    FakeSerialPorts ports; // holds no device at all
    TCommX comm;
    comm.setSettleDelay(0);
    EXPECT_EQ(message([&] { comm.Open(); }), QStringLiteral("ポートをオープンできませんでした"));
    EXPECT_EQ(comm.Handle(), -1);
}

TEST_F(CommXOnPty, WritesAreCutIntoChunksWithOneEventEach)
{
    comm.Open();
    QByteArray data(5000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    ASSERT_TRUE(comm.Write(data.constData(), int(data.size())));
    EXPECT_EQ(pty.receive(5000), data);
    ASSERT_TRUE(waitUntil([&] { return transSizes.size() >= 3; }));
    runEvents(20);
    EXPECT_EQ(transSizes, (std::vector<int> { 2048, 2048, 904 }));
}

TEST_F(CommXOnPty, EmptySendStringSucceedsWithoutSending)
{
    comm.Open();
    EXPECT_TRUE(comm.SendString(QByteArray()));
    EXPECT_TRUE(comm.SendString(QString()));
    runEvents(30);
    EXPECT_TRUE(transSizes.empty());
    EXPECT_TRUE(comm.SendString(QStringLiteral("8       12:34:56     \r")));
    EXPECT_EQ(pty.receive(22), QByteArray("8       12:34:56     \r"));
}

TEST_F(CommXOnPty, ReceivedBytesRaiseOnReceiveOnTheMainThread)
{
    QByteArray received;
    QThread* handlerThread = nullptr;
    comm.OnReceive = [&](QObject* sender, int size) {
        handlerThread = QThread::currentThread();
        EXPECT_EQ(sender, &comm);
        QByteArray buffer(size, '\0');
        const int n = comm.Read(buffer.data(), size);
        received.append(buffer.constData(), n);
    };
    comm.Open();
    pty.send("race 1");
    ASSERT_TRUE(waitUntil([&] { return received.size() >= 6; }));
    EXPECT_EQ(received, QByteArray("race 1"));
    EXPECT_EQ(handlerThread, QThread::currentThread());
}

TEST_F(CommXOnPty, ReadWaitsUpToItsTimeOut)
{
    comm.setTimeOutReceive(0);
    comm.Open();
    char buffer[8];
    EXPECT_EQ(comm.Read(buffer, 8), 0); // nothing has come; no waiting
    EXPECT_EQ(comm.Read(nullptr, 8), -1);
    comm.setTimeOutReceive(2000);
    QTimer::singleShot(20, [&] { pty.send("12345678"); });
    EXPECT_EQ(comm.Read(buffer, 8), 8);
    EXPECT_EQ(QByteArray(buffer, 8), QByteArray("12345678"));
}

TEST_F(CommXOnPty, BitRateIsStoredWhileClosedAndAppliedByOpen)
{
    comm.setBitRate(2400);
    EXPECT_EQ(comm.Handle(), -1);
    comm.Open();
    termios t = pty.deviceSettings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B2400));
    comm.setBitRate(9600); // applied at once while open
    t = pty.deviceSettings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(
        message([&] { comm.setBitRate(12345); }), QStringLiteral("通信速度の設定でエラーが発生しました"));
    t = pty.deviceSettings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600)) << "a refused setting leaves the port as it was";
    comm.setBitRate(4800);
    EXPECT_EQ(
        message([&] { comm.setCharSize(9); }), QStringLiteral("通信ビット数の設定でエラーが発生しました"));
}

TEST_F(CommXOnPty, FailingOpenClosesThePortAgain)
{
    comm.setBitRate(12345);
    EXPECT_EQ(message([&] { comm.Open(); }), QStringLiteral("通信速度の設定でエラーが発生しました"));
    EXPECT_EQ(comm.Handle(), -1);
    comm.setBitRate(9600);
    comm.setTimeOutTrans(-1);
    EXPECT_EQ(message([&] { comm.Open(); }), QStringLiteral("通信タイムアウト時間の設定で失敗しました"));
    comm.setTimeOutTrans(3000);
    comm.setBufLenReceive(0);
    EXPECT_EQ(message([&] { comm.Open(); }), QStringLiteral("通信用ポートのバッファを準備できませんでした"));
    comm.setBufLenReceive(2048);
    comm.Open(); // the port was released each time
    EXPECT_NE(comm.Handle(), -1);
}

TEST_F(CommXOnPty, OpeningTwiceFailsAndLeavesThePortOpen)
{
    comm.Open();
    const int handle = comm.Handle();
    EXPECT_EQ(message([&] { comm.Open(); }), QStringLiteral("ポートは、すでにオープンされています"));
    EXPECT_EQ(comm.Handle(), handle);
    EXPECT_TRUE(comm.SendString("ok"));
    EXPECT_EQ(pty.receive(2), QByteArray("ok"));
}

TEST_F(CommXOnPty, WriteAfterCloseFails)
{
    comm.Open();
    comm.Close();
    EXPECT_EQ(comm.Handle(), -1);
    EXPECT_FALSE(comm.SendString("late"));
    comm.Close();
    EXPECT_TRUE(pty.receive(4, 50).isEmpty());
}

TEST_F(CommXOnPty, FlowSettingsReachTheDevice)
{
    struct Row {
        TCommFlowCtrls flow;
        unsigned word;
        bool crtscts, ixon, ixoff;
    };
    const Row rows[] = {
        { cfcRtsCts, 0x2017, true, false, false },
        { cfcDtrDsr, 0x102B, false, false, false },
        { cfcXonXoff, 0x1313, false, true, true },
        { cfcHalfHigh, 0x0013, false, false, false },
        { cfcHalfLow, 0x1013, false, false, false },
        { cfcNone, 0x1013, false, false, false },
    };
    comm.setBufLenReceive(1000);
    comm.Open();
    for (const Row& row : rows) {
        comm.setFlowCtrl(row.flow);
        const termios t = pty.deviceSettings();
        EXPECT_EQ(bool(t.c_cflag & CRTSCTS), row.crtscts) << row.flow;
        EXPECT_EQ(bool(t.c_iflag & IXON), row.ixon) << row.flow;
        EXPECT_EQ(bool(t.c_iflag & IXOFF), row.ixoff) << row.flow;
        const LineSettings s = comm.portSettings();
        EXPECT_EQ(s.flowFlags, row.word) << row.flow;
        EXPECT_EQ(s.xonLimit, 250);
        EXPECT_EQ(s.xoffLimit, 750);
        EXPECT_EQ(s.xonChar, 0x11);
        EXPECT_EQ(s.xoffChar, 0x13);
    }
}

TEST_F(CommXOnFakeLine, AtMostThirtyTwoChunksWaitAtATime)
{
    comm.setFlowCtrl(cfcRtsCts);
    comm.setBufLenTrans(1);
    comm.setTimeOutTrans(5000);
    comm.Open();
    device->setInputLines(0); // CTS low: nothing leaves
    QByteArray data(40, 'a');
    bool timerFired = false;
    QTimer::singleShot(60, [&] { timerFired = true; });
    ASSERT_TRUE(comm.Write(data.constData(), 32));
    EXPECT_FALSE(timerFired) << "32 chunks are queued without waiting";

    bool returned = false;
    bool blockedAtTimer = false;
    QTimer::singleShot(120, [&] {
        blockedAtTimer = !returned && device->sent().isEmpty();
        device->setInputLines(kLineCts);
    });
    EXPECT_TRUE(comm.Write(data.constData(), 8));
    returned = true;
    EXPECT_TRUE(blockedAtTimer) << "the 33rd chunk waits until one has gone";
    EXPECT_TRUE(device->waitForSent(40, 3000));
    ASSERT_TRUE(waitUntil([&] { return transSizes.size() == 40; }));
}

TEST_F(CommXOnFakeLine, AWriteHeldByCtsGivesUpAfterTimeOutTrans)
{
    comm.setTimeOutTrans(100);
    comm.Open();
    device->setInputLines(0);
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(comm.SendString("8       12:00:00     \r"));
    ASSERT_TRUE(waitUntil([&] { return transSizes.size() == 1; }, 3000)) << "the chunk is never written";
    EXPECT_LT(timer.elapsed(), 2500);
    EXPECT_TRUE(device->sent().isEmpty());
    EXPECT_TRUE(device->history().contains(QStringLiteral("write timed out")));
    // The link goes on once CTS comes back.
    device->setInputLines(kLineCts);
    ASSERT_TRUE(comm.SendString("next"));
    EXPECT_TRUE(device->waitForSent(4, 3000));
}

TEST_F(CommXOnFakeLine, CloseEndsAndJoinsBothThreads)
{
    comm.setTimeOutTrans(60000);
    comm.Open();
    device->setInputLines(0);
    QByteArray data(3 * 2048, 'z');
    ASSERT_TRUE(comm.Write(data.constData(), int(data.size())));
    runEvents(20);
    QElapsedTimer timer;
    timer.start();
    comm.Close();
    EXPECT_LT(timer.elapsed(), 3000) << "Close waits for a stuck write";
    // The port is released only after both threads have ended, and nothing happens on it later.
    EXPECT_FALSE(device->isOpen());
    const QStringList history = device->history();
    EXPECT_EQ(history.last(), QStringLiteral("close"));
    const int waits = device->waitCount();
    const size_t events = transSizes.size();
    runEvents(100);
    EXPECT_EQ(device->history(), history);
    EXPECT_EQ(device->waitCount(), waits);
    EXPECT_EQ(transSizes.size(), events) << "no event of the closed port arrives";
}

TEST_F(CommXOnFakeLine, EventsOfAClosedPortDoNotReachTheReopenedOne)
{
    comm.Open();
    ASSERT_TRUE(comm.SendString("before"));
    ASSERT_TRUE(device->waitForSent(6, 3000));
    comm.Close(); // the chunk's event is still queued for the main thread
    comm.Open();
    runEvents(50);
    EXPECT_TRUE(transSizes.empty());
    ASSERT_TRUE(comm.SendString("after"));
    ASSERT_TRUE(waitUntil([&] { return transSizes.size() == 1; }));
    EXPECT_EQ(transSizes.front(), 5);
}

TEST_F(CommXOnFakeLine, WriteFailsWhenThePortClosesBeforeAllChunksAreQueued)
{
    comm.setFlowCtrl(cfcRtsCts);
    comm.setBufLenTrans(1);
    comm.setTimeOutTrans(5000);
    comm.Open();
    device->setInputLines(0);
    QTimer::singleShot(50, [&] { comm.Close(); });
    QByteArray data(40, 'a');
    EXPECT_FALSE(comm.Write(data.constData(), int(data.size())));
    EXPECT_EQ(comm.Handle(), -1);
}

TEST_F(CommXOnFakeLine, RtsAndDtrSwitchAtOnceAndDropOnClose)
{
    comm.setFlowCtrl(cfcNone);
    comm.Open();
    EXPECT_EQ(device->outputLines(), kLineRts | kLineDtr);
    comm.SetRTS(false);
    EXPECT_EQ(device->outputLines(), kLineDtr);
    comm.SetDTR(false);
    comm.SetRTS(true);
    EXPECT_EQ(device->outputLines(), kLineRts);
    comm.Close();
    EXPECT_EQ(device->outputLines(), 0u);
    comm.SetRTS(true); // closed: nothing
    EXPECT_EQ(device->outputLines(), 0u);
}

TEST_F(CommXOnFakeLine, HalfDuplexFramesEachBurstWithOneRtsPulse)
{
    comm.setFlowCtrl(cfcHalfHigh);
    comm.Open();
    EXPECT_EQ(device->outputLines(), kLineDtr) << "RTS rests low";
    device->clearHistory();
    QByteArray data(5000, 'h');
    ASSERT_TRUE(comm.Write(data.constData(), int(data.size())));
    ASSERT_TRUE(waitUntil([&] { return transSizes.size() == 3 && !(device->outputLines() & kLineRts); }));
    EXPECT_EQ(device->history(), (QStringList { "RTS=1", "write 2048", "write 2048", "write 904", "RTS=0" }));

    comm.setFlowCtrl(cfcHalfLow);
    EXPECT_EQ(device->outputLines(), kLineRts | kLineDtr) << "RTS rests high";
    device->clearHistory();
    ASSERT_TRUE(comm.SendString("low"));
    ASSERT_TRUE(waitUntil([&] { return transSizes.size() == 4 && (device->outputLines() & kLineRts); }));
    EXPECT_EQ(device->history(), (QStringList { "RTS=0", "write 3", "RTS=1" }));
}

TEST_F(CommXOnFakeLine, LineErrorsAndSignalsReachTheirEvents)
{
    std::vector<int> errors, signalMasks;
    int breaks = 0;
    comm.OnError = [&](QObject*, int bits) { errors.push_back(bits); };
    comm.OnSignal = [&](QObject*, int mask) { signalMasks.push_back(mask); };
    comm.OnBreak = [&](QObject*) { ++breaks; };
    comm.Open();

    device->raiseLineErrors(kErrFraming | kErrOverrun);
    ASSERT_TRUE(waitUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors.front(), 0x0A);

    device->setInputLines(kLineCts); // DSR drops
    ASSERT_TRUE(waitUntil([&] { return !signalMasks.empty(); }));
    EXPECT_EQ(signalMasks.front() & 0x1F8, int(kEvDsr));

    device->raiseLineErrors(kErrBreak);
    ASSERT_TRUE(waitUntil([&] { return breaks == 1; }));
    runEvents(20);
    EXPECT_EQ(errors.size(), 1u) << "a break alone is no overrun, parity or framing error";
    EXPECT_EQ(signalMasks.size(), 1u) << "a break alone raises no OnSignal";
}

TEST_F(CommXOnFakeLine, AThrowingHandlerDoesNotStopLaterEvents)
{
    testing_support::ScriptedAsker asker; // the application's error box
    int receives = 0;
    comm.OnReceive = [&](QObject*, int) {
        if (++receives == 1)
            throw std::runtime_error("受信エラー");
    };
    comm.Open();
    device->feed("a");
    ASSERT_TRUE(waitUntil([&] { return receives == 1; }));
    device->feed("b");
    EXPECT_TRUE(waitUntil([&] { return receives == 2; })) << "the receive thread still delivers";
    EXPECT_EQ(asker.errors(), QStringList { QStringLiteral("受信エラー") });
}

TEST_F(CommXOnFakeLine, SettingPortNoWhileOpenMovesToTheOtherPort)
{
    auto other = ports.add(serialDevicePath(4));
    comm.Open();
    comm.setPortNo(4);
    EXPECT_FALSE(device->isOpen());
    EXPECT_TRUE(other->isOpen());
    ASSERT_TRUE(comm.SendString("4"));
    EXPECT_TRUE(other->waitForSent(1, 3000));
}

TEST_F(CommXOnFakeLine, DestroyingAnOpenComponentReleasesThePort)
{
    auto owned = std::make_unique<TCommX>();
    owned->setSettleDelay(0);
    owned->setPortNo(3);
    owned->Open();
    ASSERT_TRUE(owned->SendString("bye"));
    owned.reset();
    EXPECT_FALSE(device->isOpen());
    runEvents(20);
}

TEST(CommX, ExceptionsCarryTheirJapaneseText)
{
    const ECommError e(QStringLiteral("ポートをオープンできませんでした"));
    EXPECT_STREQ(e.what(), "ポートをオープンできませんでした");
}
