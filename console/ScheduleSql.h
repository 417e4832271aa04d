#pragma once

// Small pieces shared by the console's classes that run statements (the schedule, the cues, the
// templates): statements run on the data module's queries as lines, text literals, and times as
// whole seconds since midnight written as H:MM:SS texts.

#include <QString>
#include <QStringList>

class QTime;

namespace platform {
class Query;
}

namespace console::schedule_sql {

// Replaces the query's lines and opens it (with live results when asked).
void Open(platform::Query& q, const QStringList& lines, bool live = false);
// Replaces the query's lines and runs them; returns the query's text as run.
QString exec(platform::Query& q, const QStringList& lines);

// A text between apostrophes for a statement, its own apostrophes doubled.
QString quoted(const QString& text);

// Whole seconds since midnight of a time; an invalid time counts as 0:00:00.
int seconds(const QTime& time);

// "select * from rmenu where tcode='<code>'", the code's apostrophes doubled.
QString eventRows(const QString& eventCode);

} // namespace console::schedule_sql
