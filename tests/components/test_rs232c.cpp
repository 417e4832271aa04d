#include "components/rs232c.h"
#include "support/DeviceTestSupport.h"
#include "support/FakeSerialLine.h"
#include "support/TestSupport.h"

#include <QThread>
#include <gtest/gtest.h>

using namespace platform;
using testing_support::runEvents;
using testing_support::waitUntil;

namespace {

class Rs232cOnFakeLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        device = ports.add(serialDevicePath(2));
        port.portname = QStringLiteral("COM2");
    }

    FakeSerialPorts ports;
    std::shared_ptr<FakeSerialDevice> device;
    Trs232c port;
};

} // namespace

TEST(Rs232c, StartsWithItsDefaults)
{
    bool created = false;
    Trs232c port(nullptr, [&](QObject*) { created = true; });
    EXPECT_TRUE(created);
    EXPECT_EQ(port.charbit, 8);
    EXPECT_EQ(port.stopbit, QStringLiteral("1"));
    EXPECT_EQ(port.bps, 9600);
    EXPECT_EQ(port.portname, QStringLiteral("COM1"));
    EXPECT_EQ(port.rxbuffsize, 1024);
    EXPECT_EQ(port.txbuffsize, 1024);
    EXPECT_EQ(port.readinterval, 0);
    EXPECT_EQ(port.txtimeout, 30000);
    EXPECT_EQ(port.rxtimeout, 30000);
    EXPECT_EQ(port.paritymode, QStringLiteral("無し"));
    EXPECT_EQ(port.flowflag, 1);
    EXPECT_EQ(port.packetsize, 0);
    EXPECT_EQ(port.flow(), rsflowset(dfBinary));
    EXPECT_FALSE(port.debug);
    EXPECT_EQ(port.XonChar, 0x11);
    EXPECT_EQ(port.XoffChar, 0x13);
    EXPECT_FALSE(port.SetRTS(true)) << "closed";
    EXPECT_FALSE(port.Close()) << "not open";
}

TEST(Rs232c, FlowIsTheFlagWordAsASet)
{
    Trs232c port;
    port.setflow(dfBinary | dfOutxCtsFlow | dfRtsControl_b1);
    EXPECT_EQ(port.flowflag, 0x2005);
    port.flowflag = 0x1013;
    EXPECT_EQ(port.flow(), dfBinary | dfParity | dfDtrControl_b0 | dfRtsControl_b0);
    EXPECT_TRUE(port.flow().testFlag(dfDtrControl_b0));
}

TEST(Rs232c, AMissingPortFailsQuietlyUnlessDebugging)
{
    FakeSerialPorts ports;
    testing_support::ScriptedAsker asker;
    Trs232c port;
    port.portname = QStringLiteral("COM9");
    EXPECT_FALSE(port.Open());
    EXPECT_TRUE(asker.messages().isEmpty());
    port.debug = true;
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(asker.messages(), QStringList { QStringLiteral("回線オープンエラー") });
}

TEST_F(Rs232cOnFakeLine, BothLinesAreLowRightAfterOpen)
{
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(device->outputLines(), 0u);
    // Linux raised them as the port opened; they are dropped before anything else is done.
    const QStringList history = device->history();
    ASSERT_GE(history.size(), 5);
    EXPECT_EQ(history.mid(0, 5), (QStringList { "open", "RTS=1", "DTR=1", "RTS=0", "DTR=0" }));
    EXPECT_EQ(history.size(), 5) << "nothing raises them again";
}

TEST_F(Rs232cOnFakeLine, RtsAndDtrSwitchIndependently)
{
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.SetRTS(true));
    EXPECT_EQ(device->outputLines(), kLineRts);
    EXPECT_TRUE(port.SetDTR(true));
    EXPECT_EQ(device->outputLines(), kLineRts | kLineDtr);
    EXPECT_TRUE(port.SetRTS(false));
    EXPECT_EQ(device->outputLines(), kLineDtr);
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.SetDTR(false));
    EXPECT_FALSE(device->isOpen());
}

TEST_F(Rs232cOnFakeLine, OpeningTwiceChangesNothing)
{
    ASSERT_TRUE(port.Open());
    port.SetRTS(true);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(device->openCount(), 1);
    EXPECT_EQ(device->outputLines(), kLineRts);
}

