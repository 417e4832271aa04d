#include "console/ResultLookup.h"

#include "app/Udm1.h"
#include "app/uComm.h"
#include "console/ScheduleSql.h"
#include "platform/DataSet.h"

namespace console {

NextHeat lookupNextHeatResults(TDM1& dm, const QString& eventCode, const QString& nowText)
{
    platform::Query& q = *dm.Qresult;
    q.Close();
    q.clearSQL();
    q.addSQL(schedule_sql::eventRows(eventCode));
    q.addSQL(QStringLiteral("and btime>='") + EscapeApostrophes(nowText) + QLatin1Char('\''));
    q.Open();
    NextHeat next;
    if (q.RecordCount() >= 2) {
        q.First();
        next.round = q.FieldByName(QStringLiteral("round"))->AsString();
        next.heat = q.FieldByName(QStringLiteral("heat"))->AsString();
        next.label = next.round + QLatin1Char('-') + next.heat;
    }
    q.Close();
    q.clearSQL();
    q.addSQL(QStringLiteral("select * from result ") + eventWhere(eventCode));
    q.addSQL(QStringLiteral("and round='") + EscapeApostrophes(next.round) + QStringLiteral("' and heat='")
        + EscapeApostrophes(next.heat) + QLatin1Char('\''));
    q.Open();
    return next;
}

} // namespace console
