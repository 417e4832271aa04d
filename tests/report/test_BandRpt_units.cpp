#include "report/BandRpt.h"

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A report stand-in that tells its font size and counts what the page asks of it.
struct FakeReport : TBRUnitOwner {
    int fontSize = 10;
    int layouts = 0, unitChanges = 0, repaints = 0, columnChanges = 0;
    int unitFontSize() const override { return fontSize; }
    void pageLayoutChanged() override { ++layouts; }
    void pageUnitsChanged() override { ++unitChanges; }
    void designRepaint() override { ++repaints; }
    void columnsChanged() override { ++columnChanges; }
};

// Sets the locale's unit for the pages made inside one test.
class DefaultUnit {
public:
    explicit DefaultUnit(TBRUnit u)
        : m_previous(brDefaultUnit())
    {
        brSetDefaultUnit(u);
    }
    ~DefaultUnit() { brSetDefaultUnit(m_previous); }

private:
    TBRUnit m_previous;
};

double nativeOf(TBRPage& page, int index)
{
    const TBRUnit u = page.Units();
    page.setUnits(TBRUnit::Native);
    const double v = page.Value(index);
    page.setUnits(u);
    return v;
}

} // namespace

TEST(BandRptUnits, EveryUnitRoundTripsBothWays)
{
    FakeReport report;
    TBRBandSize size(nullptr, &report);
    size.setPixelsPerInch(96);
    for (TBRUnit u :
        { TBRUnit::MM, TBRUnit::Inches, TBRUnit::Pixels, TBRUnit::Characters, TBRUnit::Native }) {
        size.setUnits(u);
        for (double v : { 0.0, 1.0, 2100.0, 2970.5, -35.25, 123456.0 }) {
            for (bool horizontal : { true, false }) {
                EXPECT_NEAR(size.SaveUnit(size.LoadUnit(v, horizontal), horizontal), v, 1e-9)
                    << "unit " << int(u) << " value " << v;
            }
        }
    }
}

TEST(BandRptUnits, ConversionsGiveTheExpectedLengths)
{
    FakeReport report;
    TBRBandSize s(nullptr, &report);
    s.setPixelsPerInch(96);
    s.setUnits(TBRUnit::MM);
    EXPECT_DOUBLE_EQ(s.LoadUnit(2100, true), 210.0);
    s.setUnits(TBRUnit::Inches);
    EXPECT_DOUBLE_EQ(s.LoadUnit(254, true), 1.0);
    s.setUnits(TBRUnit::Pixels);
    EXPECT_DOUBLE_EQ(s.LoadUnit(254, true), 96.0);
    s.setZoom(200);
    EXPECT_DOUBLE_EQ(s.LoadUnit(254, true), 192.0);
    EXPECT_DOUBLE_EQ(s.SaveUnit(192, true), 254.0);
    s.setUnits(TBRUnit::Characters);
    EXPECT_DOUBLE_EQ(s.LoadUnit(100, true), 100 / BRCharsPerCmX(10) / 10);
    EXPECT_DOUBLE_EQ(s.LoadUnit(100, false), 100 / BRCharsPerCmY(10) / 10);
    EXPECT_DOUBLE_EQ(BRCharsPerCmX(10), 80.0 / 10 / 2.54);
    EXPECT_DOUBLE_EQ(BRCharsPerCmY(10), 145.3 / 10 / 2.54);
}

TEST(BandRptUnits, NegativeFontSizeCountsAsItsSize)
{
    FakeReport report;
    TBRBandSize s(nullptr, &report);
    s.setUnits(TBRUnit::Characters);
    const double positive = s.LoadUnit(500, true);
    report.fontSize = -10;
    EXPECT_DOUBLE_EQ(s.LoadUnit(500, true), positive);
}

