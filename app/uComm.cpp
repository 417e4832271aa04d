#include "app/uComm.h"

#include "platform/DataFolder.h"
#include "platform/IniFile.h"
#include "platform/SerialLine.h"

#include <QDate>
#include <climits>

QString CurrentEventCode;
int OffControlMode = 0;
int SignalPortNo1 = 0;
int SignalPortNo2 = 0;
int SignalPortNo3 = 0;
int BoardPortNo = 0;
QString WarmUpTimePreset;
QString RaceTimePreset;
QString OverTimePreset;
QString BlankTimePreset;
QString AutoIntervalPreset;
int DelaySetting = 0;
QString BlindTimeTenths;
QString HideClockPausedWarmUp;
QString HideClockPausedRace;
QString HideClockPausedOverTime;
QString ReportTitleStart;
QString ReportTitleEnd;
QString ReportTitleSchedule;
QString ReportTitleNote;
QString ReportPrintDatePrefix;
QString TimeServerAddress;
QString TimeServerPort;
int BoardBitRateIndex = 0;

int ReportPageCount = 0;
unsigned char TimeServerConnected = 0;
unsigned char BoardFromNetwork = 0;

namespace {

bool g_settingsLoaded = false;

const QString kEnv = QStringLiteral("Env");
const QString kPrint = QStringLiteral("Print");
const QString kTcp = QStringLiteral("TCP");
const QString kDLine = QStringLiteral("D-Line");
constexpr int kHighestPortNo = 99;
const QString kZeroTime = QStringLiteral("0:00:00");

// The timing server's usual place on the track's local network.
const QString kDefaultTimeServerAddress = QStringLiteral("192.168.0.10");

} // namespace

QString settingsFilePath() { return platform::dataFilePath(QStringLiteral("Tavo.ini")); }

// Section "Ports" maps a port number to a device, e.g. "COM5=/dev/ttyUSB0", for adapters that
// do not appear as /dev/ttyS<N-1>. Read only: the program never writes this section.
static void loadSerialPortPaths(const platform::IniFile& ini)
{
    std::map<int, QString> paths;
    for (int n = 1; n <= kHighestPortNo; ++n) {
        const QString path
            = ini.ReadString(QStringLiteral("Ports"), QStringLiteral("COM%1").arg(n), QString());
        if (!path.isEmpty())
            paths[n] = path;
    }
    platform::setSerialPortOverrides(paths);
}

std::vector<SettingProblem> loadSettings()
{
    const platform::IniFile ini(settingsFilePath());
    // Each value is checked against what the control showing it accepts.
    CheckedSettingsReader r(ini);
    using namespace setting_rule;
    CurrentEventCode = r.text(kEnv, QStringLiteral("Tcode"), QStringLiteral("1"), eventCode);
    OffControlMode = r.integer(kEnv, QStringLiteral("Cont"), 0, 0, 1);
    SignalPortNo1 = r.integer(kEnv, QStringLiteral("Pcom2"), 2, 1, kHighestPortNo);
    SignalPortNo2 = r.integer(kEnv, QStringLiteral("Pcom3"), 3, 1, kHighestPortNo);
    SignalPortNo3 = r.integer(kEnv, QStringLiteral("Pcom4"), 4, 1, kHighestPortNo);
    BoardPortNo = r.integer(kEnv, QStringLiteral("Pcom5"), 5, 1, kHighestPortNo);
    WarmUpTimePreset = r.text(kEnv, QStringLiteral("Dtp1v"), kZeroTime, clockTextOrEmpty);
    RaceTimePreset = r.text(kEnv, QStringLiteral("Dtp2v"), kZeroTime, clockTextOrEmpty);
    OverTimePreset = r.text(kEnv, QStringLiteral("Dtp3v"), kZeroTime, clockTextOrEmpty);
    BlankTimePreset = r.text(kEnv, QStringLiteral("Dtp4v"), kZeroTime, clockTextOrEmpty);
    AutoIntervalPreset = r.text(kEnv, QStringLiteral("Dtp5v"), kZeroTime, clockTextOrEmpty);
    // The delay box takes any integer.
    DelaySetting = r.integer(kEnv, QStringLiteral("Dt"), 0, INT_MIN, INT_MAX);
    BlindTimeTenths = r.text(kEnv, QStringLiteral("Brindt"), QStringLiteral("3"), tenthsOfADay);
    HideClockPausedWarmUp = r.text(kEnv, QStringLiteral("Dpwup"), QStringLiteral("0"), flag);
    HideClockPausedRace = r.text(kEnv, QStringLiteral("Dprace"), QStringLiteral("1"), flag);
    HideClockPausedOverTime = r.text(kEnv, QStringLiteral("Dpover"), QStringLiteral("1"), flag);
    // The printout's column titles take any text the operator could type.
    ReportTitleStart = r.title(kPrint, QStringLiteral("TLstart"), QStringLiteral("Start"));
    ReportTitleEnd = r.title(kPrint, QStringLiteral("TLend"), QStringLiteral("End"));
    ReportTitleSchedule = r.title(kPrint, QStringLiteral("TLschedule"), QStringLiteral("Schedule"));
    ReportTitleNote = r.title(kPrint, QStringLiteral("TLnote"), QStringLiteral("Note"));
    ReportPrintDatePrefix = r.title(kPrint, QStringLiteral("TLdate"), QStringLiteral("Print /"));
    TimeServerAddress = r.text(kTcp, QStringLiteral("TCPadd"), kDefaultTimeServerAddress, hostAddress);
    TimeServerPort = r.text(kTcp, QStringLiteral("Portnum"), QStringLiteral("5000"), tcpPort);
    BoardBitRateIndex = r.integer(kDLine, QStringLiteral("Brate"), 0, 0, 1);
    loadSerialPortPaths(ini);
    g_settingsLoaded = true;
    return r.problems();
}

