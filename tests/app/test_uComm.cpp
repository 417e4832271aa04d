#include "app/uComm.h"
#include "platform/IniFile.h"
#include "platform/SerialLine.h"
#include "platform/TextCodec.h"
#include "support/TestSupport.h"

#include <QDate>
#include <QFile>
#include <gtest/gtest.h>

namespace {

using testing_support::ReadCp932File;
using testing_support::WriteCp932File;

class Settings : public ::testing::Test {
protected:
    void SetUp() override { ResetSettingsLoaded(); }
    void TearDown() override { ResetSettingsLoaded(); }
    testing_support::TempHome home;
};

} // namespace

TEST_F(Settings, FirstStartWithoutFileGivesTheDefaults)
{
    LoadSettings();
    EXPECT_EQ(CurrentEventCode, "1");
    EXPECT_EQ(OffControlMode, 0);
    EXPECT_EQ(SignalPortNo1, 2);
    EXPECT_EQ(SignalPortNo2, 3);
    EXPECT_EQ(SignalPortNo3, 4);
    EXPECT_EQ(BoardPortNo, 5);
    for (const QString* p :
        { &WarmUpTimePreset, &RaceTimePreset, &OverTimePreset, &BlankTimePreset, &AutoIntervalPreset })
        EXPECT_EQ(*p, "0:00:00");
    EXPECT_EQ(DelaySetting, 0);
    EXPECT_EQ(BlindTimeTenths, "3");
    EXPECT_EQ(HideClockPausedWarmUp, "0");
    EXPECT_EQ(HideClockPausedRace, "1");
    EXPECT_EQ(HideClockPausedOverTime, "1");
    EXPECT_EQ(ReportTitleStart, "Start");
    EXPECT_EQ(ReportTitleEnd, "End");
    EXPECT_EQ(ReportTitleSchedule, "Schedule");
    EXPECT_EQ(ReportTitleNote, "Note");
    EXPECT_EQ(ReportPrintDatePrefix, "Print /");
    EXPECT_FALSE(TimeServerAddress.isEmpty());
    EXPECT_EQ(TimeServerPort, "5000");
    EXPECT_EQ(BoardBitRateIndex, 0);
    EXPECT_EQ(SettingsFilePath(), home.file("Tavo.ini"));
}

TEST_F(Settings, HandWrittenCp932FileLoads)
{
    WriteCp932File(home.file("Tavo.ini"),
        QStringLiteral(
            "[Env]\r\nTcode=202403092\r\nCont=1\r\nPcom2=12\r\nPcom3=13\r\nPcom4=14\r\nPcom5=15\r\n"
            "Dtp1v=0:03:00\r\nDtp2v=0:05:00\r\nDtp3v=0:00:30\r\nDtp4v=0:00:10\r\nDtp5v=0:02:00\r\n"
            "Dt=2\r\nBrindt=30\r\nDpwup=1\r\nDprace=0\r\nDpover=0\r\n"
            "[Print]\r\nTLstart=開始\r\nTLend=終了\r\nTLschedule=内容\r\nTLnote=備考\r\nTLdate=印刷日 /\r\n"
            "[TCP]\r\nTCPadd=10.0.0.5\r\nPortnum=6000\r\n[D-Line]\r\nBrate=1\r\n"));
    LoadSettings();
    EXPECT_EQ(CurrentEventCode, "202403092");
    EXPECT_EQ(OffControlMode, 1);
    EXPECT_EQ(SignalPortNo1, 12);
    EXPECT_EQ(BoardPortNo, 15);
    EXPECT_EQ(WarmUpTimePreset, "0:03:00");
    EXPECT_EQ(AutoIntervalPreset, "0:02:00");
    EXPECT_EQ(DelaySetting, 2);
    EXPECT_EQ(BlindTimeTenths, "30");
    EXPECT_EQ(HideClockPausedWarmUp, "1");
    EXPECT_EQ(ReportTitleStart, QStringLiteral("開始"));
    EXPECT_EQ(ReportPrintDatePrefix, QStringLiteral("印刷日 /"));
    EXPECT_EQ(TimeServerAddress, "10.0.0.5");
    EXPECT_EQ(TimeServerPort, "6000");
    EXPECT_EQ(BoardBitRateIndex, 1);
}

TEST_F(Settings, SaveWritesEverythingButTcodeAndBrateAndReadsBackTheSame)
{
    LoadSettings();
    OffControlMode = 1;
    SignalPortNo3 = 9;
    RaceTimePreset = "0:07:00";
    OverTimePreset.clear();
    ReportTitleNote = QStringLiteral("備考①");
    CurrentEventCode = "202501011";
    BoardBitRateIndex = 1;
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(OverTimePreset, "0:00:00"); // emptied presets are set in the global too

    const QString text = ReadCp932File(home.file("Tavo.ini"));
    EXPECT_FALSE(text.contains("Tcode", Qt::CaseInsensitive));
    EXPECT_FALSE(text.contains("Brate", Qt::CaseInsensitive));
    EXPECT_TRUE(text.startsWith("[Env]\r\nCont=1\r\nPcom2=2\r\nPcom3=3\r\nPcom4=9\r\nPcom5=5\r\n"));
    EXPECT_TRUE(text.contains("Dtp3v=0:00:00\r\n"));

    ResetSettingsLoaded();
    RaceTimePreset.clear();
    ReportTitleNote.clear();
    LoadSettings();
    EXPECT_EQ(OffControlMode, 1);
    EXPECT_EQ(SignalPortNo3, 9);
    EXPECT_EQ(RaceTimePreset, "0:07:00");
    EXPECT_EQ(ReportTitleNote, QStringLiteral("備考①"));
    EXPECT_EQ(CurrentEventCode, "1"); // not remembered
    EXPECT_EQ(BoardBitRateIndex, 0); // lasts only until the program ends
}

