#include "console/CueTable.h"

#include "app/uComm.h"
#include "console/Utaikai_time.h"
#include "platform/Asker.h"
#include "platform/DataSet.h"

namespace console {
namespace {

const CuePhaseInfo kPhases[CuePhaseCount] = {
    { 'w', "R-", 13 },
    { 'r', "B-", 14 },
    { 'o', "Y-", 3 },
    { 'i', "X-", 3 },
};

QString Quoted(const QString& text)
{
    return QLatin1Char('\'') + EscapeApostrophes(text) + QLatin1Char('\'');
}

QString EventLine(const QString& escapedCode)
{
    return QStringLiteral("select * from music where tcode='") + escapedCode + QLatin1Char('\'');
}

QString PhaseLine(CuePhase phase)
{
    return QStringLiteral("and bun='") + QLatin1Char(PhaseInfo(phase).letter) + QLatin1Char('\'');
}

void Run(platform::Query& q, const QStringList& lines, bool select)
{
    q.Close();
    q.ClearSQL();
    for (const QString& line : lines)
        q.AddSQL(line);
    if (select)
        q.Open();
    else
        q.ExecSQL();
}

} // namespace

const CuePhaseInfo& PhaseInfo(CuePhase phase) { return kPhases[PhaseIndex(phase)]; }

QStringList CueGridSql(const QString& eventCode, CuePhase phase)
{
    return { EventLine(EscapeApostrophes(eventCode)), PhaseLine(phase), QStringLiteral("order by tno") };
}

CueTable::CueTable(platform::Query& scratch, platform::Asker& asker, QString eventCode)
    : m_q(scratch)
    , m_asker(asker)
    , m_code(EscapeApostrophes(eventCode))
{
}

int CueTable::Count(const QStringList& lines)
{
    Run(m_q, lines, true);
    const int n = m_q.RecordCount();
    m_q.Close();
    return n;
}

CueRegistration CueTable::Register(CuePhase phase, const QTime& time, const QString& file)
{
    if (file.isEmpty())
        return CueRegistration::Nothing;
    const QString f = Quoted(file);
    const QString t = Quoted(LongTimeText(time));
    const QString bun = QStringLiteral("bun='") + QLatin1Char(PhaseInfo(phase).letter) + QLatin1Char('\'');

    // A full phase takes nothing more, not even a changed file at an existing time.
    if (Count({ EventLine(m_code), PhaseLine(phase) }) >= PhaseInfo(phase).slotCount) {
        m_asker.inform(QString(), QStringLiteral("データの登録数が制限に達しています。"));
        return CueRegistration::Refused;
    }

    bool move = false;
    Run(m_q, { EventLine(m_code), QStringLiteral("and mname=") + f }, true);
    if (m_q.RecordCount() > 0) {
        m_q.First();
        const QString registeredPhase = m_q.FieldByName(QStringLiteral("bun"))->AsString();
        m_q.Close();
        if (registeredPhase != QLatin1Char(PhaseInfo(phase).letter)) {
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
        Run(m_q,
            { QStringLiteral("delete from music where tcode='") + m_code + QLatin1Char('\''),
                QStringLiteral("and mname=") + f + QStringLiteral(" and ") + bun },
            false);
    const bool timeTaken = Count({ EventLine(m_code), PhaseLine(phase), QStringLiteral("and tno=") + t }) > 0;
    if (!timeTaken)
        Run(m_q,
            { QStringLiteral("insert into music (tcode,bun,tno,mname)values("),
                QLatin1Char('\'') + m_code + QStringLiteral("','") + QLatin1Char(PhaseInfo(phase).letter)
                    + QStringLiteral("',"),
                t + QLatin1Char(',') + f + QLatin1Char(')') },
            false);
    else
        Run(m_q,
            { QStringLiteral("update music set mname=") + f,
                QStringLiteral("where tcode='") + m_code + QStringLiteral("' and tno=") + t,
                QStringLiteral("and ") + bun },
            false);
    tx.Commit();
    return CueRegistration::Registered;
}

void CueTable::Delete(CuePhase phase, const QString& tno)
{
    Run(m_q,
        { QStringLiteral("delete from music where tcode='") + m_code + QLatin1Char('\''), PhaseLine(phase),
            QStringLiteral("and tno=") + Quoted(tno) },
        false);
}

CueRows ReadRunCues(platform::Query& q, const QString& eventCode, const CueRunLengths& lengths)
{
    const QString event = EventLine(EscapeApostrophes(eventCode));
    auto upTo = [](const char* op, const QTime& t) -> QString {
        return QStringLiteral("and tno") + QLatin1String(op) + Quoted(LongTimeText(t));
    };
    const QString desc = QStringLiteral("order by tno desc");
    const std::array<QStringList, CuePhaseCount> selects = {
        // Warm-up cues inside the random-start window could be cut off by the early end: not loaded.
        QStringList {
            event, PhaseLine(CuePhase::Warm), upTo("<", lengths.warm), upTo(">=", lengths.blank), desc },
        QStringList { event, PhaseLine(CuePhase::Race), upTo("<=", lengths.race), desc },
        QStringList { event, PhaseLine(CuePhase::Over), upTo("<=", lengths.over), desc },
        QStringList { event, PhaseLine(CuePhase::Interval), upTo("<=", lengths.interval), desc },
    };
    CueRows rows;
    for (int i = 0; i < CuePhaseCount; ++i) {
        Run(q, selects[size_t(i)], true);
        for (q.First(); !q.Eof(); q.Next())
            rows[size_t(i)].push_back({ q.FieldByName(QStringLiteral("tno"))->AsString(),
                q.FieldByName(QStringLiteral("mname"))->AsString() });
        q.Close();
    }
    return rows;
}

} // namespace console
