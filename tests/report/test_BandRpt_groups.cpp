#include "BRPrinterTestSupport.h"
#include "BandRptTestSupport.h"
#include "platform/DataSet.h"
#include "support/TestSupport.h"

#include <QSignalSpy>

using namespace band_samples;

namespace {

// A report over the races table, with the transcript of its bands by name and page.
class GroupsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.setConnected(true);
        db.execute("create table races (cls varchar(10), heat integer, name varchar(20), rdate date)");
        for (const char* row : { "'A',1,'x','03/01/2024'", "'A',1,'y','03/01/2024'", "'A',2,'z','03/02/2024'",
                 "'B',1,'v','03/02/2024'", "'B',1,'w','03/03/2024'" })
            db.execute(QStringLiteral("insert into races values (%1)").arg(QString::fromLatin1(row)));
        query.SQL << "select * from races order by cls, heat, name";
        query.Open();
        report.setDataSet(&query);
    }
    // Band names and pages, in print order.
    QStringList Run()
    {
        if (!attached) {
            transcript.attach(report);
            attached = true;
        }
        transcript.lines.clear();
        report.Prepare();
        QStringList names;
        for (const QString& line : std::as_const(transcript.lines))
            names << line.section(u' ', 0, 1);
        return names;
    }
    QString Name() { return query.FieldByName("name")->AsString(); }

    testing_support::TempHome home;
    printer_support::YieldToEventLoop yield;
    platform::Database db;
    platform::Query query { &db };
    TBandReport report;
    Transcript transcript;
    bool attached = false;
};

} // namespace

TEST_F(GroupsTest, OuterAndInnerGroupsPrintTheirBandsWhenTheyChange)
{
    TBRBand* innerFooter;
    {
        TBRReportBuilder b(report);
        a4(b);
        TBRBand* outerFooter = b.band(TBRBandType::rbGroupFooter, 40);
        innerFooter = b.band(TBRBandType::rbGroupFooter, 40);
        b.group("cls", 50, outerFooter);
        b.group("heat", 40, innerFooter);
        b.band(TBRBandType::rbDetail, 60);
        b.band(TBRBandType::rbSummary, 60);
    }
    QStringList footerSees;
    innerFooter->BeforePrint = [&](TBRCustomBand*, bool&) { footerSees << Name(); };
    EXPECT_EQ(Run(),
        (QStringList { "GroupHeaderBand1 p1", "GroupHeaderBand2 p1", "DetailBand1 p1", "DetailBand1 p1",
            // heat 1 -> 2 within A: only the inner group
            "GroupFooterBand2 p1", "GroupHeaderBand2 p1", "DetailBand1 p1",
            // A -> B: inner footer, outer footer, outer header, inner header
            "GroupFooterBand2 p1", "GroupFooterBand1 p1", "GroupHeaderBand1 p1", "GroupHeaderBand2 p1",
            "DetailBand1 p1", "DetailBand1 p1",
            // end of data: every footer, inner first, then the summary
            "GroupFooterBand2 p1", "GroupFooterBand1 p1", "SummaryBand1 p1" }));
    // Footers see the last record of the group that ends.
    EXPECT_EQ(footerSees, (QStringList { "y", "z", "w" }));
    // The band list puts the groups around the detail, footers inner first.
    QStringList order;
    for (TBRCustomBand* band : report.bandList())
        order << band->objectName();
    EXPECT_EQ(order,
        (QStringList { "GroupHeaderBand1", "GroupHeaderBand2", "DetailBand1", "GroupFooterBand2",
            "GroupFooterBand1", "SummaryBand1" }));
}

TEST_F(GroupsTest, AGroupWhoseRecordsGoOnOnANewPageRepeatsItsHeaderThere)
{
    TBRGroup* group;
    {
        TBRReportBuilder b(report);
        a4(b);
        b.band(TBRBandType::rbPageHeader, 100);
        group = b.group("cls", 100);
        b.band(TBRBandType::rbDetail, 1200);
    }
    group->ReprintOnNewPage = true;
    EXPECT_EQ(Run(),
        (QStringList { "PageHeaderBand1 p1", "GroupHeaderBand1 p1", "DetailBand1 p1", "DetailBand1 p1",
            // A goes on with z: its header again; then B begins
            "PageHeaderBand1 p2", "GroupHeaderBand1 p2", "DetailBand1 p2", "GroupHeaderBand1 p2",
            "DetailBand1 p2",
            // B goes on with w
            "PageHeaderBand1 p3", "GroupHeaderBand1 p3", "DetailBand1 p3" }));
    group->ReprintOnNewPage = false;
    EXPECT_EQ(Run().count("GroupHeaderBand1 p3"), 0);
}