TEST(BandRptUnits, ZeroFontSizeAndZeroZoomStayFinite)
{
    FakeReport report;
    report.fontSize = 0;
    TBRBandSize s(nullptr, &report);
    s.setUnits(TBRUnit::Characters);
    EXPECT_TRUE(std::isfinite(s.SaveUnit(3, true)));
    EXPECT_GT(s.LoadUnit(100, false), 0.0);
    EXPECT_NEAR(s.SaveUnit(s.LoadUnit(100, false), false), 100, 1e-9);

    TBRBandSize p;
    p.setUnits(TBRUnit::Pixels);
    p.setZoom(0);
    EXPECT_EQ(p.Zoom(), 100);
    EXPECT_TRUE(std::isfinite(p.SaveUnit(10, true)));
}

TEST(BandRptPage, MetricLocaleGivesA4WithTenMillimetreMargins)
{
    DefaultUnit mm(TBRUnit::MM);
    TBRPage page;
    EXPECT_EQ(page.Units(), TBRUnit::MM);
    EXPECT_EQ(page.PaperSize(), TBRPaperSize::A4);
    EXPECT_DOUBLE_EQ(nativeOf(page, TBRPage::WidthIndex), 2100);
    EXPECT_DOUBLE_EQ(nativeOf(page, TBRPage::LengthIndex), 2970);
    for (int i : { TBRPage::TopMarginIndex, TBRPage::BottomMarginIndex, TBRPage::LeftMarginIndex,
             TBRPage::RightMarginIndex })
        EXPECT_DOUBLE_EQ(nativeOf(page, i), 100);
    EXPECT_DOUBLE_EQ(page.ColumnSpace(), 0);
    EXPECT_EQ(page.Columns(), 1);
    EXPECT_TRUE(page.Ruler());
    EXPECT_EQ(page.Orientation(), TPrinterOrientation::poPortrait);
}

TEST(BandRptPage, USLocaleGivesLetterWithHalfInchMargins)
{
    DefaultUnit inches(TBRUnit::Inches);
    TBRPage page;
    EXPECT_EQ(page.PaperSize(), TBRPaperSize::Letter);
    EXPECT_DOUBLE_EQ(page.Width(), 8.5);
    EXPECT_DOUBLE_EQ(page.Length(), 11.0);
    EXPECT_DOUBLE_EQ(nativeOf(page, TBRPage::LeftMarginIndex), 127);
}

TEST(BandRptPage, A4LandscapeSwapsAndBack)
{
    DefaultUnit mm(TBRUnit::MM);
    FakeReport report;
    TBRPage page(&report);
    page.setPaperSize(TBRPaperSize::A4);
    page.setOrientation(TPrinterOrientation::poLandscape);
    EXPECT_DOUBLE_EQ(nativeOf(page, TBRPage::WidthIndex), 2970);
    EXPECT_DOUBLE_EQ(nativeOf(page, TBRPage::LengthIndex), 2100);
    EXPECT_EQ(page.PaperSize(), TBRPaperSize::A4);
    EXPECT_EQ(page.Units(), TBRUnit::MM);
    page.setOrientation(TPrinterOrientation::poPortrait);
    EXPECT_DOUBLE_EQ(nativeOf(page, TBRPage::WidthIndex), 2100);
    EXPECT_DOUBLE_EQ(nativeOf(page, TBRPage::LengthIndex), 2970);
    EXPECT_GT(report.layouts, 0);
}

TEST(BandRptPage, WidthAndLengthAcceptWritesOnlyOnCustomPaper)
{
    DefaultUnit mm(TBRUnit::MM);
    TBRPage page;
    page.setWidth(100);
    page.setLength(100);
    EXPECT_DOUBLE_EQ(page.Width(), 210);
    EXPECT_DOUBLE_EQ(page.Length(), 297);
    page.setPaperSize(TBRPaperSize::Custom);
    EXPECT_DOUBLE_EQ(page.Width(), 210); // switching to Custom keeps the size
    page.setWidth(100);
    page.setLength(150);
    EXPECT_DOUBLE_EQ(page.Width(), 100);
    EXPECT_DOUBLE_EQ(page.Length(), 150);
    // Custom and Default are not swapped by orientation.
    page.setOrientation(TPrinterOrientation::poLandscape);
    EXPECT_DOUBLE_EQ(page.Width(), 100);
    page.setPaperSize(TBRPaperSize::Default);
    EXPECT_DOUBLE_EQ(page.Width(), 100);
    EXPECT_DOUBLE_EQ(page.Length(), 150);
    page.setWidth(50);
    EXPECT_DOUBLE_EQ(page.Width(), 100);
}

