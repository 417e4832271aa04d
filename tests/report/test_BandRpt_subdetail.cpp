// Sub-detail bands: the records of a second data set under each master record, before or after
// the master's detail band, with header and footer, empty children, and master links.

#include "BRCtrlsTestSupport.h"

using namespace band_samples;
using namespace ctrls_samples;

namespace {

// Race entries 1..3 with their heats: two for the first, none for the second, one for the
// third. Sub-detail A runs the heats after each entry (with header, footer and a count per
// entry); sub-detail B gives one line before each entry from OnNeedData.
struct HeatReport {
    HeatReport()
    {
        f.db.execute("create table heat (race integer, name varchar(20));"
                     "insert into heat values (1, 'H1a'); insert into heat values (1, 'H1b');"
                     "insert into heat values (3, 'H3a')");
        f.q1->SQL.clear();
        f.q1->SQL << "select * from entry where id <= 3 order by id";
        f.q1->Open();
        heats->setObjectName("Q2");
        heats->SQL << "select * from heat where race = :RACE order by name";
        heats->ParamByName("RACE")->SetAsInteger(0);
        heats->Open();
        f.report->Functions().AddFunction("RACE", "[Q1.id]");

        TBRReportBuilder b(*f.report);
        a4(b);
        detail = b.band(TBRBandType::rbDetail, 60);
        b.dbText(detail, f.q1, "name", {});
        a = b.subDetail(f.report, heats, 50);
        b.dbText(a, heats, "name", { .left = 100 });
        a->Bands().setHasHeader(true);
        a->Bands().setHasFooter(true);
        count = b.expr(a->FooterBand(), "COUNT", { .left = 100 }, "0 'heats'", a);
        count->ResetAfterPrint = true;
        a->setPrintIfEmpty(false);
        before = b.subDetail(f.report, nullptr, 40);
        before->setPrintBefore(true);
        before->setOnNeedData([this](QObject*, bool& more) {
            more = !given;
            given = !given;
        });
        b.Finish();
        recordBands(*f.report, bands);
    }
    EntryForm f;
    platform::Query* heats = new platform::Query(&f.db, &f.form);
    TBRBand* detail;
    TBRSubDetail* a;
    TBRSubDetail* before;
    TBRExpr* count;
    bool given = false;
    QStringList bands;
};

TEST(BRSubDetail, RunsBeforeAndAfterTheDetailOfEachMasterRecord)
{
    HeatReport r;
    QStringList order;
    for (TBRCustomBand* band : r.f.report->bandList())
        order << band->objectName();
    EXPECT_EQ(order,
        QStringList(
            { "SubDetailBand2", "DetailBand1", "GroupHeaderBand1", "SubDetailBand1", "GroupFooterBand1" }));
    r.f.report->Prepare();
    EXPECT_EQ(r.bands,
        QStringList({ "SubDetailBand2", "DetailBand1", "GroupHeaderBand1", "SubDetailBand1", "SubDetailBand1",
            "GroupFooterBand1", //
            "SubDetailBand2", "DetailBand1", //
            "SubDetailBand2", "DetailBand1", "GroupHeaderBand1", "SubDetailBand1", "GroupFooterBand1" }));
    EXPECT_EQ(r.f.pageTexts().value(0),
        QStringList({ "あいう", "H1a", "H1b", "2 heats", "Bee", "Cee", "H3a", "1 heats" }));
    savePage(pageImages(*r.f.report).value(0), "BRSubDetail_heats");
}

TEST(BRSubDetail, AnEmptyChildPrintsOnceWithPrintIfEmpty)
{
    HeatReport r;
    r.a->setPrintIfEmpty(true);
    r.f.report->Prepare();
    const QStringList second = r.bands.mid(6, 5);
    EXPECT_EQ(second,
        QStringList(
            { "SubDetailBand2", "DetailBand1", "GroupHeaderBand1", "SubDetailBand1", "GroupFooterBand1" }));
    // The empty print is no record: the count says so.
    EXPECT_EQ(r.f.pageTexts().value(0),
        QStringList({ "あいう", "H1a", "H1b", "2 heats", "Bee", "0 heats", "Cee", "H3a", "1 heats" }));
}

TEST(BRSubDetail, MasterLinks)
{
    HeatReport r;
    EXPECT_EQ(r.a->Master(), r.f.report); // a band dropped on a report runs under it
    TBRSubDetail* inner = new TBRSubDetail(r.f.report);
    EXPECT_TRUE(inner->SetMaster(r.a));
    EXPECT_FALSE(r.a->SetMaster(inner)); // circular
    EXPECT_EQ(r.a->Master(), r.f.report);
    EXPECT_FALSE(r.a->SetMaster(r.detail)); // not a controller's band
    EXPECT_TRUE(r.a->SetMaster(r.a)); // ignored
    EXPECT_EQ(r.a->Master(), r.f.report);

    delete r.a->HeaderBand(); // freed by hand: cleared
    EXPECT_FALSE(r.a->Bands().HasHeader());
    r.a->Bands().setHasFooter(false);
    EXPECT_EQ(r.a->FooterBand(), nullptr);
    r.a->Bands().setHasHeader(true);
    EXPECT_EQ(r.a->HeaderBand()->BandType(), TBRBandType::rbGroupHeader);

    delete r.a; // its inner sub-detail loses its master
    EXPECT_EQ(inner->Master(), nullptr);
}

TEST(BRSubDetail, ADataSetFreedInASubDetailsHandlerEndsTheRunThere)
{
    // The whole run: 0 SubDetailBand2, 1 DetailBand1, 2 GroupHeaderBand1, 3-4 SubDetailBand1,
    // 5 GroupFooterBand1, 6 SubDetailBand2, 7 DetailBand1, 8 SubDetailBand2, 9 DetailBand1,
    // 10 GroupHeaderBand1, 11 SubDetailBand1, 12 GroupFooterBand1. The band whose handler frees
    // a data set prints, and nothing after it: no master record without its sub-records.
    enum Band { Header, Detail, Footer, NeedData };
    struct Case {
        Band band;
        int call; // the handler's call that frees the data set
        bool master; // the master's data set goes, else the sub-detail's
        bool printIfEmpty;
        qsizetype printed;
    };
    const QStringList whole = [] {
        HeatReport r;
        r.f.report->Prepare();
        return r.bands;
    }();
    ASSERT_EQ(whole.size(), 13);
    for (const Case& c : { Case { Header, 1, false, false, 3 }, Case { Detail, 1, false, false, 4 },
             Case { Detail, 2, false, false, 5 }, Case { Footer, 1, false, false, 6 },
             Case { Header, 2, false, false, 11 }, Case { Footer, 2, false, false, 13 },
             Case { Header, 2, false, true, 9 }, Case { Footer, 2, false, true, 11 },
             Case { Detail, 1, true, false, 4 }, Case { NeedData, 3, true, false, 6 },
             Case { NeedData, 3, false, false, 6 } }) {
        static const char* const bandNames[] = { "header", "detail", "footer", "OnNeedData" };
        SCOPED_TRACE(std::string(bandNames[c.band]) + " " + std::to_string(c.call)
            + (c.master ? " master" : "") + (c.printIfEmpty ? " empty" : ""));
        HeatReport r;
        r.a->setPrintIfEmpty(c.printIfEmpty);
        QPointer<platform::DataSet> freed = c.master ? static_cast<platform::DataSet*>(r.f.q1) : r.heats;
        int calls = 0;
        const auto count = [&] {
            if (++calls == c.call)
                delete freed.data();
        };
        if (c.band == NeedData) {
            r.before->setOnNeedData([&](QObject*, bool& more) {
                more = !r.given;
                r.given = !r.given;
                count();
            });
        } else {
            TBRCustomBand* band = c.band == Header ? r.a->HeaderBand()
                : c.band == Detail                 ? static_cast<TBRCustomBand*>(r.a)
                                                   : r.a->FooterBand();
            band->BeforePrint = [&](TBRCustomBand*, bool&) { count(); };
        }
        r.f.report->Prepare();
        EXPECT_TRUE(freed.isNull());
        EXPECT_TRUE(r.f.report->Cancelled());
        EXPECT_TRUE(r.f.report->Available());
        QStringList expected = whole.mid(0, c.printed);
        if (c.printIfEmpty && c.printed > 8)
            expected
                = (whole.mid(0, 8) + QStringList { "GroupHeaderBand1", "SubDetailBand1", "GroupFooterBand1" })
                      .mid(0, c.printed);
        EXPECT_EQ(r.bands, expected);
    }
}

TEST(BRSubDetail, AFreedSubDetailIsNoLongerRun)
{
    HeatReport r;
    delete r.a;
    r.f.report->Prepare();
    EXPECT_EQ(r.bands.filter("SubDetailBand1"), QStringList());
    EXPECT_EQ(r.bands.count("DetailBand1"), 3);
}

} // namespace
