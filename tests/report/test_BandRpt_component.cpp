#include "BandRptTestSupport.h"

using namespace band_samples;

TEST(BandRptComponent, ANewReportHasItsDefaults)
{
    TBandReport report;
    EXPECT_EQ(report.Options, (TBROptions { TBROption::FirstPageHeader, TBROption::LastPageFooter }));
    EXPECT_EQ(report.Zoom(), 100);
    EXPECT_TRUE(report.ShowProgress);
    EXPECT_EQ(report.PreviewWidth, 500);
    EXPECT_TRUE(report.PrintIfEmpty());
    EXPECT_TRUE(report.Available());
    EXPECT_EQ(report.Functions().names(), (QStringList { "PAGENUMBER", "COLUMNNUMBER", "REPORTTITLE" }));
    report.setZoom(0);
    report.setZoom(301);
    EXPECT_EQ(report.Zoom(), 100);
    report.setZoom(300);
    EXPECT_EQ(report.Zoom(), 300);
}

TEST(BandRptComponent, BandSwitchesCreateAndFreeBandsOfTheirType)
{
    TBandReport report;
    EXPECT_FALSE(report.Bands().HasDetail());
    EXPECT_FALSE(report.Bands().HasTitle());
    EXPECT_EQ(report.Bands().GetBand(5), nullptr);
    report.CreateBand(TBRBandType::rbDetail)->setObjectName("DetailBand1");
    report.Bands().setHasDetail(false);
    report.Bands().setHasDetail(true);
    report.Bands().setHasPageFooter(true);
    report.Bands().setHasPageHeader(true);
    EXPECT_EQ(report.Bands().GetBand(4)->objectName(), "DetailBand1");
    EXPECT_EQ(report.Bands().GetBand(6)->objectName(), "PageFooterBand1");
    QStringList order;
    for (TBRCustomBand* band : report.bandList())
        order << band->objectName();
    EXPECT_EQ(order, (QStringList { "PageHeaderBand1", "DetailBand1", "PageFooterBand1" }));
    report.Bands().setHasPageHeader(false);
    EXPECT_EQ(report.bandList().size(), 2);
}

TEST(BandRptComponent, ChildChainsAndLinksStayFreeOfCycles)
{
    TBandReport report;
    TBRBand* band = report.CreateBand(TBRBandType::rbDetail);
    band->setHasChild(true);
    TBRChildBand* child = band->GetChildBand();
    ASSERT_TRUE(child);
    child->setHasChild(true);
    TBRChildBand* grandchild = child->GetChildBand();
    EXPECT_FALSE(child->setParentBand(grandchild));
    EXPECT_EQ(child->ParentBand(), band);
    // Freeing the child leaves the grandchild attached to the band.
    band->setHasChild(false);
    EXPECT_EQ(band->GetChildBand(), grandchild);
    EXPECT_EQ(grandchild->ParentBand(), band);

    TBRBand* other = report.CreateBand(TBRBandType::rbSummary);
    EXPECT_TRUE(band->setLinkBand(other));
    EXPECT_FALSE(other->setLinkBand(band));
    // A linked band counts once in the height a band needs.
    band->Size().setUnits(TBRUnit::Native);
    other->Size().setUnits(TBRUnit::Native);
    band->Size().setHeight(100);
    other->Size().setHeight(50);
    EXPECT_DOUBLE_EQ(band->BandHeight(true), 150);
    EXPECT_DOUBLE_EQ(band->BandHeight(false), 100);
}

TEST(BandRptComponent, UnitsAreReexpressedEverywhereAndTheRunRestoresThem)
{
    TBandReport report;
    TBRBand* band;
    TBRLabel* label;
    {
        TBRReportBuilder b(report);
        a4(b);
        band = b.band(TBRBandType::rbDetail, 60);
        label = b.label(band, QStringLiteral("開始"), { .left = 254, .top = 10 });
    }
    report.setUnits(TBRUnit::Inches);
    EXPECT_DOUBLE_EQ(label->Size().Left(), 1.0);
    EXPECT_DOUBLE_EQ(band->Size().Height(), 60 / 254.0);
    EXPECT_DOUBLE_EQ(report.Page().Width(), 2100 / 254.0);
    // A form's code sets a band's height in pixels.
    band->setPixelHeight(96);
    EXPECT_DOUBLE_EQ(band->Size().Height(), 1.0);
    EXPECT_EQ(band->pixelHeight(), 96);
    int rows = 0;
    report.OnNeedData = [&](QObject*, bool& more) {
        more = ++rows <= 1;
        EXPECT_EQ(label->Size().Units(), TBRUnit::Native);
    };
    report.Prepare();
    EXPECT_EQ(report.Units(), TBRUnit::Inches);
    EXPECT_EQ(label->Size().Units(), TBRUnit::Inches);
}

TEST(BandRptComponent, AChangedTextFromOnPrintIsPrintedOnce)
{
    TBandReport report;
    TBRLabel* label;
    {
        TBRReportBuilder b(report);
        a4(b);
        label = b.label(b.band(TBRBandType::rbDetail, 60), QStringLiteral("予選"), {});
    }
    int rows = 0;
    report.OnNeedData = [&](QObject*, bool& more) { more = ++rows <= 3; };
    label->OnPrint = [&](TBRCustomLabel*, QString& v) {
        if (rows == 2)
            v = QStringLiteral("決勝");
    };
    report.Prepare();
    EXPECT_EQ(pageTexts(report, 1), (QStringList { "予選", "決勝", "予選" }));
    EXPECT_EQ(label->PrintCaption, QStringLiteral("予選"));
}

TEST(BandRptComponent, ATransparentBandDrawsItsFrameOnly)
{
    TBandReport report;
    TBRBand* band;
    {
        TBRReportBuilder b(report);
        a4(b);
        band = b.band(TBRBandType::rbDetail, 200);
    }
    band->Color = Qt::cyan;
    band->TransparentBand = true;
    band->Frame().setDrawTop(true);
    band->Frame().setWidth(2);
    int rows = 0;
    report.OnNeedData = [&](QObject*, bool& more) { more = ++rows <= 1; };
    report.Prepare();
    const QImage page = pageImages(report).first();
    EXPECT_EQ(page.pixelColor(px(500), px(100)), QColor(Qt::black));
    EXPECT_EQ(page.pixelColor(px(500), px(200)), QColor(Qt::white));
    band->TransparentBand = false;
    rows = 0;
    report.Prepare();
    EXPECT_EQ(pageImages(report).first().pixelColor(px(500), px(200)), QColor(Qt::cyan));
}