TEST_F(Settings, SaveKeepsTcodeBrateAndUnknownKeysAlreadyInTheFile)
{
    WriteCp932File(home.file("Tavo.ini"),
        QStringLiteral("[Env]\r\nTcode=202403092\r\nMemo=メモ\r\n[D-Line]\r\nBrate=1\r\n"));
    LoadSettings();
    BoardBitRateIndex = 0;
    ASSERT_TRUE(SaveSettings());
    platform::IniFile ini(home.file("Tavo.ini"));
    EXPECT_EQ(ini.ReadString("Env", "Tcode", ""), "202403092");
    EXPECT_EQ(ini.ReadInteger("D-Line", "Brate", 0), 1);
    EXPECT_EQ(ini.ReadString("Env", "Memo", ""), QStringLiteral("メモ"));
}

TEST_F(Settings, SaveLeavesEveryLineItDoesNotChangeByteForByte)
{
    // "≒" and "纊" each have two CP932 codes: here the ones that decoding and encoding again
    // would not give back (0x8790 for 0x81E0, 0xED40 for 0xFA5C). A foreign section uses LF
    // line ends, and the file ends without one.
    const QByteArray nearlyEqual("\x87\x90"), oldKanji("\xED\x40");
    const QByteArray original = "; \x90\xdd\x92\xe8 " + nearlyEqual
        + "\r\n"
          "[Env]\r\nTcode=202403092\r\nCont=0\r\nPcom2=2\r\nPcom3=3\r\nPcom4=4\r\nPcom5=5\r\n"
          "Dtp1v=0:03:00\r\nDtp2v=0:05:00\r\nDtp3v=0:00:30\r\nDtp4v=0:00:10\r\nDtp5v=0:02:00\r\n"
          "Dt=0\r\nBrindt=3\r\nDpwup=0\r\nDprace=1\r\nDpover=1\r\nMemo="
        + oldKanji + nearlyEqual
        + "\r\n"
          "[Timing]\nClub="
        + oldKanji + "\nNote=" + nearlyEqual
        + "\n\n"
          "[Print]\r\nTLstart=Start "
        + nearlyEqual
        + "\r\nTLend=End\r\nTLschedule=Schedule\r\n"
          "TLnote=Note\r\nTLdate=Print /\r\n[TCP]\r\nTCPadd=10.0.0.5\r\nPortnum=5000\r\n"
          "[D-Line]\r\nBrate=1";
    {
        QFile f(home.file("Tavo.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(original);
    }
    LoadSettings();
    EXPECT_EQ(ReportTitleStart, QStringLiteral("Start ≒"));
    SignalPortNo1 = 7;
    ASSERT_TRUE(SaveSettings());
    QFile f(home.file("Tavo.ini"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray expected = original;
    expected.replace("Pcom2=2\r\n", "Pcom2=7\r\n");
    EXPECT_EQ(f.readAll(), expected);
}

TEST_F(Settings, NothingIsWrittenWhenTheSettingsWereNeverLoaded)
{
    const QString original = QStringLiteral("[Env]\r\nPcom2=11\r\n");
    WriteCp932File(home.file("Tavo.ini"), original);
    SignalPortNo1 = 0;
    EXPECT_FALSE(SaveSettings());
    EXPECT_EQ(ReadCp932File(home.file("Tavo.ini")), original);
}

TEST(EscapeApostrophes, DoublesEveryApostropheAndNothingElse)
{
    EXPECT_EQ(EscapeApostrophes(""), "");
    EXPECT_EQ(EscapeApostrophes("abc 予選"), QStringLiteral("abc 予選"));
    EXPECT_EQ(EscapeApostrophes("it's"), "it''s");
    EXPECT_EQ(EscapeApostrophes("a''b"), "a''''b");
    EXPECT_EQ(EscapeApostrophes("'x'"), "''x''");
    EXPECT_EQ(EscapeApostrophes("/home/o'neil/cue's.wav"), "/home/o''neil/cue''s.wav");
}

TEST(ShortDate, EventCodeDigitsAreCutFromTheShortDateText)
{
    EXPECT_EQ(ShortDateText(QDate(2024, 3, 9)), "2024/03/09");
    EXPECT_EQ(ShortDateText(QDate(2024, 12, 31)), "2024/12/31");
    EXPECT_EQ(EventCodeDateDigits(ShortDateText(QDate(2024, 12, 31))) + "3", "202412313");
    EXPECT_EQ(EventCodeDateDigits(ShortDateText(QDate(2024, 3, 9))), "20240309");
}

TEST_F(Settings, PortsSectionMapsPortNumbersToDevicesAndIsNeverWritten)
{
    WriteCp932File(
        SettingsFilePath(), QStringLiteral("[Env]\r\nPcom5=5\r\n[Ports]\r\nCOM5=/dev/ttyUSB0\r\n"));
    LoadSettings();
    EXPECT_EQ(platform::SerialDevicePath(5), "/dev/ttyUSB0");
    EXPECT_EQ(platform::SerialDevicePath(2), "/dev/ttyS1");
    ASSERT_TRUE(SaveSettings());
    EXPECT_TRUE(ReadCp932File(SettingsFilePath()).contains("COM5=/dev/ttyUSB0"));

    WriteCp932File(SettingsFilePath(), QStringLiteral("[Env]\r\n"));
    LoadSettings();
    EXPECT_EQ(platform::SerialDevicePath(5), "/dev/ttyS4");
}
