#include "console/ConsoleLifecycle.h"

#include "app/Udm1.h"
#include "app/uComm.h"
#include "console/BoardControl.h"
#include "console/ScheduleSql.h"
#include "console/Utaikai_time.h"
#include "platform/DataSet.h"

namespace console {
namespace {

const char* const kSignalColumns[SignalSlotCount]
    = { "on1", "on2", "on3", "on4", "on5", "ons", "of1", "of2", "of3", "of4", "of5" };

} // namespace

QString signalColumn(int slot)
{
    return slot >= 0 && slot < SignalSlotCount ? QLatin1String(kSignalColumns[slot]) : QString();
}

EventSignals readEventSignals(TDM1& dm, const QString& eventCode)
{
    platform::Query& q = *dm.Qtemp;
    q.Close();
    q.clearSQL();
    q.addSQL(QStringLiteral("select * from taikai ") + eventWhere(eventCode));
    q.Open();
    EventSignals result;
    q.First();
    if (!q.Eof()) {
        result.found = true;
        for (int slot = 0; slot < SignalSlotCount; ++slot)
            result.triggers[slot] = TimeStrToTenths(q.FieldByName(signalColumn(slot))->AsString());
        result.offControlMode = q.FieldByName(QStringLiteral("cont"))->AsInteger();
    }
    q.Close();
    return result;
}

QTime readScheduleEnd(TDM1& dm, const QString& eventCode)
{
    platform::Query& q = *dm.Qtemp;
    q.Close();
    q.clearSQL();
    q.addSQL(schedule_sql::eventRows(eventCode));
    q.addSQL(QStringLiteral("order by btime"));
    q.Open();
    QTime end(0, 0);
    q.Last();
    if (q.RecordCount() > 0) {
        const QTime t = q.FieldByName(QStringLiteral("etime"))->AsTime();
        if (t.isValid())
            end = t;
    }
    q.Close();
    return end;
}

QTime pickerTimeOfTenths(qint64 tenths)
{
    if (tenths < 0 || tenths >= TicksPerDay)
        return QTime(0, 0);
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(tenths * 100));
}

QTime pickerTimeOfText(const QString& clockText)
{
    return pickerTimeOfTenths(TimeStrToTenths(clockText.trimmed()));
}

QStringList taikaiUpdateLines(const QString& eventCode, const ClosingState& state)
{
    const auto& t = state.signalTimes;
    auto pair = [&](int n) {
        return QStringList { QStringLiteral(",on%1='").arg(n) + t[SlotOn1 + n - 1] + QLatin1Char('\''),
            QStringLiteral(",of%1='").arg(n) + t[SlotOff1 + n - 1] + QLatin1Char('\'') };
    };
    QStringList lines { QStringLiteral("update taikai set") };
    lines << QStringLiteral("on1='") + t[SlotOn1] + QLatin1Char('\'');
    lines << QStringLiteral(",of1='") + t[SlotOff1] + QLatin1Char('\'');
    for (int n = 2; n <= 5; ++n)
        lines << pair(n);
    lines << QStringLiteral(",ons='") + t[SlotOnStart] + QLatin1Char('\'');
    lines << QStringLiteral(",cont='") + QString::number(state.offControlMode) + QLatin1Char('\'');
    for (int i = 0; i < 5; ++i)
        lines << QStringLiteral(",sq%1='").arg(i + 1) + state.presets[i] + QLatin1Char('\'');
    lines << eventWhere(eventCode);
    return lines;
}

QStringList storeClosingState(TDM1& dm, const QString& eventCode, const std::optional<ClosingState>& state)
{
    QStringList failures;
    auto run = [&](const QStringList& lines, const QString& what) {
        platform::Query& q = *dm.Qtemp;
        try {
            q.Close();
            q.clearSQL();
            for (const QString& line : lines)
                q.addSQL(line);
            q.ExecSQL();
        } catch (const platform::DatabaseError& e) {
            failures << what + QStringLiteral("\n") + e.message();
        }
    };
    run({ QStringLiteral("update tnow set tcode='0'") },
        QStringLiteral("大会の終了を記録できませんでした（tnow）。"));
    if (!state)
        return failures;
    run(taikaiUpdateLines(eventCode, *state),
        QStringLiteral("大会の設定（シグナル時刻・プリセット）を保存できませんでした。"));
    return failures;
}

QString reopenEventList(TDM1& dm, const QString& eventCode)
{
    try {
        dm.Qtaikai->Close();
        dm.Qtaikai->Open();
        dm.Qtaikai->Locate(QStringLiteral("tcode"), eventCode);
    } catch (const platform::DatabaseError& e) {
        return QStringLiteral("大会一覧を読み直せませんでした。\n") + e.message();
    }
    return {};
}

DeviceRelease::DeviceRelease(Steps steps)
    : m_steps(std::move(steps))
{
}

bool DeviceRelease::run()
{
    if (m_done)
        return false;
    m_done = true;
    if (m_steps.board && m_steps.sleeper)
        m_steps.board->release(*m_steps.sleeper, BlankPauseMs);
    if (m_steps.dropTimeServer)
        m_steps.dropTimeServer();
    if (m_steps.closeLog)
        m_steps.closeLog();
    return true;
}

} // namespace console
