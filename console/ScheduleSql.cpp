#include "console/ScheduleSql.h"

#include "app/uComm.h"
#include "platform/DataSet.h"

#include <QTime>

namespace console::schedule_sql {

void Open(platform::Query& q, const QStringList& lines, bool live)
{
    q.Close();
    q.RequestLive = live;
    q.SQL = lines;
    q.Open();
}

QString exec(platform::Query& q, const QStringList& lines)
{
    q.Close();
    q.RequestLive = false;
    q.SQL = lines;
    q.ExecSQL();
    return q.SQL.join(QLatin1Char(' '));
}

QString quoted(const QString& text)
{
    return QLatin1Char('\'') + EscapeApostrophes(text) + QLatin1Char('\'');
}

int seconds(const QTime& time) { return time.isValid() ? time.msecsSinceStartOfDay() / 1000 : 0; }

QString eventRows(const QString& eventCode)
{
    return QStringLiteral("select * from rmenu ") + eventWhere(eventCode);
}

} // namespace console::schedule_sql
