#include "console/CueTable.h"

#include "app/uComm.h"
#include "console/ScheduleSql.h"
#include "console/Utaikai_time.h"
#include "platform/Asker.h"
#include "platform/DataSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <utility>

namespace console {

using schedule_sql::exec;
using schedule_sql::Open;
using schedule_sql::quoted;

namespace {

const CuePhaseInfo kPhases[CuePhaseCount] = {
    { 'w', "R-", 13 },
    { 'r', "B-", 14 },
    { 'o', "Y-", 3 },
    { 'i', "X-", 3 },
};

QString eventLine(const QString& eventCode)
{
    return QStringLiteral("select * from music ") + eventWhere(eventCode);
}

QString phaseLine(CuePhase phase)
{
    return QStringLiteral("and bun='") + QLatin1Char(phaseInfo(phase).letter) + QLatin1Char('\'');
}

} // namespace

const CuePhaseInfo& phaseInfo(CuePhase phase) { return kPhases[phaseIndex(phase)]; }

QStringList cueGridSql(const QString& eventCode, CuePhase phase)
{
    return { eventLine(eventCode), phaseLine(phase), QStringLiteral("order by tno") };
}

CueTable::CueTable(platform::Query& scratch, platform::Asker& asker, QString eventCode)
    : m_q(scratch)
    , m_asker(asker)
    , m_code(std::move(eventCode))
{
}

int CueTable::count(const QStringList& lines)
{
    Open(m_q, lines);
    const int n = m_q.RecordCount();
    m_q.Close();
    return n;
}

QString cueFileProblem(const QString& path)
{
    const QString name = QDir::toNativeSeparators(path);
    if (!QFileInfo::exists(path))
        return QStringLiteral("音声ファイル %1 が見つかりません。").arg(name);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("音声ファイル %1 を読み込めません（%2）。").arg(name, file.errorString());
    return QString();
}

CueRegistration CueTable::registerCue(CuePhase phase, const QTime& time, const QString& file)
{
    if (file.isEmpty())
        return CueRegistration::Nothing;
    const QString f = quoted(file);
    const QString t = quoted(longTimeText(time));
    const QString bun = QStringLiteral("bun='") + QLatin1Char(phaseInfo(phase).letter) + QLatin1Char('\'');

    // A full phase takes nothing more, not even a changed file at an existing time.
    if (count({ eventLine(m_code), phaseLine(phase) }) >= phaseInfo(phase).slotCount) {
        m_asker.inform(QString(), QStringLiteral("データの登録数が制限に達しています。"));
        return CueRegistration::Refused;
    }

    bool move = false;
    Open(m_q, { eventLine(m_code), QStringLiteral("and mname=") + f });
    if (m_q.RecordCount() > 0) {
        m_q.First();
        const QString registeredPhase = m_q.FieldByName(QStringLiteral("bun"))->AsString();
        m_q.Close();
        if (registeredPhase != QLatin1Char(phaseInfo(phase).letter)) {
            m_asker.inform(
                QString(), QStringLiteral("指定したサウンドファイルは既に他のタイマーで登録されています。"));
            return CueRegistration::Refused;
        }
        if (!m_asker.askYesNo(QString(),
                QStringLiteral("指定したサウンドファイルは既に登録されていますが、設定時刻を変更しますか？")))
            return CueRegistration::Kept;
        move = true;
    }
    m_q.Close();

    // The move and the new row belong together: a failure between them must not lose the cue.
    platform::Transaction tx(*m_q.database());
    if (move)
        exec(m_q,
            { QStringLiteral("delete from music ") + eventWhere(m_code),
                QStringLiteral("and mname=") + f + QStringLiteral(" and ") + bun });
    const bool timeTaken = count({ eventLine(m_code), phaseLine(phase), QStringLiteral("and tno=") + t }) > 0;
    if (!timeTaken)
        exec(m_q,
            { QStringLiteral("insert into music (tcode,bun,tno,mname)values("),
                quoted(m_code) + QStringLiteral(",'") + QLatin1Char(phaseInfo(phase).letter)
                    + QStringLiteral("',"),
                t + QLatin1Char(',') + f + QLatin1Char(')') });
    else
        exec(m_q,
            { QStringLiteral("update music set mname=") + f,
                eventWhere(m_code) + QStringLiteral(" and tno=") + t, QStringLiteral("and ") + bun });
    tx.Commit();
    return CueRegistration::Registered;
}

void CueTable::remove(CuePhase phase, const QString& tno)
{
    exec(m_q,
        { QStringLiteral("delete from music ") + eventWhere(m_code), phaseLine(phase),
            QStringLiteral("and tno=") + quoted(tno) });
}

CueRows readRunCues(platform::Query& q, const QString& eventCode, const CueRunLengths& lengths)
{
    const QString event = eventLine(eventCode);
    auto upTo = [](const char* op, const QTime& t) -> QString {
        return QStringLiteral("and tno") + QLatin1String(op) + quoted(longTimeText(t));
    };
    const QString desc = QStringLiteral("order by tno desc");
    const std::array<QStringList, CuePhaseCount> selects = {
        // Warm-up cues inside the random-start window could be cut off by the early end: not loaded.
        QStringList {
            event, phaseLine(CuePhase::Warm), upTo("<", lengths.warm), upTo(">=", lengths.blank), desc },
        QStringList { event, phaseLine(CuePhase::Race), upTo("<=", lengths.race), desc },
        QStringList { event, phaseLine(CuePhase::Over), upTo("<=", lengths.over), desc },
        QStringList { event, phaseLine(CuePhase::Interval), upTo("<=", lengths.interval), desc },
    };
    CueRows rows;
    for (int i = 0; i < CuePhaseCount; ++i) {
        Open(q, selects[size_t(i)]);
        for (q.First(); !q.Eof(); q.Next())
            rows[size_t(i)].push_back({ q.FieldByName(QStringLiteral("tno"))->AsString(),
                q.FieldByName(QStringLiteral("mname"))->AsString() });
        q.Close();
    }
    return rows;
}

} // namespace console
