#pragma once

// Start's look-up in automatic operation: which heat comes next in the schedule, and the results
// program's rows for it (table result, written by that program).

#include <QString>

class TDM1;

namespace console {

struct NextHeat {
    QString round, heat; // empty when the schedule has fewer than two rows from now on
    // The label text "round-heat"; empty when no next heat was found.
    QString label;
};

// Looks the next heat up on the data module's results query (rows of rmenu from `nowText` on,
// H:MM:SS), then opens that query on the heat's rows of table result; they are left unread for
// the results display. Raises platform::DatabaseError when a select fails.
NextHeat lookupNextHeatResults(TDM1& dm, const QString& eventCode, const QString& nowText);

} // namespace console
