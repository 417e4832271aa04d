#include "BandRptTestSupport.h"
#include "support/TestSupport.h"

using namespace band_samples;

namespace {

// A report over rows given by OnNeedData: page header, detail, page footer with "n/N".
struct ListReport {
    explicit ListReport(int rows, double detailHeight = 60)
        : rowCount(rows)
    {
        TBRReportBuilder b(report);
        A4(b);
        header = b.Band(TBRBandType::rbPageHeader, 200);
        b.Label(header, QStringLiteral("レース スケジュール"),
            { .top = 20, .pointSize = 14, .alignment = TAlignment::taCenter, .alignToBand = true });
        detail = b.Band(TBRBandType::rbDetail, detailHeight);
        text = b.Label(detail, QString(), { .left = 0, .top = 5, .pointSize = 9 });
        footer = b.Band(TBRBandType::rbPageFooter, 80);
        pageLabel = b.Label(footer, QString(),
            { .left = 1900, .top = 10, .pointSize = 9, .alignment = TAlignment::taRightJustify });
        b.Finish();
        report.OnNeedData = [this](QObject*, bool& more) { more = ++row <= rowCount; };
        text->OnPrint
            = [this](TBRCustomLabel*, QString& v) { v = QStringLiteral("行 %1 予選ヒート").arg(row); };
        pageLabel->OnPrint = [this](TBRCustomLabel*, QString& v) {
            v = QStringLiteral("%1/%2").arg(report.PageNumber()).arg(pages);
        };
    }
    void Run()
    {
        row = 0;
        report.Prepare();
    }
    TBandReport report;
    TBRBand* header;
    TBRBand* detail;
    TBRBand* footer;
    TBRLabel* text;
    TBRLabel* pageLabel;
    int row = 0;
    int rowCount;
    int pages = 0;
};

} // namespace

TEST(BandRptRun, PrepareGivesThePageCountAndShowsNothing)
{
    ListReport r(100);
    bool previewed = false;
    r.report.OnPreview = [&](TBRPrinter*) { previewed = true; };
    r.Run();
    ASSERT_TRUE(r.report.BRPrinter());
    // 2770 - 200 header - 80 footer = 2490 per page: 41 rows of 60.
    EXPECT_EQ(r.report.BRPrinter()->PageCount(), 3);
    EXPECT_FALSE(previewed);
    r.pages = r.report.BRPrinter()->PageCount();
    r.Run();
    const QList<QImage> pages = Pages(r.report);
    ASSERT_EQ(pages.size(), 3);
    for (int i = 0; i < pages.size(); ++i)
        SavePage(pages[i], QStringLiteral("BandRpt_list_page%1").arg(i + 1));
    EXPECT_TRUE(Texts(r.report, 3).contains(QStringLiteral("3/3")));
    EXPECT_TRUE(Texts(r.report, 1).contains(QStringLiteral("行 1 予選ヒート")));
}
