#pragma once

// Reports over a small database for the tests of data-bound texts, expressions, shapes,
// pictures and sub-details: a form that holds the report and its queries, as a report form does.

#include "BRExprTestSupport.h"
#include "BandRptTestSupport.h"
#include "platform/DataSet.h"
#include "support/TestSupport.h"

#include <QObject>

namespace ctrls_samples {

// Race entries in three classes; amount 42 for the first, a NULL amount for the fourth.
inline void createEntries(platform::Database& db)
{
    db.execute("create table entry (id integer, grp varchar(10), name varchar(20), amount integer,"
               " price money, flag boolean, day date, at time, note memo)");
    db.execute("insert into entry values (1, 'A', 'あいう', 42, 1234.5, 1, '03/09/2024', '9:05:00',"
               " 'first line' || char(13) || char(10) || 'second line');"
               "insert into entry values (2, 'A', 'Bee', 8, 10, 0, '03/10/2024', '14:30:00', '');"
               "insert into entry values (3, 'B', 'Cee', 10, 20, 0, '03/11/2024', '23:59:59', '');"
               "insert into entry (id, grp, name) values (4, 'B', 'Dee');"
               "insert into entry values (5, 'C', 'Eee', 100, 30, 1, '03/12/2024', '0:00:00', '')");
}

// A form holding a report and a query "Q1" over the entries.
struct EntryForm {
    EntryForm()
    {
        db.setConnected(true);
        createEntries(db);
        q1->setObjectName(QStringLiteral("Q1"));
        q1->SQL << QStringLiteral("select * from entry order by id");
        q1->Open();
        report->setDataSet(q1);
    }
    // The texts printed on each page.
    QList<QStringList> pageTexts()
    {
        QList<QStringList> pages;
        for (int n = 1; report->BRPrinter() && n <= report->BRPrinter()->PageCount(); ++n)
            pages << band_samples::pageTexts(*report, n);
        return pages;
    }

    testing_support::TempHome home;
    platform::Database db;
    QObject form;
    platform::Query* q1 = new platform::Query(&db, &form);
    TBandReport* report = new TBandReport(&form);
};

// Records the names of the bands as they print ("-" before the name of a band that did not).
inline void recordBands(TCustomBandReport& report, QStringList& names)
{
    for (TBRCustomBand* band : report.bandList()) {
        band->AfterPrint = [&names](TBRCustomBand* b, bool printed) {
            names << (printed ? QString() : QStringLiteral("-")) + b->objectName();
        };
    }
}

} // namespace ctrls_samples
