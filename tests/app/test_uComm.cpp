#include "app/uComm.h"
#include "platform/IniFile.h"
#include "platform/SerialLine.h"
#include "platform/TextCodec.h"
#include "support/TestSupport.h"

#include <QDate>
#include <QFile>
#include <QHash>
#include <functional>
#include <gtest/gtest.h>

namespace {

using testing_support::readCp932File;
using testing_support::writeCp932File;

// The global each key is loaded into, as text.
const QHash<QString, std::function<QString()>> kGlobalOf {
    { "Tcode", [] { return CurrentEventCode; } },
    { "Cont", [] { return QString::number(OffControlMode); } },
    { "Pcom2", [] { return QString::number(SignalPortNo1); } },
    { "Pcom3", [] { return QString::number(SignalPortNo2); } },
    { "Pcom4", [] { return QString::number(SignalPortNo3); } },
    { "Pcom5", [] { return QString::number(BoardPortNo); } },
    { "Dtp1v", [] { return WarmUpTimePreset; } },
    { "Dtp2v", [] { return RaceTimePreset; } },
    { "Dtp3v", [] { return OverTimePreset; } },
    { "Dtp4v", [] { return BlankTimePreset; } },
    { "Dtp5v", [] { return AutoIntervalPreset; } },
    { "Dt", [] { return QString::number(DelaySetting); } },
    { "Brindt", [] { return BlindTimeTenths; } },
    { "Dpwup", [] { return HideClockPausedWarmUp; } },
    { "Dprace", [] { return HideClockPausedRace; } },
    { "Dpover", [] { return HideClockPausedOverTime; } },
    { "TLstart", [] { return ReportTitleStart; } },
    { "TLnote", [] { return ReportTitleNote; } },
    { "TLdate", [] { return ReportPrintDatePrefix; } },
    { "TCPadd", [] { return TimeServerAddress; } },
    { "Portnum", [] { return TimeServerPort; } },
    { "Brate", [] { return QString::number(BoardBitRateIndex); } },
};

struct Case {
    const char* section;
    const char* key;
    const char* value; // as written in the file
    const char* loaded; // the global afterwards
    bool refused; // named in the start message with the default
};

// One row per example of a rule: what the control showing the value takes, and what it does not.
const Case kCases[] = {
    { "Env", "Pcom2", "7", "7", false },
    { "Env", "Pcom2", "$0A", "10", false },
    { "Env", "Pcom3", "99", "99", false },
    { "Env", "Pcom2", "-1", "2", true },
    { "Env", "Pcom3", "0", "3", true },
    { "Env", "Pcom4", "2147483647", "4", true },
    { "Env", "Pcom5", "99999999999", "5", true },
    { "Env", "Pcom5", "COM5", "5", true },
    { "Env", "Pcom5", "", "5", true },
    { "Env", "Cont", "1", "1", false },
    { "Env", "Cont", "2", "0", true },
    { "D-Line", "Brate", "1", "1", false },
    { "D-Line", "Brate", "2", "0", true },
    { "D-Line", "Brate", "-1", "0", true },
    { "Env", "Dtp1v", "0:03:00", "0:03:00", false },
    { "Env", "Dtp2v", "23:59:59", "23:59:59", false },
    { "Env", "Dtp3v", "", "", false }, // an empty preset is 0:00:00, written so at close
    { "Env", "Dtp1v", "abc", "0:00:00", true },
    { "Env", "Dtp2v", "25:99:99", "0:00:00", true },
    { "Env", "Dtp3v", "24:00:00", "0:00:00", true },
    { "Env", "Dtp4v", "0:60:00", "0:00:00", true },
    { "Env", "Dtp5v", "5:00", "0:00:00", true },
    { "Env", "Dt", "-3", "-3", false },
    { "Env", "Dt", "x", "0", true },
    { "Env", "Brindt", "30", "30", false },
    { "Env", "Brindt", "863999", "863999", false },
    { "Env", "Brindt", "864000", "3", true },
    { "Env", "Brindt", "-1", "3", true },
    { "Env", "Brindt", "bright", "3", true },
    { "Env", "Brindt", "99999999999999999999", "3", true },
    { "Env", "Dpwup", "1", "1", false },
    { "Env", "Dpwup", "yes", "0", true },
    { "Env", "Dprace", "2", "1", true },
    { "Env", "Dpover", "", "1", true },
    { "TCP", "Portnum", "65535", "65535", false },
    { "TCP", "Portnum", "0", "5000", true },
    { "TCP", "Portnum", "65536", "5000", true },
    { "TCP", "Portnum", "http", "5000", true },
    { "TCP", "TCPadd", "timing.local", "timing.local", false },
    { "TCP", "TCPadd", "10.0.0 .5", "192.168.0.10", true },
    { "Env", "Tcode", "202403092", "202403092", false },
    { "Env", "Tcode", "abc", "1", true },
    { "Print", "TLstart", "25:99:99", "25:99:99", false }, // titles take any text typed
    { "Print", "TLnote", "a\tb", "a\tb", false },
    { "Print", "TLnote", "a\x01", "Note", true },
    { "Print", "TLdate", "\x1b[2J", "Print /", true },
};

class Settings : public ::testing::Test {
protected:
    void SetUp() override { resetSettingsLoaded(); }
    void TearDown() override { resetSettingsLoaded(); }
    testing_support::TempHome home;
};

} // namespace