TEST_F(GroupsTest, AnErrorInTheExpressionNeverCountsAsAChange)
{
    {
        TBRReportBuilder b(report);
        a4(b);
        b.group("heat / 0", 50);
        b.band(TBRBandType::rbDetail, 60);
    }
    EXPECT_EQ(Run().count("GroupHeaderBand1 p1"), 1);
}

TEST_F(GroupsTest, AnEmptyDataSetPrintsTheEmptyReportOnlyWhenAsked)
{
    {
        TBRReportBuilder b(report);
        a4(b);
        b.band(TBRBandType::rbTitle, 50);
        b.band(TBRBandType::rbDetail, 60);
        b.band(TBRBandType::rbSummary, 60);
    }
    query.SQL.clear();
    query.SQL << "select * from races where cls = 'none'";
    query.Open();
    EXPECT_EQ(Run(), (QStringList { "TitleBand1 p1", "DetailBand1 p1", "SummaryBand1 p1" }));
    report.setPrintIfEmpty(false);
    EXPECT_EQ(Run(), QStringList());
    EXPECT_EQ(report.BRPrinter()->PageCount(), 0);
    // Without a data set the first call of OnNeedData decides, whatever PrintIfEmpty says.
    report.setDataSet(nullptr);
    report.setPrintIfEmpty(true);
    int calls = 0;
    report.OnNeedData = [&](QObject*, bool& more) {
        ++calls;
        more = false;
    };
    EXPECT_EQ(Run(), QStringList());
    EXPECT_EQ(calls, 1);
}

TEST_F(GroupsTest, ADataSetFreedDuringTheRunEndsItAsCancelled)
{
    // The program frees the data set while the run lets events through, after the second record.
    auto* freed = new platform::Query(&db);
    freed->SQL << "select * from races order by cls, heat, name";
    freed->Open();
    report.setDataSet(freed);
    TBRBand* detail;
    TBRExpr* name;
    {
        TBRReportBuilder b(report);
        a4(b);
        TBRBand* outerFooter = b.band(TBRBandType::rbGroupFooter, 40);
        TBRBand* innerFooter = b.band(TBRBandType::rbGroupFooter, 40);
        b.group("cls", 50, outerFooter);
        b.group("heat", 40, innerFooter);
        name = b.expr(innerFooter, QStringLiteral("[name] + '様'"), {});
        detail = b.band(TBRBandType::rbDetail, 60);
        TBRBand* summary = b.band(TBRBandType::rbSummary, 60);
        b.dbText(summary, freed, QStringLiteral("name"), {});
        b.expr(summary, QStringLiteral("[name]"), {});
        b.band(TBRBandType::rbPageFooter, 60);
    }
    QStringList footerSees;
    name->OnPrint = [&](TBRCustomLabel*, QString& v) { footerSees << v; };
    detail->AfterPrint = [alive = QPointer<platform::Query>(freed)](TBRCustomBand*, bool) {
        if (alive && alive->FieldByName("name")->AsString() == QStringLiteral("y"))
            QMetaObject::invokeMethod(
                qApp, [alive] { delete alive.data(); }, Qt::QueuedConnection);
    };
    // The group change after y is closed while the data set is there; then nothing more.
    EXPECT_EQ(Run(),
        (QStringList { "GroupHeaderBand1 p1", "GroupHeaderBand2 p1", "DetailBand1 p1", "DetailBand1 p1",
            "GroupFooterBand2 p1" }));
    EXPECT_EQ(footerSees, QStringList { QStringLiteral("y様") });
    EXPECT_TRUE(report.Cancelled());
    EXPECT_TRUE(report.Available());
    EXPECT_FALSE(report.DataSet());
    // The report runs again over another data set; the text bound to the freed one is empty.
    report.setDataSet(&query);
    EXPECT_TRUE(Run().contains(QStringLiteral("SummaryBand1 p1")));
    EXPECT_FALSE(report.Cancelled());
}