bool saveSettings()
{
    if (!g_settingsLoaded)
        return false;
    for (QString* preset :
        { &WarmUpTimePreset, &RaceTimePreset, &OverTimePreset, &BlankTimePreset, &AutoIntervalPreset })
        if (preset->isEmpty())
            *preset = kZeroTime;

    const auto number = [](int value) { return QString::number(value); };
    // One write for all: the file is either as it was or holds every key of this close.
    platform::IniFile(settingsFilePath())
        .WriteAll({ { kEnv, QStringLiteral("Cont"), number(OffControlMode) },
            { kEnv, QStringLiteral("Pcom2"), number(SignalPortNo1) },
            { kEnv, QStringLiteral("Pcom3"), number(SignalPortNo2) },
            { kEnv, QStringLiteral("Pcom4"), number(SignalPortNo3) },
            { kEnv, QStringLiteral("Pcom5"), number(BoardPortNo) },
            { kEnv, QStringLiteral("Dtp1v"), WarmUpTimePreset },
            { kEnv, QStringLiteral("Dtp2v"), RaceTimePreset },
            { kEnv, QStringLiteral("Dtp3v"), OverTimePreset },
            { kEnv, QStringLiteral("Dtp4v"), BlankTimePreset },
            { kEnv, QStringLiteral("Dtp5v"), AutoIntervalPreset },
            { kEnv, QStringLiteral("Dt"), number(DelaySetting) },
            { kEnv, QStringLiteral("Brindt"), BlindTimeTenths },
            { kEnv, QStringLiteral("Dpwup"), HideClockPausedWarmUp },
            { kEnv, QStringLiteral("Dprace"), HideClockPausedRace },
            { kEnv, QStringLiteral("Dpover"), HideClockPausedOverTime },
            { kPrint, QStringLiteral("TLstart"), ReportTitleStart },
            { kPrint, QStringLiteral("TLend"), ReportTitleEnd },
            { kPrint, QStringLiteral("TLschedule"), ReportTitleSchedule },
            { kPrint, QStringLiteral("TLnote"), ReportTitleNote },
            { kPrint, QStringLiteral("TLdate"), ReportPrintDatePrefix },
            { kTcp, QStringLiteral("TCPadd"), TimeServerAddress },
            { kTcp, QStringLiteral("Portnum"), TimeServerPort } });
    return true;
}

bool settingsLoaded() { return g_settingsLoaded; }

void resetSettingsLoaded() { g_settingsLoaded = false; }

QString EscapeApostrophes(const QString& text)
{
    QString result;
    result.reserve(text.size() + 8);
    for (const QChar c : text) {
        result += c;
        if (c == QLatin1Char('\''))
            result += c;
    }
    return result;
}

QString eventWhere(const QString& eventCode)
{
    return QStringLiteral("where tcode='") + EscapeApostrophes(eventCode) + QLatin1Char('\'');
}

QString shortDateText(const QDate& date)
{
    return date.isValid() ? date.toString(QStringLiteral("yyyy/MM/dd")) : QString();
}

QString eventCodeDateDigits(const QString& shortDateText)
{
    return shortDateText.mid(0, 4) + shortDateText.mid(5, 2) + shortDateText.mid(8, 2);
}