TEST_F(Settings, FirstStartWithoutFileGivesTheDefaults)
{
    loadSettings();
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
    EXPECT_EQ(settingsFilePath(), home.file("Tavo.ini"));
}

TEST_F(Settings, HandWrittenCp932FileLoads)
{
    writeCp932File(home.file("Tavo.ini"),
        QStringLiteral(
            "[Env]\r\nTcode=202403092\r\nCont=1\r\nPcom2=12\r\nPcom3=13\r\nPcom4=14\r\nPcom5=15\r\n"
            "Dtp1v=0:03:00\r\nDtp2v=0:05:00\r\nDtp3v=0:00:30\r\nDtp4v=0:00:10\r\nDtp5v=0:02:00\r\n"
            "Dt=2\r\nBrindt=30\r\nDpwup=1\r\nDprace=0\r\nDpover=0\r\n"
            "[Print]\r\nTLstart=開始\r\nTLend=終了\r\nTLschedule=内容\r\nTLnote=備考\r\nTLdate=印刷日 /\r\n"
            "[TCP]\r\nTCPadd=10.0.0.5\r\nPortnum=6000\r\n[D-Line]\r\nBrate=1\r\n"));
    loadSettings();
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
    loadSettings();
    OffControlMode = 1;
    SignalPortNo3 = 9;
    RaceTimePreset = "0:07:00";
    OverTimePreset.clear();
    ReportTitleNote = QStringLiteral("備考①");
    CurrentEventCode = "202501011";
    BoardBitRateIndex = 1;
    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(OverTimePreset, "0:00:00"); // emptied presets are set in the global too

    const QString text = readCp932File(home.file("Tavo.ini"));
    EXPECT_FALSE(text.contains("Tcode", Qt::CaseInsensitive));
    EXPECT_FALSE(text.contains("Brate", Qt::CaseInsensitive));
    EXPECT_TRUE(text.startsWith("[Env]\r\nCont=1\r\nPcom2=2\r\nPcom3=3\r\nPcom4=9\r\nPcom5=5\r\n"));
    EXPECT_TRUE(text.contains("Dtp3v=0:00:00\r\n"));

    resetSettingsLoaded();
    RaceTimePreset.clear();
    ReportTitleNote.clear();
    loadSettings();
    EXPECT_EQ(OffControlMode, 1);
    EXPECT_EQ(SignalPortNo3, 9);
    EXPECT_EQ(RaceTimePreset, "0:07:00");
    EXPECT_EQ(ReportTitleNote, QStringLiteral("備考①"));
    EXPECT_EQ(CurrentEventCode, "1"); // not remembered
    EXPECT_EQ(BoardBitRateIndex, 0); // lasts only until the program ends
}

