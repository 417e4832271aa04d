#pragma once

// The SQL the program writes, as SQLite runs it. The program's statements carry habits of the
// original database engine: several columns in one "alter table ... add", dates written
// 'mm/dd/yyyy' and times written H:MM:SS with one or two hour digits. This unit splits and
// rewrites statement text and orders those date and time texts by value.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>

struct sqlite3;

namespace platform::sql {

// Collation names registered on every connection and declared on date, time and timestamp
// columns: they order 'mm/dd/yyyy' (or yyyy/mm/dd) dates and H:MM:SS times by value.
inline constexpr const char* DateCollation = "TAVODATE";
inline constexpr const char* TimeCollation = "TAVOTIME";

enum class Temporal { None, Date, Time, Timestamp };

// The kind of a declared column type: "date", "time", "timestamp"/"datetime".
Temporal temporalOf(const QString& declaredType);
// True when SQLite keeps values of the declared type as text (char, varchar, text, clob).
bool hasTextAffinity(const QString& declaredType);
// The collation that belongs to a declared type ("" for none).
QString collationFor(const QString& declaredType);
// A column type as the program's tables declare it: "date" -> "date COLLATE TAVODATE";
// "memo" -> "text"; other types unchanged.
QString columnType(const QString& type);

// A table name as the program gives it, without a Paradox-style ".DB" extension.
QString plainTableName(const QString& name);
// An identifier between double quotes, safe to place in a statement.
QString quoteIdentifier(const QString& name);

// Statements of a text separated by ';' (outside quotes and comments), trimmed, empty ones dropped.
QStringList splitStatements(const QString& sql);

// One statement rewritten into the statements SQLite runs: an alter table with several
// add/drop clauses becomes one statement per clause; create table and alter table add get the
// collations on date and time columns and memo columns become text. Others stay as they are.
QStringList rewrite(const QString& statement);

// What a select reads from: the one table of a plain "select ... from t [where/order/limit]",
// and where a rowid column can be put into its result list.
struct SelectShape {
    QString table; // "" when not a plain single-table select
    int rowidInsert = -1; // offset in the text where ", rowid" can go (before FROM); -1 when not possible
};
SelectShape analyzeSelect(const QString& statement);
// The statement with the rowid read as the last column, under the given name.
QString withRowid(const QString& statement, const SelectShape& shape, const QString& alias);

// Date and time texts as statements write them. Parsing accepts mm/dd/yyyy, yyyy/mm/dd and
// yyyy-mm-dd dates (one or two digits for month and day) and H:MM[:SS] times.
std::optional<QDate> parseDate(const QString& text);
std::optional<QTime> parseTime(const QString& text);
std::optional<QDateTime> parseDateTime(const QString& text); // a date with an optional time
QString storedDate(const QDate& d); // 'mm/dd/yyyy'
// H:MM:SS (longTimeText), the form times are stored and shown in alike; a null time gives "".
QString storedTime(const QTime& t);
QString storedDateTime(const QDateTime& dt); // 'mm/dd/yyyy H:MM:SS'
QString shownDate(const QDate& d); // yyyy/mm/dd, the program's short date format

// Registers the date and time collations on a connection.
void registerCollations(sqlite3* db);

// The collations' comparisons, on UTF-8 bytes (exposed for tests and benchmarks).
int compareDateTexts(const char* a, int na, const char* b, int nb);
int compareTimeTexts(const char* a, int na, const char* b, int nb);

} // namespace platform::sql
