#pragma once

// Brings the tables of an older database up to the current layout version (table checkv),
// step by step. Each step runs as one transaction: it either completes and records its new
// version, or leaves the tables and the version as they were and stops the chain, so that the
// next start tries it again.

#include <QString>
#include <QStringList>

class TDM1;

struct LayoutUpgradeResult {
    int versionBefore = 0; // as read at the start (1 when checkv had to be created)
    int versionAfter = 0;
    QStringList statements; // every statement run, in order
    QString failure; // the failing step's error; empty when every step needed ran
};

// Runs on DM1's scratch query Qtemp. The creation of a missing checkv is not guarded: its
// failure raises platform::DatabaseError. A failing step is reported in the result.
LayoutUpgradeResult UpgradeTableLayout(TDM1& dm);