TEST_F(Settings, SaveKeepsTcodeBrateAndUnknownKeysAlreadyInTheFile)
{
    writeCp932File(home.file("Tavo.ini"),
        QStringLiteral("[Env]\r\nTcode=202403092\r\nMemo=メモ\r\n[D-Line]\r\nBrate=1\r\n"));
    loadSettings();
    BoardBitRateIndex = 0;
    ASSERT_TRUE(saveSettings());
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
    loadSettings();
    EXPECT_EQ(ReportTitleStart, QStringLiteral("Start ≒"));
    SignalPortNo1 = 7;
    ASSERT_TRUE(saveSettings());
    QFile f(home.file("Tavo.ini"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray expected = original;
    expected.replace("Pcom2=2\r\n", "Pcom2=7\r\n");
    EXPECT_EQ(f.readAll(), expected);
}

TEST_F(Settings, NothingIsWrittenWhenTheSettingsWereNeverLoaded)
{
    const QString original = QStringLiteral("[Env]\r\nPcom2=11\r\n");
    writeCp932File(home.file("Tavo.ini"), original);
    SignalPortNo1 = 0;
    EXPECT_FALSE(saveSettings());
    EXPECT_EQ(readCp932File(home.file("Tavo.ini")), original);
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

TEST(EventWhere, KeepsTheWholeCodeInsideOneLiteral)
{
    EXPECT_EQ(eventWhere("202403091"), "where tcode='202403091'");
    EXPECT_EQ(eventWhere("1' or '1'='1"), "where tcode='1'' or ''1''=''1'");
}

TEST(ShortDate, EventCodeDigitsAreCutFromTheShortDateText)
{
    EXPECT_EQ(shortDateText(QDate(2024, 3, 9)), "2024/03/09");
    EXPECT_EQ(shortDateText(QDate(2024, 12, 31)), "2024/12/31");
    EXPECT_EQ(eventCodeDateDigits(shortDateText(QDate(2024, 12, 31))) + "3", "202412313");
    EXPECT_EQ(eventCodeDateDigits(shortDateText(QDate(2024, 3, 9))), "20240309");
}

TEST_F(Settings, PortsSectionMapsPortNumbersToDevicesAndIsNeverWritten)
{
    writeCp932File(
        settingsFilePath(), QStringLiteral("[Env]\r\nPcom5=5\r\n[Ports]\r\nCOM5=/dev/ttyUSB0\r\n"));
    loadSettings();
    EXPECT_EQ(platform::serialDevicePath(5), "/dev/ttyUSB0");
    EXPECT_EQ(platform::serialDevicePath(2), "/dev/ttyS1");
    ASSERT_TRUE(saveSettings());
    EXPECT_TRUE(readCp932File(settingsFilePath()).contains("COM5=/dev/ttyUSB0"));

    writeCp932File(settingsFilePath(), QStringLiteral("[Env]\r\n"));
    loadSettings();
    EXPECT_EQ(platform::serialDevicePath(5), "/dev/ttyS4");
}

TEST_F(Settings, EachValueIsTakenOnlyWhenItsControlAcceptsIt)
{
    for (const Case& c : kCases) {
        const QString row = QStringLiteral("%1/%2=%3").arg(c.section, c.key, c.value);
        testing_support::writeCp932File(
            home.file("Tavo.ini"), QStringLiteral("[%1]\r\n%2=%3\r\n").arg(c.section, c.key, c.value));
        resetSettingsLoaded();
        const std::vector<SettingProblem> problems = loadSettings();
        EXPECT_EQ(kGlobalOf.value(c.key)(), QLatin1String(c.loaded)) << row.toStdString();
        ASSERT_EQ(problems.size(), c.refused ? 1u : 0u) << row.toStdString();
        if (c.refused) {
            EXPECT_EQ(problems[0], (SettingProblem { c.section, c.key, c.value, c.loaded }))
                << row.toStdString();
        }
    }
}

// Values of any length give one message that fits the screen: each shows its first 40
// characters; the keys "ＣＬＯＳＥ" never writes are to be mended in the file, and come first.
TEST_F(Settings, OneMessageNamesEachKeyItsValueAndTheDefaultAndCloseWritesTheDefaults)
{
    const QString huge(1 << 20, QLatin1Char('x'));
    const QString title = QStringLiteral("予選") + QString(38, QLatin1Char('-')) + QChar(0x07)
        + QString(160, QLatin1Char('='));
    testing_support::writeCp932File(home.file("Tavo.ini"),
        QStringLiteral("[Env]\r\nTcode=%1\r\nPcom2=-1\r\nDtp2v=25:99:99\r\nDt=7\r\n"
                       "[Print]\r\nTLend=%2\r\n[D-Line]\r\nBrate=5\r\n")
            .arg(huge, title));
    const QString message = settingsProblemText(loadSettings());
    const QString mend
        = QStringLiteral("（「ＣＬＯＳＥ」では書き込まれないため、Tavo.ini で直してください）");
    EXPECT_EQ(message,
        QStringLiteral("設定ファイル Tavo.ini に使えない値があったため、次の項目は既定値を使います"
                       "(「ＣＬＯＳＥ」で保存する項目には既定値が書き込まれます)。\n"
                       "[Env] Tcode の値「")
            + QString(40, QLatin1Char('x')) + QStringLiteral("…」→ 既定値「1」") + mend
            + QStringLiteral("\n[D-Line] Brate の値「5」→ 既定値「0」") + mend
            + QStringLiteral("\n[Env] Pcom2 の値「-1」→ 既定値「2」\n"
                             "[Env] Dtp2v の値「25:99:99」→ 既定値「0:00:00」\n"
                             "[Print] TLend の値「予選")
            + QString(38, QLatin1Char('-')) + QStringLiteral("…」→ 既定値「End」"));
    EXPECT_EQ(ReportTitleEnd, "End");
    ASSERT_TRUE(saveSettings());
    const QString text = testing_support::readCp932File(home.file("Tavo.ini"));
    EXPECT_TRUE(text.contains("Pcom2=2\r\n"));
    EXPECT_TRUE(text.contains("Dtp2v=0:00:00\r\n"));
    EXPECT_TRUE(text.contains("Dt=7\r\n"));
    EXPECT_TRUE(text.contains("TLend=End\r\n"));
    EXPECT_TRUE(text.contains("Brate=5\r\n")); // never written by the program
    EXPECT_TRUE(text.contains(QStringLiteral("Tcode=") + huge + QStringLiteral("\r\n")));
    EXPECT_TRUE(settingsProblemText({}).isEmpty());
    // A character of two UTF-16 units is shown whole or not at all.
    EXPECT_EQ(shownSettingValue(QString(39, QLatin1Char('a')) + QStringLiteral("𠮷b")),
        QString(39, QLatin1Char('a')) + QStringLiteral("…"));
}