TEST_F(GroupsTest, ADataSetFreedInAHandlerEndsTheRunRightThere)
{
    // The program frees the data set in a band's BeforePrint: the band prints, and the run
    // stops there, whether a group footer (the record stepped back to), a group header, a
    // detail or the last footers called it.
    TBRBand* detail;
    TBRBand* outerFooter;
    TBRBand* innerFooter;
    TBRGroup* innerHeader;
    {
        TBRReportBuilder b(report);
        a4(b);
        outerFooter = b.band(TBRBandType::rbGroupFooter, 40);
        innerFooter = b.band(TBRBandType::rbGroupFooter, 40);
        b.group("cls", 50, outerFooter);
        innerHeader = b.group("heat", 40, innerFooter);
        b.expr(innerFooter, QStringLiteral("[name]"), {});
        detail = b.band(TBRBandType::rbDetail, 60);
        b.band(TBRBandType::rbSummary, 60);
    }
    const QStringList whole = Run();
    struct Case {
        TBRCustomBand* band;
        int call; // the band's print that frees the data set
        qsizetype printed; // the bands printed, the freeing one the last
    };
    for (const Case& c : { Case { innerFooter, 1, 5 }, Case { outerFooter, 1, 9 }, Case { innerHeader, 2, 6 },
             Case { detail, 3, 7 }, Case { outerFooter, 2, 15 } }) {
        SCOPED_TRACE(c.band->objectName().toStdString() + " " + std::to_string(c.call));
        auto* freed = new platform::Query(&db);
        freed->SQL << "select * from races order by cls, heat, name";
        freed->Open();
        report.setDataSet(freed);
        int calls = 0;
        c.band->BeforePrint = [&](TBRCustomBand*, bool&) {
            if (++calls == c.call)
                delete freed;
        };
        EXPECT_EQ(Run(), whole.mid(0, c.printed));
        EXPECT_TRUE(report.Cancelled());
        EXPECT_TRUE(report.Available());
        c.band->BeforePrint = nullptr;
    }
    report.setDataSet(&query);
    EXPECT_EQ(Run(), whole);
}

TEST_F(GroupsTest, ProgressReachesOneHundredAtTheLastRecord)
{
    {
        TBRReportBuilder b(report);
        a4(b);
        b.band(TBRBandType::rbDetail, 60);
    }
    QList<int> progress;
    report.OnStartPage = [&](TCustomBandReport* r) {
        QObject::connect(r->BRPrinter(), &TBRPrinter::progressUpdate, [&](int p) { progress << p; });
    };
    Run();
    EXPECT_EQ(progress, (QList<int> { 20, 40, 60, 80, 100 }));
}

TEST_F(GroupsTest, QueryParametersTakeTheReportsVariables)
{
    {
        TBRReportBuilder b(report);
        a4(b);
        b.band(TBRBandType::rbDetail, 60);
    }
    query.SQL.clear();
    query.SQL << "select * from races where rdate >= :FromDate and heat = :Heat order by name";
    query.ParamByName("FromDate")->SetDataType(platform::FieldType::ftDate);
    query.ParamByName("Heat")->SetDataType(platform::FieldType::ftInteger);
    query.ParamByName("Heat")->SetAsInteger(2);
    query.Open();
    report.Functions().AddFunction("FROMDATE", "'2024/03/02'");
    report.Functions().AddFunction("HEAT", "'one'"); // a text: the integer parameter keeps its 2
    EXPECT_EQ(Run().size(), 1);
    EXPECT_EQ(query.ParamByName("FromDate")->AsString(), "2024/03/02");
    EXPECT_EQ(query.ParamByName("Heat")->AsInteger(), 2);
    report.Functions().DeleteFunction("HEAT");
    report.Functions().AddFunction("HEAT", "1");
    EXPECT_EQ(Run().size(), 2);
}

TEST_F(GroupsTest, ControllersRefuseMastersThatLeadBackToThem)
{
    auto* a = new TBRController(&report);
    auto* b = new TBRController(&report);
    EXPECT_FALSE(report.Controller().SetMaster(&report)); // its own master identity
    EXPECT_FALSE(a->SetMaster(a));
    EXPECT_TRUE(a->SetMaster(b));
    EXPECT_FALSE(b->SetMaster(a));
    EXPECT_FALSE(b->SetMaster(&query)); // not a report, controller or controller band
    EXPECT_EQ(b->Master(), nullptr);
    // A controller under the report runs after each of its records.
    EXPECT_TRUE(b->SetMaster(&report));
    TBRBand* sub;
    {
        TBRReportBuilder builder(report);
        a4(builder);
        builder.band(TBRBandType::rbDetail, 60);
        sub = builder.band(TBRBandType::rbSubDetail, 30);
    }
    b->setDetail(sub);
    a->setDetail(sub);

    EXPECT_EQ(Run().mid(0, 6),
        (QStringList { "DetailBand1 p1", "SubDetailBand1 p1", "SubDetailBand1 p1", "DetailBand1 p1",
            "SubDetailBand1 p1", "SubDetailBand1 p1" }));
}