TEST_F(Rs232cOnFakeLine, ParityAndStopBitWordsConfigureThePort)
{
    port.paritymode = QStringLiteral("ＥＶＥＮ");
    port.stopbit = QStringLiteral("1.5");
    port.bps = 2400;
    port.charbit = 7;
    ASSERT_TRUE(port.Open());
    LineSettings s = device->settings();
    EXPECT_EQ(s.parity, Parity::Even);
    EXPECT_EQ(s.stopBits, StopBits::OnePointFive);
    EXPECT_EQ(s.bitRate, 2400);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.flowFlags, 1u);
    port.Close();

    // Words the port does not know leave what it had.
    port.paritymode = QStringLiteral("Even");
    port.stopbit = QStringLiteral("3");
    ASSERT_TRUE(port.Open());
    s = device->settings();
    EXPECT_EQ(s.parity, Parity::Even);
    EXPECT_EQ(s.stopBits, StopBits::OnePointFive);
    port.Close();

    const std::pair<const char*, Parity> words[] = {
        { "なし", Parity::None },
        { "きすう", Parity::Odd },
        { "ｏｄｄ", Parity::Odd },
        { "偶数", Parity::Even },
        { "ＭＡＲＫ", Parity::Mark },
        { "すぺーす", Parity::Space },
    };
    for (const auto& [word, parity] : words) {
        port.paritymode = QString::fromUtf8(word);
        ASSERT_TRUE(port.Open());
        EXPECT_EQ(device->settings().parity, parity) << word;
        port.Close();
    }
}

TEST_F(Rs232cOnFakeLine, ASettingThePortRefusesClosesItAgain)
{
    testing_support::ScriptedAsker asker;
    port.debug = true;
    port.rxbuffsize = 0;
    EXPECT_FALSE(port.Open());
    port.rxbuffsize = 1024;
    port.bps = 0;
    EXPECT_FALSE(port.Open());
    port.bps = 9600;
    port.txtimeout = -1;
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(asker.messages(),
        (QStringList { "バッファサイズ設定エラー", "通信条件設定エラー", "タイムアウト時間設定エラー" }));
    EXPECT_FALSE(device->isOpen());
    port.txtimeout = 30000;
    EXPECT_TRUE(port.Open());
}

TEST_F(Rs232cOnFakeLine, WithoutHandlersNoEventThreadRuns)
{
    ASSERT_TRUE(port.Open());
    device->setInputLines(0);
    device->feed("x");
    runEvents(30);
    EXPECT_EQ(device->waitCount(), 0);
    EXPECT_TRUE(port.Close());
}

TEST_F(Rs232cOnFakeLine, PortEventsRaiseTheirHandlersOnTheMainThread)
{
    int cts = 0, dsr = 0, err = 0, brk = 0;
    QThread* handlerThread = nullptr;
    port.OnCTS = [&](QObject* sender) {
        EXPECT_EQ(sender, &port);
        handlerThread = QThread::currentThread();
        ++cts;
    };
    port.OnDSR = [&](QObject*) { ++dsr; };
    port.OnERR = [&](QObject*) { ++err; };
    port.OnBREAK = [&](QObject*) { ++brk; };
    int opened = 0, closed = 0;
    port.OnOpen = [&](QObject*) { ++opened; };
    port.OnClose = [&](QObject*) { ++closed; };
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(opened, 1);
    device->setInputLines(kLineDsr); // CTS drops
    ASSERT_TRUE(waitUntil([&] { return cts == 1; }));
    EXPECT_EQ(handlerThread, QThread::currentThread());
    EXPECT_EQ(dsr, 0);
    device->raiseLineErrors(kErrParity | kErrBreak);
    ASSERT_TRUE(waitUntil([&] { return err == 1 && brk == 1; }));
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(closed, 1);
    const int waits = device->waitCount();
    device->setInputLines(kLineCts);
    runEvents(30);
    EXPECT_EQ(cts, 1) << "the event thread ended with Close";
    EXPECT_EQ(device->waitCount(), waits);
}

TEST_F(Rs232cOnFakeLine, PacketSizeRaisesOnPacketOnceEnoughHasCome)
{
    int packets = 0, chars = 0;
    port.packetsize = 4;
    port.OnPACKET = [&](QObject*) { ++packets; };
    port.OnRXCHAR = [&](QObject*) { ++chars; };
    ASSERT_TRUE(port.Open());
    device->feed("abc");
    ASSERT_TRUE(waitUntil([&] { return chars == 1; }));
    EXPECT_EQ(packets, 0);
    device->feed("d");
    ASSERT_TRUE(waitUntil([&] { return packets == 1 && chars == 2; }));
}

TEST(Rs232c, OpensAPseudoTerminalAlthoughItHasNoModemLines)
{
    testing_support::PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    Trs232c port;
    port.portname = pty.path();
    ASSERT_TRUE(port.Open());
    EXPECT_FALSE(port.SetRTS(true)) << "a pseudo-terminal refuses modem-line calls";
    EXPECT_TRUE(port.Close());
}

// A real port, when one is named: TAVO_TEST_SERIAL=/dev/ttyUSB0.
TEST(Rs232c, RealPortSwitchesItsLines)
{
    const QString device = qEnvironmentVariable("TAVO_TEST_SERIAL");
    if (device.isEmpty())
        GTEST_SKIP() << "no real serial port: set TAVO_TEST_SERIAL to a serial device (/dev/ttyUSB0) to run";
    Trs232c port;
    port.portname = device;
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.SetRTS(true));
    EXPECT_TRUE(port.SetDTR(true));
    EXPECT_TRUE(port.SetRTS(false));
    EXPECT_TRUE(port.SetDTR(false));
    EXPECT_TRUE(port.Close());
}
