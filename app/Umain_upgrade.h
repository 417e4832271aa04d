#pragma once

// Brings the tables of an older database up to the current layout version (table checkv),
// step by step. Each step runs as one transaction: it either completes and records its new
// version, or leaves the tables and the version as they were and stops the chain, so that the
// next start tries it again.

#include <QString>
#include <QStringList>
#include <functional>

class TDM1;

struct LayoutUpgradeResult {
    int versionBefore = 0; // as read at the start (1 when checkv had to be created)
    int versionAfter = 0;
    QStringList statements; // every statement run, in order
    // For the operator: which step stopped, the version the database stays at, and the error;
    // empty when every step needed ran.
    QString failure;
};

// Told the title of each step as it begins, and the same title again every few hundred rows of
// a step's row loop, so that the caller can show what runs and keep its window painted.
using UpgradeProgress = std::function<void(const QString& stepTitle)>;

// Runs on DM1's scratch query Qtemp. Every step is a write transaction begun as a writer, so
// that another program writing the database is waited for. When the version was lost, a
// database already at the current layout is recorded as such, without rewriting its rows.
// The recording of a missing version is not guarded: its failure raises
// platform::DatabaseError. A failing step is reported in the result.
LayoutUpgradeResult upgradeTableLayout(TDM1& dm, const UpgradeProgress& progress = {});