TEST(BandRptPage, TablePapersStoredWiderThanLongAreUsedAsStored)
{
    DefaultUnit mm(TBRUnit::MM);
    TBRPage page;
    page.setPaperSize(TBRPaperSize::Ledger);
    EXPECT_DOUBLE_EQ(page.Width(), 431.8);
    EXPECT_DOUBLE_EQ(page.Length(), 279.4);
    page.setPaperSize(static_cast<TBRPaperSize>(200)); // no such paper
    EXPECT_EQ(page.PaperSize(), TBRPaperSize::Ledger);
}

TEST(BandRptPage, ValuesAreNativeWhateverTheUnit)
{
    DefaultUnit inches(TBRUnit::Inches);
    TBRPage written;
    written.setPaperSize(TBRPaperSize::Custom);
    written.setWidth(8.0);
    written.setLeftMargin(1.0);
    const QList<double> values = written.WriteValues();
    ASSERT_EQ(values.size(), 7);
    EXPECT_DOUBLE_EQ(values[TBRPage::WidthIndex], 8.0 * 254);
    EXPECT_DOUBLE_EQ(values[TBRPage::LeftMarginIndex], 254);

    brSetDefaultUnit(TBRUnit::MM);
    TBRPage read;
    read.ReadValues(values);
    EXPECT_EQ(read.WriteValues(), values);
    EXPECT_DOUBLE_EQ(read.LeftMargin(), 25.4);
}

TEST(BandRptPage, NotifiesItsReport)
{
    DefaultUnit mm(TBRUnit::MM);
    FakeReport report;
    TBRPage page(&report);
    EXPECT_EQ(report.layouts, 0); // nothing is asked of a report still being built
    page.setTopMargin(15);
    EXPECT_EQ(report.layouts, 1);
    EXPECT_EQ(report.repaints, 1);
    page.setUnits(TBRUnit::Inches);
    EXPECT_EQ(report.unitChanges, 1);
    page.setColumns(0);
    page.setColumns(1);
    EXPECT_EQ(report.columnChanges, 0);
    page.setColumns(2);
    EXPECT_EQ(page.Columns(), 2);
    EXPECT_EQ(report.columnChanges, 1);
}

TEST(BandRptPage, SaveAndRestoreUnits)
{
    DefaultUnit mm(TBRUnit::MM);
    TBRPage page;
    page.SaveUnits();
    EXPECT_EQ(page.Units(), TBRUnit::Pixels);
    page.setUnits(TBRUnit::Native);
    EXPECT_DOUBLE_EQ(page.Width(), 2100);
    page.RestoreUnits();
    EXPECT_EQ(page.Units(), TBRUnit::MM);
}

TEST(BandRptBandSize, WritesResizeTheBandInScreenPixels)
{
    QWidget band;
    band.setGeometry(5, 7, 10, 10);
    TBRBandSize size(&band);
    size.setPixelsPerInch(96);
    size.setUnits(TBRUnit::Native);
    size.setHeight(254);
    size.setWidth(508);
    EXPECT_EQ(band.geometry(), QRect(5, 7, 192, 96));
    EXPECT_DOUBLE_EQ(size.Height(), 254);
    size.setZoom(50);
    size.ReadValues({ 508, 254 });
    EXPECT_EQ(band.geometry(), QRect(5, 7, 48, 96));
    EXPECT_EQ(size.WriteValues(), (QList<double> { 508, 254 }));
    EXPECT_FALSE(size.updating());
}

