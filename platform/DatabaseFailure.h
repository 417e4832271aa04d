#pragma once

// What the operator is told when SQLite refuses: the cause in Japanese (the disk is full, the
// file cannot be written or read, it is no database, ...), naming the database file, with
// SQLite's own words kept under it as a detail. Every failure SQLite reports goes through here,
// so that each window that shows a database failure says it the same way.

#include <QString>

struct sqlite3;

namespace platform {

// The text for the failure SQLite has just reported on `db` (`resultCode`, what the call
// returned, when there is no connection at all); `file` names the database when the connection
// cannot (it did not open), else the connection's own file is named.
QString databaseFailureText(sqlite3* db, int resultCode, const QString& file = QString());

} // namespace platform
