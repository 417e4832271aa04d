#include "platform/SerialLine.h"
#include "support/DeviceTestSupport.h"
#include "support/FakeSerialLine.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <termios.h>
#include <thread>

using namespace platform;
using testing_support::PseudoTerminal;

namespace {

LineSettings plainSettings()
{
    LineSettings s;
    s.flowFlags = 0x1013; // DTR and RTS on, no flow control
    return s;
}

class TermiosLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        line = openTermiosLine(pty.path());
        ASSERT_NE(line, nullptr);
        ASSERT_EQ(line->apply(plainSettings()), LineSettingError::None);
    }
    PseudoTerminal pty;
    std::unique_ptr<SerialLine> line;
};

} // namespace

TEST_F(TermiosLineTest, CarriesDataBothWaysUnchanged)
{
    const QByteArray out("8       R   1:23     \r\n\x11\x13\x00\xff", 27);
    EXPECT_EQ(line->write(out.constData(), out.size(), 1000), out.size());
    EXPECT_EQ(pty.receive(out.size()), out);

    pty.send(QByteArray("abc\r\x03", 5));
    char buffer[16];
    QByteArray in;
    testing_support::waitUntil([&] {
        const qint64 n = line->read(buffer, sizeof buffer, 10);
        if (n > 0)
            in.append(buffer, n);
        return in.size() >= 5;
    });
    EXPECT_EQ(in, QByteArray("abc\r\x03", 5));
}

TEST_F(TermiosLineTest, AppliesLineSettingsToTheDevice)
{
    LineSettings s = plainSettings();
    s.bitRate = 2400;
    s.dataBits = 7;
    s.parity = Parity::Even;
    s.stopBits = StopBits::Two;
    s.flowFlags = 0x2017;
    ASSERT_EQ(line->apply(s), LineSettingError::None);
    const termios t = pty.deviceSettings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B2400));
    // A pseudo-terminal always keeps 8 bits without parity; the rest reaches the device.
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_lflag & (ECHO | ICANON));
    EXPECT_EQ(line->settings(), s);
}

TEST_F(TermiosLineTest, KeepsSettingsLinuxCannotCarry)
{
    LineSettings s = plainSettings();
    s.dataBits = 8;
    s.stopBits = StopBits::OnePointFive;
    s.flowFlags = 0x102B; // DSR flow, DTR handshake
    s.xonLimit = 512;
    s.xoffLimit = 1536;
    ASSERT_EQ(line->apply(s), LineSettingError::None);
    EXPECT_EQ(line->settings(), s);
    EXPECT_TRUE(pty.deviceSettings().c_cflag & CSTOPB);
}

TEST_F(TermiosLineTest, RefusesWhatThePortCannotDo)
{
    LineSettings s = plainSettings();
    s.bitRate = 12345;
    EXPECT_EQ(line->apply(s), LineSettingError::BitRate);
    s = plainSettings();
    s.dataBits = 9;
    EXPECT_EQ(line->apply(s), LineSettingError::DataBits);
    s = plainSettings();
    s.flowFlags = flow::kOutX;
    s.xonChar = s.xoffChar = 0x11;
    EXPECT_EQ(line->apply(s), LineSettingError::Flow);
    EXPECT_EQ(line->settings(), plainSettings());
}

TEST_F(TermiosLineTest, WriteGivesUpAfterItsTimeOut)
{
    // Nobody reads the far end: the pseudo-terminal fills up like a port held by CTS.
    const QByteArray big(4 * 1024 * 1024, 'x');
    QElapsedTimer timer;
    timer.start();
    const qint64 written = line->write(big.constData(), big.size(), 150);
    EXPECT_LT(written, big.size());
    EXPECT_GE(written, 0);
    EXPECT_LT(timer.elapsed(), 3000);
}

TEST_F(TermiosLineTest, PurgeEndsAWriteInProgress)
{
    const QByteArray big(4 * 1024 * 1024, 'x');
    std::thread purger([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        line->purge(true, false);
    });
    QElapsedTimer timer;
    timer.start();
    line->write(big.constData(), big.size(), 20000);
    purger.join();
    EXPECT_LT(timer.elapsed(), 5000);
}

TEST_F(TermiosLineTest, ReportsArrivingCharactersAsEvents)
{
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.send("hello");
    });
    EXPECT_EQ(line->waitEvent(kEvRxChar, 3000), kEvRxChar);
    sender.join();
    EXPECT_TRUE(testing_support::waitUntil([&] { return line->inputQueued() == 5; }, 1000));
    // Nothing new has come: the next wait times out.
    EXPECT_EQ(line->waitEvent(kEvRxChar, 30), 0u);
    line->purge(false, true);
    EXPECT_EQ(line->inputQueued(), 0);
}

TEST_F(TermiosLineTest, CancelEndsAnEventWait)
{
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        line->cancelWait();
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(line->waitEvent(0x1F9, 10000), 0u);
    canceller.join();
    EXPECT_LT(timer.elapsed(), 3000);
}