TEST(BandRptPaper, TableAndPrinterCodes)
{
    EXPECT_FALSE(brPaperDimensions(TBRPaperSize::Default));
    const auto a4 = *brPaperDimensions(TBRPaperSize::A4);
    EXPECT_DOUBLE_EQ(a4.width, 210);
    EXPECT_DOUBLE_EQ(a4.length, 297);
    EXPECT_DOUBLE_EQ(brPaperDimensions(TBRPaperSize::A2)->length, 594);
    EXPECT_DOUBLE_EQ(brPaperDimensions(TBRPaperSize::EnvPersonal)->width, 92.01);
    EXPECT_DOUBLE_EQ(brPaperDimensions(TBRPaperSize::Custom)->width, 0);
    EXPECT_EQ(brPaperToDevMode(TBRPaperSize::A4), 9);
    EXPECT_EQ(brPaperToDevMode(TBRPaperSize::Custom), 256);
}

TEST(BandRptPaper, GuessTakesTheCommonCodeFirst)
{
    // A Letter page at 96 dots per inch: 816 x 1056 pixels.
    const auto letter = brPaperCandidates(816, 1056, 96);
    ASSERT_FALSE(letter.empty());
    EXPECT_EQ(letter.front(), (TBRPaperGuess { TBRPaperSize::Letter, TPrinterOrientation::poPortrait }));
    EXPECT_EQ(letter.size(), 3u); // Letter, LetterSmall, Note

    const auto a4Landscape = brPaperCandidates(1123, 794, 96);
    ASSERT_FALSE(a4Landscape.empty());
    EXPECT_EQ(a4Landscape.front(), (TBRPaperGuess { TBRPaperSize::A4, TPrinterOrientation::poLandscape }));

    EXPECT_TRUE(brPaperCandidates(100, 100, 96).empty());
    EXPECT_TRUE(brPaperCandidates(816, 1056, 0).empty());
}

namespace {

QImage framed(const TBRFrame& frame, double factor)
{
    QImage img(60, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    frame.PaintIt(p, QRect(10, 5, 40, 30), factor, factor);
    return img;
}

bool black(const QImage& img, int x, int y) { return img.pixel(x, y) == qRgb(0, 0, 0); }

} // namespace

TEST(BandRptFrame, SidesAreStripsOfThePointWidth)
{
    TBRFrame frame;
    EXPECT_FALSE(frame.HasSides());
    frame.setDrawTop(true);
    frame.setDrawLeft(true);
    EXPECT_TRUE(frame.HasSides());
    frame.setWidth(3); // 3 pt at 96 dpi: 4 pixels
    const QImage img = framed(frame, 96 / 254.0);
    EXPECT_TRUE(black(img, 10, 5));
    EXPECT_TRUE(black(img, 49, 8)); // top strip runs to the right edge
    EXPECT_FALSE(black(img, 49, 9)); // and is 4 pixels high
    EXPECT_TRUE(black(img, 13, 34));
    EXPECT_FALSE(black(img, 14, 20));
    EXPECT_FALSE(black(img, 10, 35)); // bottom edge is exclusive
    EXPECT_FALSE(black(img, 49, 34)); // no right or bottom side
}

TEST(BandRptFrame, OnePointIsAtLeastOnePixelAndZeroIsNothing)
{
    TBRFrame frame;
    frame.setDrawBottom(true);
    frame.setDrawRight(true);
    frame.setWidth(1);
    QImage img = framed(frame, 0.01);
    EXPECT_TRUE(black(img, 30, 34));
    EXPECT_FALSE(black(img, 30, 33));
    EXPECT_TRUE(black(img, 49, 20));

    frame.setWidth(-1);
    img = framed(frame, 5.0);
    EXPECT_TRUE(black(img, 30, 34));
    EXPECT_FALSE(black(img, 30, 33));

    frame.setWidth(0);
    img = framed(frame, 5.0);
    EXPECT_FALSE(black(img, 30, 34));
    EXPECT_FALSE(black(img, 49, 20));
}

TEST(BandRptFrame, PenTakesStyleAndColour)
{
    TBRFrame frame;
    frame.setStyle(Qt::DashLine);
    frame.setColor(Qt::red);
    QPen pen(Qt::blue, 5);
    frame.SetPen(pen);
    EXPECT_EQ(pen.width(), 1);
    EXPECT_EQ(pen.style(), Qt::DashLine);
    EXPECT_EQ(pen.color(), QColor(Qt::red));
}
