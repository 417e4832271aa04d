#include "console/MonitorFiles.h"
#include "console/ScheduleSql.h"
#include "platform/DataSet.h"

namespace console {

std::vector<ScheduleLine> readScheduleLines(platform::Database& db, const QString& eventCode)
{
    platform::Query q(&db);
    q.addSQL(schedule_sql::eventRows(eventCode));
    // By start time: SQLite keeps no row order of its own, and the monitor lists the rows as given.
    q.addSQL(QStringLiteral("order by btime"));
    q.Open();
    std::vector<ScheduleLine> lines;
    for (q.First(); !q.Eof(); q.Next())
        lines.push_back({ q.FieldByName(QStringLiteral("btime"))->AsString(),
            q.FieldByName(QStringLiteral("etime"))->AsString(),
            q.FieldByName(QStringLiteral("rmenu"))->AsString() });
    q.Close();
    return lines;
}

bool Writeinfo(platform::Database& db, const QString& eventCode, MonitorFiles& files)
{
    return files.writeSchedule(readScheduleLines(db, eventCode));
}

} // namespace console