TEST_F(TermiosLineTest, PseudoTerminalRefusesModemLines)
{
    EXPECT_FALSE(line->setModemLine(kLineRts, true));
    unsigned lines = 0;
    EXPECT_FALSE(line->modemLines(&lines));
    EXPECT_EQ(line->takeLineErrors(), 0u);
}

TEST(TermiosLine, OpensOnlyTerminalsThatExistAndAreFree)
{
    EXPECT_EQ(openTermiosLine(QStringLiteral("/dev/no-such-port")), nullptr);
    EXPECT_EQ(openTermiosLine(QStringLiteral("/dev/null")), nullptr);
    EXPECT_EQ(openTermiosLine(QString()), nullptr);
    PseudoTerminal pty;
    auto first = openTermiosLine(pty.path());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(openTermiosLine(pty.path()), nullptr);
    first.reset();
    EXPECT_NE(openTermiosLine(pty.path()), nullptr);
}

// A real port, when one is named: TAVO_TEST_SERIAL=/dev/ttyUSB0 (a loop-back plug helps).
TEST(TermiosLine, RealPortSwitchesModemLines)
{
    const QString device = qEnvironmentVariable("TAVO_TEST_SERIAL");
    if (device.isEmpty())
        GTEST_SKIP() << "no real serial port: set TAVO_TEST_SERIAL to a serial device (/dev/ttyUSB0) to run";
    auto line = openTermiosLine(device);
    ASSERT_NE(line, nullptr);
    LineSettings s;
    s.flowFlags = 0x0001;
    ASSERT_EQ(line->apply(s), LineSettingError::None);
    unsigned lines = 0;
    ASSERT_TRUE(line->modemLines(&lines));
    EXPECT_EQ(lines & (kLineRts | kLineDtr), 0u);
    ASSERT_TRUE(line->setModemLine(kLineRts, true));
    ASSERT_TRUE(line->modemLines(&lines));
    EXPECT_EQ(lines & (kLineRts | kLineDtr), kLineRts);
    ASSERT_TRUE(line->setModemLine(kLineRts, false));
}

TEST(SerialPortNames, NumbersNameDevices)
{
    setSerialPortOverrides({});
    EXPECT_EQ(serialDevicePath(1), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(serialDevicePath(5), QStringLiteral("/dev/ttyS4"));
    EXPECT_EQ(serialDevicePath(0), QString());
    EXPECT_EQ(resolveSerialPortName(QStringLiteral("COM3")), QStringLiteral("/dev/ttyS2"));
    EXPECT_EQ(resolveSerialPortName(QStringLiteral("com12")), QStringLiteral("/dev/ttyS11"));
    EXPECT_EQ(resolveSerialPortName(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(resolveSerialPortName(QStringLiteral("COMX")), QStringLiteral("COMX"));
}

TEST(SerialPortNames, SettingsAndEnvironmentMapNumbers)
{
    setSerialPortOverrides({ { 2, QStringLiteral("/dev/serial/by-id/usb-lamp") } });
    EXPECT_EQ(serialDevicePath(2), QStringLiteral("/dev/serial/by-id/usb-lamp"));
    EXPECT_EQ(serialDevicePath(3), QStringLiteral("/dev/ttyS2"));
    qputenv("TAVO_COM2", "/dev/ttyUSB7");
    EXPECT_EQ(resolveSerialPortName(QStringLiteral("COM2")), QStringLiteral("/dev/ttyUSB7"));
    qunsetenv("TAVO_COM2");
    setSerialPortOverrides({});
    EXPECT_EQ(serialDevicePath(2), QStringLiteral("/dev/ttyS1"));
}

TEST(FakeSerialLine, BehavesLikeALinuxPort)
{
    FakeSerialPorts ports;
    auto device = ports.add(QStringLiteral("/dev/fake0"));
    EXPECT_EQ(openSerialLine(QStringLiteral("/dev/other")), nullptr);
    auto line = openSerialLine(QStringLiteral("/dev/fake0"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(openSerialLine(QStringLiteral("/dev/fake0")), nullptr);
    EXPECT_EQ(device->outputLines(), kLineRts | kLineDtr);

    LineSettings s;
    s.flowFlags = 0x2017; // CTS flow
    ASSERT_EQ(line->apply(s), LineSettingError::None);
    device->setInputLines(0);
    EXPECT_EQ(line->write("ab", 2, 20), 0);
    EXPECT_TRUE(device->sent().isEmpty());
    EXPECT_EQ(line->waitEvent(kEvCts, 0), kEvCts);
    device->setInputLines(kLineCts);
    EXPECT_EQ(line->write("ab", 2, 20), 2);
    EXPECT_EQ(device->sent(), QByteArray("ab"));

    device->raiseLineErrors(kErrFraming);
    EXPECT_EQ(line->waitEvent(kEvErr | kEvRxChar, 0), kEvErr);
    EXPECT_EQ(line->takeLineErrors(), kErrFraming);
    EXPECT_EQ(line->takeLineErrors(), 0u);
    line.reset();
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(device->history().last(), QStringLiteral("close"));
}
