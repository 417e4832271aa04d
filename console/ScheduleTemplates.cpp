#include "console/ScheduleTemplates.h"

#include "app/Udm1.h"
#include "console/ScheduleSql.h"
#include "platform/Asker.h"
#include "platform/DataSet.h"

namespace console {

using namespace schedule_sql;

namespace {

const QString Template = QStringLiteral("0");

// A value between apostrophes, or null for an empty number (so that an empty item number never
// becomes a text that sorts above every number).
QString literal(platform::Query& q, const char* column, bool number = false)
{
    const QString text = q.FieldByName(QLatin1String(column))->AsString();
    if (number && text.isEmpty())
        return QStringLiteral("null");
    return quoted(text);
}

// The code as a statement writes it: the template's 0 bare, an event's code quoted.
QString codeLiteral(const QString& code) { return code == Template ? code : quoted(code); }

QStringList scheduleInsert(platform::Query& row, const QString& code)
{
    return { QStringLiteral("insert into rmenu (tcode,rr,btime,etime,kara,"),
        QStringLiteral("rmenu,round,heat,uc,roundtl,heattl)values("),
        codeLiteral(code) + QStringLiteral(",1,") + literal(row, "btime") + QLatin1Char(',')
            + literal(row, "etime") + QStringLiteral(",'-',"),
        literal(row, "rmenu") + QLatin1Char(',') + literal(row, "round", true) + QLatin1Char(',')
            + literal(row, "heat", true) + QLatin1Char(',') + literal(row, "uc", true) + QLatin1Char(',')
            + literal(row, "roundtl") + QLatin1Char(',') + literal(row, "heattl") + QLatin1Char(')') };
}

QStringList cueInsert(platform::Query& row, const QString& code)
{
    return { QStringLiteral("insert into music (tcode,bun,tno,mname)values("),
        codeLiteral(code) + QLatin1Char(',') + literal(row, "bun") + QLatin1Char(',') + literal(row, "tno")
            + QLatin1Char(',') + literal(row, "mname") + QLatin1Char(')') };
}

} // namespace

ScheduleTemplates::ScheduleTemplates(TDM1& dm, QString eventCode, platform::Asker* asker)
    : m_dm(dm)
    , m_code(std::move(eventCode))
    , m_asker(asker)
{
}

bool ScheduleTemplates::saveSchedule() { return copy(template_text::SaveSchedule, true, m_code, Template); }
bool ScheduleTemplates::loadSchedule() { return copy(template_text::LoadSchedule, true, Template, m_code); }
bool ScheduleTemplates::saveCues() { return copy(template_text::SaveCues, false, m_code, Template); }
bool ScheduleTemplates::loadCues() { return copy(template_text::LoadCues, false, Template, m_code); }

bool ScheduleTemplates::copy(const QString& question, bool schedule, const QString& from, const QString& to)
{
    platform::Asker& asker = m_asker ? *m_asker : platform::currentAsker();
    if (!asker.askYesNo(QStringLiteral("確認してください。"), question))
        return false;
    const QString table = schedule ? QStringLiteral("rmenu") : QStringLiteral("music");
    platform::Query& rows = *m_dm.Qtemp;
    platform::Transaction tx(*m_dm.Database1);
    exec(
        rows, { QStringLiteral("delete from ") + table + QStringLiteral(" where tcode=") + codeLiteral(to) });
    // The schedule goes across in the order the grid shows it.
    Open(rows,
        { QStringLiteral("select * from ") + table + QStringLiteral(" where tcode=") + codeLiteral(from),
            schedule ? QStringLiteral("order by btime") : QStringLiteral("order by bun,tno") });
    for (rows.First(); !rows.Eof(); rows.Next())
        exec(*m_dm.Qedit, schedule ? scheduleInsert(rows, to) : cueInsert(rows, to));
    rows.Close();
    tx.Commit();
    return true;
}

} // namespace console
