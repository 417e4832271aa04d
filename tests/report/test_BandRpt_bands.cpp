#include "BandRptTestSupport.h"

#include <array>
#include <map>
#include <numeric>
#include <stdexcept>

using namespace band_samples;

namespace {

// A report over `rows` records handed out by OnNeedData, built by the test.
struct Rows {
    explicit Rows(int n)
        : rows(n)
    {
        report.OnNeedData = [this](QObject*, bool& more) { more = ++row <= rows; };
    }
    QStringList run()
    {
        if (!attached) {
            transcript.attach(report);
            attached = true;
        }
        row = 0;
        transcript.lines.clear();
        report.Prepare();
        return transcript.lines;
    }
    int pages() const { return report.BRPrinter() ? report.BRPrinter()->PageCount() : 0; }
    TBandReport report;
    Transcript transcript;
    int row = 0;
    int rows;
    bool attached = false;
};

// The lines of every stored page, in order.
QStringList allTexts(TCustomBandReport& report)
{
    QStringList all;
    for (int n = 1; n <= report.BRPrinter()->PageCount(); ++n)
        all << pageTexts(report, n);
    return all;
}

QString numbered(int count, const QString& prefix = QStringLiteral("行"))
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << prefix + QString::number(i);
    return lines.join(u'\r');
}

} // namespace

TEST(BandRptBands, DisabledAndSuppressedBandsAndTheirChildren)
{
    Rows r(3);
    TBRBand* title;
    TBRBand* detail;
    {
        TBRReportBuilder b(r.report);
        a4(b);
        title = b.band(TBRBandType::rbTitle, 80);
        detail = b.band(TBRBandType::rbDetail, 100);
        b.child(detail, 50);
    }
    int titleAsked = 0;
    title->SetEnabled(false);
    title->BeforePrint = [&](TBRCustomBand*, bool&) { ++titleAsked; };
    detail->BeforePrint = [&](TBRCustomBand*, bool& print) { print = r.row != 2; };
    EXPECT_EQ(r.run(),
        (QStringList { "TitleBand1 skipped", "DetailBand1 p1 y100-200", "ChildBand1 p1 y200-250",
            // Suppressed: no space made, the position stays, the child still prints.
            "DetailBand1 skipped", "ChildBand1 p1 y250-300", "DetailBand1 p1 y300-400",
            "ChildBand1 p1 y400-450" }));
    EXPECT_EQ(titleAsked, 0);
}

TEST(BandRptBands, BandsMoveOnWhenTheRestOfThePageIsTooShort)
{
    Rows r(3);
    {
        TBRReportBuilder b(r.report);
        a4(b);
        b.band(TBRBandType::rbDetail, 1000);
        b.band(TBRBandType::rbPageFooter, 100);
    }
    EXPECT_EQ(r.run(),
        (QStringList { "DetailBand1 p1 y100-1100", "DetailBand1 p1 y1100-2100",
            "PageFooterBand1 p1 y2770-2870", "DetailBand1 p2 y100-1100", "PageFooterBand1 p2 y2770-2870" }));
}

TEST(BandRptBands, ABandTallerThanAnEmptyPageStartsAColumnOfItsOwn)
{
    // Three records of a 300-mm band on A4 (277 mm between the margins): the first stands at
    // the top of its column already (below the title), each later one starts a page and prints
    // from its top, cut at the top of the footer's space; the page footer keeps its place.
    Rows r(3);
    {
        TBRReportBuilder b(r.report);
        a4(b);
        b.band(TBRBandType::rbTitle, 200);
        TBRBand* detail = b.band(TBRBandType::rbDetail, 3000);
        detail->Color = Qt::yellow;
        TBRLabel* record = b.label(detail, QString(), { .top = 10, .transparent = true });
        record->OnPrint = [&r](TBRCustomLabel*, QString& v) { v = QStringLiteral("記録%1").arg(r.row); };
        b.band(TBRBandType::rbPageFooter, 100);
    }
    EXPECT_EQ(r.run(),
        (QStringList { "TitleBand1 p1 y100-300", "DetailBand1 p1 y300-3300", "PageFooterBand1 p1 y2770-2870",
            "DetailBand1 p2 y100-3100", "PageFooterBand1 p2 y2770-2870", "DetailBand1 p3 y100-3100",
            "PageFooterBand1 p3 y2770-2870" }));
    ASSERT_EQ(r.pages(), 3);
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(pageTexts(r.report, n), QStringList { QStringLiteral("記録%1").arg(n) });
    // The band fills the page below the top margin down to the footer.
    const QImage page2 = pageImages(r.report)[1];
    savePage(page2, QStringLiteral("BandRpt_tall_band_page2"));
    EXPECT_EQ(page2.pixelColor(px(1000), px(2700)), QColor(Qt::yellow));
    EXPECT_EQ(page2.pixelColor(px(1000), px(2800)), QColor(Qt::white));
    EXPECT_EQ(page2.pixelColor(px(1000), px(2950)), QColor(Qt::white));
}

TEST(BandRptBands, ABandTallerThanTheRoomAboveTheFooterEndsAtTheFootersTop)
{
    // A4 between 10-mm margins, a page header of 100 and a footer of 70 leave 2600 for a band
    // of 2700, which is shorter than the page: each record takes a page of its own, none is
    // left empty, and the band is cut where the footer's space begins. The footer is
    // transparent: anything the band drew there would show through.
    Rows r(3);
    {
        TBRReportBuilder b(r.report);
        a4(b);
        b.band(TBRBandType::rbPageHeader, 100);
        TBRBand* detail = b.band(TBRBandType::rbDetail, 2700);
        detail->Color = Qt::yellow;
        b.label(detail, QStringLiteral("本文の終わり"), { .left = 300, .top = 2400, .pointSize = 20 });
        TBRBand* footer = b.band(TBRBandType::rbPageFooter, 70);
        footer->TransparentBand = true;
        b.label(footer, QStringLiteral("フッター"), { .top = 5, .transparent = true });
    }
    EXPECT_EQ(r.run(),
        (QStringList { "PageHeaderBand1 p1 y100-200", "DetailBand1 p1 y200-2900",
            "PageFooterBand1 p1 y2800-2870", "PageHeaderBand1 p2 y100-200", "DetailBand1 p2 y200-2900",
            "PageFooterBand1 p2 y2800-2870", "PageHeaderBand1 p3 y100-200", "DetailBand1 p3 y200-2900",
            "PageFooterBand1 p3 y2800-2870" }));
    const QImage page = pageImages(r.report)[1];
    savePage(page, QStringLiteral("BandRpt_tall_band_over_footer"));
    EXPECT_EQ(page.pixelColor(px(1000), px(2790)), QColor(Qt::yellow));
    // Below the footer's top only the footer's text shows: no yellow, nothing below the footer.
    int yellow = 0;
    for (int y = px(2800); y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            yellow += page.pixelColor(x, y) == QColor(Qt::yellow);
    EXPECT_EQ(yellow, 0);
    EXPECT_GT(darkPixels(page, QRect(px(100), px(2800), px(400), px(70))), 20);
    EXPECT_EQ(darkBounds(page.copy(0, px(2870), page.width(), page.height() - px(2870))), QRect());
    EXPECT_TRUE(pageTexts(r.report, 2).contains(QStringLiteral("フッター")));
}

TEST(BandRptBands, EveryPageAndColumnHoldsARecordAndNoLineIsCut)
{
    // A4 between 10-mm margins under a page header of 100 and a column header of 50, over a
    // footer of 70: a column offers 2550 from 250 to the footer's top at 2800. Each layout
    // lists the bands standing in each column of each page ("|" between columns; D<n> wherever
    // record n's band prints, also where it goes on); the page footer stands on every page.
    enum class Text : std::uint8_t {
        Short, // "r<n>" at the band's top
        Long, // a stretching label whose text needs about one and a half columns
        Foot, // "end<n>" 60 above the band's foot, whose line the footer's top would cut
    };
    struct Layout {
        const char* name;
        int columns;
        double detail;
        int perGroup; // records per group (group header and footer of 50); 0: no group
        bool summary; // a summary of 100
        Text text;
        int records;
        QStringList pages;
        double child = 0; // a child band of the detail
        double sub = 0; // a sub-detail of one row under each record
    };
    const Layout layouts[] = {
        { "details taller than a column", 1, 2600, 0, false, Text::Short, 4,
            { "PH CH D1", "PH CH D2", "PH CH D3", "PH CH D4" } },
        { "details taller than the page", 1, 3000, 0, false, Text::Short, 4,
            { "PH CH D1", "PH CH D2", "PH CH D3", "PH CH D4" } },
        { "a group in two columns", 2, 2600, 9, true, Text::Short, 4,
            { "PH CH GH D1 | CH D2", "PH CH D3 | CH D4", "PH CH GF S" } },
        { "a group in three columns", 3, 2800, 9, false, Text::Short, 4,
            { "PH CH GH D1 | CH D2 | CH D3", "PH CH D4 | CH GF" } },
        // What a long label left of a column the group footer, the next header and the
        // summary take up, rather than pages of their own.
        { "long labels in groups", 1, 2600, 1, true, Text::Long, 2,
            { "PH CH GH D1", "PH CH D1 GF GH", "PH CH D2", "PH CH D2 GF S" } },
        { "long labels in groups in two columns", 2, 2600, 1, true, Text::Long, 2,
            { "PH CH GH D1 | CH D1 GF GH", "PH CH D2 | CH D2 GF S" } },
        // A band that fits the page: the label fills its first page to the footer's top.
        { "long labels in bands that fit", 1, 2000, 0, false, Text::Long, 4,
            { "PH CH D1", "PH CH D1", "PH CH D2", "PH CH D2", "PH CH D3", "PH CH D3", "PH CH D4",
                "PH CH D4" } },
        // The line cut by the footer's top goes on whole; the next record does not fit after it.
        { "a line at the band's foot", 1, 2600, 0, false, Text::Foot, 2,
            { "PH CH D1", "PH CH D1", "PH CH D2", "PH CH D2" } },
        // A child band and a sub-detail belong to their record: the next record's band, which
        // fits in no column, does not join them.
        { "child bands", 1, 2600, 0, false, Text::Short, 2, { "PH CH D1", "PH CH C", "PH CH D2", "PH CH C" },
            100 },
        { "sub-details taller than a column", 1, 100, 0, false, Text::Short, 2,
            { "PH CH D1", "PH CH SD", "PH CH D2", "PH CH SD" }, 0, 2600 },
    };
    const double footerTop = 2800;
    const QString footerText = QStringLiteral("フッター");
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        Rows r(l.records);
        TBRLabel* label;
        {
            TBRReportBuilder b(r.report);
            a4(b);
            b.Columns(l.columns, 50);
            b.band(TBRBandType::rbPageHeader, 100);
            b.band(TBRBandType::rbColumnHeader, 50);
            if (l.perGroup > 0)
                b.group(QStringLiteral("GRP"), 50, b.band(TBRBandType::rbGroupFooter, 50));
            TBRBand* detail = b.band(TBRBandType::rbDetail, l.detail);
            detail->Size().setUnits(TBRUnit::Native);
            detail->Size().setWidth(std::array { 1900, 900, 600 }[l.columns - 1]);
            if (l.text == Text::Short)
                label = b.label(detail, QStringLiteral("r"), { .top = 10 });
            else if (l.text == Text::Long)
                label = b.label(
                    detail, QString(), { .top = 10, .width = 500, .autoSize = false, .autoStretch = true });
            else
                label = b.label(detail, QString(), { .top = l.detail - 60, .width = 500, .autoSize = false });
            if (l.child > 0)
                b.child(detail, l.child);
            if (l.sub > 0) {
                TBRSubDetail* sub = b.subDetail(&r.report, nullptr, l.sub);
                sub->setOnNeedData([given = false](QObject*, bool& more) mutable { more = given = !given; });
            }
            if (l.summary)
                b.band(TBRBandType::rbSummary, 100);
            b.label(b.band(TBRBandType::rbPageFooter, 70), footerText, { .top = 5 });
        }
        r.report.Functions().AddFunction(QStringLiteral("GRP"), QStringLiteral("0"));
        r.report.OnNeedData = [&](QObject*, bool& more) {
            more = ++r.row <= r.rows;
            if (l.perGroup > 0)
                TBREvEnvironment::SetIntegerConstant(
                    r.report.Functions().ElementByName(QStringLiteral("GRP")), (r.row - 1) / l.perGroup);
        };
        // Where each band stands: page by page, column by column.
        QStringList shown;
        int lastPage = 0, lastColumn = 0;
        const auto place = [&](const QString& band) {
            if (r.report.PageNumber() != lastPage)
                shown << band;
            else
                shown.last()
                    += (r.report.CurrentColumn() != lastColumn ? QStringLiteral(" | ") : QStringLiteral(" "))
                    + band;
            lastPage = r.report.PageNumber();
            lastColumn = r.report.CurrentColumn();
        };
        const std::map<TBRBandType, QString> codes { { TBRBandType::rbPageHeader, "PH" },
            { TBRBandType::rbColumnHeader, "CH" }, { TBRBandType::rbGroupHeader, "GH" },
            { TBRBandType::rbGroupFooter, "GF" }, { TBRBandType::rbSummary, "S" },
            { TBRBandType::rbChild, "C" }, { TBRBandType::rbSubDetail, "SD" } };
        for (TBRCustomBand* band : r.report.bandList()) {
            if (codes.contains(band->BandType()))
                band->AfterPrint
                    = [&, code = codes.at(band->BandType())](TBRCustomBand*, bool) { place(code); };
        }
        // The long text: lines enough for one and a half columns.
        const double lineHeight = r.report.TextHeight(label->Font(), "W") / BRLayoutPixelsPerTenth;
        const int longLines = int(1.5 * (footerTop - 260) / lineHeight);
        QStringList expectedTexts;
        const auto textOf = [&](int row) {
            QStringList lines;
            if (l.text == Text::Short)
                lines << QStringLiteral("r%1").arg(row);
            else if (l.text == Text::Foot)
                lines << QStringLiteral("end%1").arg(row);
            else
                for (int i = 1; i <= longLines; ++i)
                    lines << QStringLiteral("%1-%2").arg(row).arg(i);
            return lines;
        };
        for (int row = 1; row <= l.records; ++row)
            expectedTexts << textOf(row);
        label->OnPrint = [&](TBRCustomLabel*, QString& v) {
            v = textOf(r.row).join(u'\r');
            place(QStringLiteral("D%1").arg(r.row));
        };
        r.row = 0;
        r.report.Prepare();

        EXPECT_EQ(shown, l.pages);
        // Every line once, in order, and each drawn whole above the footer's top.
        QStringList texts = allTexts(r.report);
        EXPECT_EQ(texts.removeAll(footerText), r.pages());
        EXPECT_EQ(texts, expectedTexts);
        for (int n = 1; n <= r.pages(); ++n) {
            for (const BRDrawnLine& line : pageLines(*r.report.BRPrinter()->GetPage(n))) {
                if (line.text != footerText) {
                    EXPECT_LE(line.cell.bottom(), px(footerTop) + 1.0)
                        << "page " << n << " " << line.text.toStdString();
                }
            }
        }
        if (l.text != Text::Short)
            savePage(pageImages(r.report).first(),
                QStringLiteral("BandRpt_layout_") + QString::fromLatin1(l.name).replace(u' ', u'_'));
    }
}

TEST(BandRptBands, AStretchingLabelContinuesOnTheNextPage)
{
    Rows r(1);
    TBRLabel* label;
    {
        TBRReportBuilder b(r.report);
        a4(b);
        TBRBand* detail = b.band(TBRBandType::rbDetail, 60);
        label = b.label(detail, numbered(120), { .width = 1900, .autoSize = false, .autoStretch = true });
        b.band(TBRBandType::rbPageFooter, 100);
    }
    r.run();
    ASSERT_EQ(r.pages(), 2);
    QStringList expected;
    for (int i = 1; i <= 120; ++i)
        expected << QStringLiteral("行%1").arg(i);
    EXPECT_EQ(allTexts(r.report), expected);
    // Page 1 is full down to the footer: the band (60) grows a line at a time while it fits the
    // 2670 tenths above the footer; its first line needs no growth.
    const double lineHeight = r.report.TextHeight(label->Font(), "W") / BRLayoutPixelsPerTenth;
    EXPECT_EQ(pageTexts(r.report, 1).size(), 1 + static_cast<int>((2670 - 60) / lineHeight));
    const QList<QImage> pages = pageImages(r.report);
    savePage(pages[0], QStringLiteral("BandRpt_stretch_page1"));
    savePage(pages[1], QStringLiteral("BandRpt_stretch_page2"));
    // Without AutoStretch the lines beyond the label's height are dropped.
    label->AutoStretch = false;
    r.run();
    EXPECT_EQ(r.pages(), 1);
    EXPECT_EQ(allTexts(r.report), QStringList { "行1" });
}

TEST(BandRptBands, ALongLabelInABandTallerThanThePageFillsEveryPageItGoesOnTo)
{
    // Two records of 150 words, one or two words a line, in a band taller than the page: the
    // text fills each page down to the footer and goes on; only each record's last page holds
    // less.
    Rows r(2);
    TBRLabel* label;
    {
        TBRReportBuilder b(r.report);
        a4(b);
        b.band(TBRBandType::rbPageHeader, 100);
        TBRBand* detail = b.band(TBRBandType::rbDetail, 3000);
        label
            = b.label(detail, QString(), { .top = 10, .width = 150, .autoSize = false, .autoStretch = true });
        b.band(TBRBandType::rbPageFooter, 70);
    }
    QStringList words;
    for (int i = 1; i <= 150; ++i)
        words << QStringLiteral("w%1").arg(i);
    label->OnPrint
        = [&](TBRCustomLabel*, QString& v) { v = QStringLiteral("r%1 ").arg(r.row) + words.join(u' '); };
    r.run();
    QStringList printed;
    QList<qsizetype> lines;
    for (int n = 1; n <= r.pages(); ++n) {
        const QStringList texts = pageTexts(r.report, n);
        lines << texts.size();
        printed << texts.join(QString()).split(u' ', Qt::SkipEmptyParts);
    }
    EXPECT_EQ(printed, QStringList { "r1" } + words + QStringList { "r2" } + words);
    // The text begins at 210 below the header; lines end by the footer's top at 2800.
    const double lineHeight = r.report.TextHeight(label->Font(), "W") / BRLayoutPixelsPerTenth;
    const qsizetype full = static_cast<qsizetype>((2800 + 1 - 210) / lineHeight);
    const qsizetype perRecord = std::accumulate(lines.begin(), lines.end(), qsizetype(0)) / 2;
    const qsizetype pagesPerRecord = (perRecord + full - 1) / full;
    ASSERT_GE(pagesPerRecord, 2);
    ASSERT_EQ(r.pages(), 2 * pagesPerRecord);
    for (qsizetype n = 0; n < r.pages(); ++n) {
        if (n % pagesPerRecord != pagesPerRecord - 1) {
            EXPECT_EQ(lines[n], full) << "page " << n + 1;
        }
    }
    savePage(pageImages(r.report).first(), QStringLiteral("BandRpt_long_label_tall_band"));
}

namespace {

// 100-tenth details over a page footer of 80 with a child of 40; returns the child.
TBRChildBand* footerWithChild(Rows& r)
{
    TBRReportBuilder b(r.report);
    a4(b);
    b.band(TBRBandType::rbDetail, 100);
    return b.child(b.band(TBRBandType::rbPageFooter, 80), 40);
}

} // namespace

TEST(BandRptBands, APageFootersChildPrintsUnderItAndIsNeverPushedAway)
{
    Rows r(60);
    TBRChildBand* child = footerWithChild(r);
    const QStringList lines = r.run();
    // 2770 - 120 reserve: 26 rows a page.
    EXPECT_TRUE(lines.contains("DetailBand1 p1 y2600-2700"));
    EXPECT_TRUE(lines.contains("PageFooterBand1 p1 y2750-2830"));
    EXPECT_TRUE(lines.contains("ChildBand1 p1 y2830-2870"));
    EXPECT_TRUE(lines.contains("ChildBand1 p3 y2830-2870"));
    EXPECT_EQ(r.pages(), 3);
    EXPECT_EQ(child->BandType(), TBRBandType::rbChild);
}

TEST(BandRptBands, AFooterChildThatThrowsGivesItsBorrowedTypeBack)
{
    Rows r(60);
    TBRChildBand* child = footerWithChild(r);
    const QStringList clean = r.run();
    child->BeforePrint = [](TBRCustomBand*, bool&) { throw std::runtime_error("footer failed"); };
    EXPECT_THROW(r.run(), std::runtime_error);
    EXPECT_EQ(child->BandType(), TBRBandType::rbChild);
    child->BeforePrint = nullptr;
    EXPECT_EQ(r.run(), clean);
}

TEST(BandRptBands, ASummaryAtTheBottomGivesUpTheFooterReserveOnlyForItself)
{
    Rows r(26);
    {
        TBRReportBuilder b(r.report);
        a4(b);
        b.band(TBRBandType::rbDetail, 100);
        b.band(TBRBandType::rbPageFooter, 100);
        b.band(TBRBandType::rbSummary, 500)->AlignToBottom = true;
    }
    r.report.Options = TBROption::FirstPageHeader;
    const QStringList lines = r.run();
    // The summary does not fit under the 26 rows: page 1 keeps its footer where footers go,
    // and the summary stands against the bottom margin of page 2, which has no footer.
    EXPECT_EQ(lines.mid(26), (QStringList { "PageFooterBand1 p1 y2770-2870", "SummaryBand1 p2 y2370-2870" }));
}

TEST(BandRptBands, ForcedPagesAfterTheHeaderAreSwallowedOnceOnly)
{
    Rows r(3);
    TBRBand* detail;
    TBRBand* summary;
    {
        TBRReportBuilder b(r.report);
        a4(b);
        b.band(TBRBandType::rbPageHeader, 50)->ForceNewPage = true; // ignored
        b.band(TBRBandType::rbTitle, 80);
        detail = b.band(TBRBandType::rbDetail, 100);
        summary = b.band(TBRBandType::rbSummary, 100);
    }
    detail->ForceNewPage = true;
    EXPECT_EQ(r.run(),
        (QStringList { "PageHeaderBand1 p1 y100-150", "TitleBand1 p1 y150-230", "DetailBand1 p1 y230-330",
            "PageHeaderBand1 p2 y100-150", "DetailBand1 p2 y150-250", "PageHeaderBand1 p3 y100-150",
            "DetailBand1 p3 y150-250", "SummaryBand1 p3 y250-350" }));
    // A forced page further on is not swallowed by the header printed long before.
    detail->ForceNewPage = false;
    summary->ForceNewPage = true;
    EXPECT_EQ(r.run().mid(4),
        (QStringList {
            "DetailBand1 p1 y430-530", "PageHeaderBand1 p2 y100-150", "SummaryBand1 p2 y150-250" }));
}

TEST(BandRptBands, TheFirstRecordsForcedPageIsSwallowedAfterItsGroupHeader)
{
    // The first record's group header stands between the title and its detail: the detail
    // still stays with both on page 1.
    Rows r(2);
    {
        TBRReportBuilder b(r.report);
        a4(b);
        b.band(TBRBandType::rbTitle, 80);
        b.group(QStringLiteral("'A'"), 60);
        b.band(TBRBandType::rbDetail, 100)->ForceNewPage = true;
    }
    EXPECT_EQ(r.run(),
        (QStringList { "TitleBand1 p1 y100-180", "GroupHeaderBand1 p1 y180-240", "DetailBand1 p1 y240-340",
            "DetailBand1 p2 y100-200" }));
}

namespace {

// A text laid out from Lines, as a memo field's is: it has no one-line minimum height.
class MemoText : public TBRCustomLabel {
public:
    using TBRCustomLabel::TBRCustomLabel;
    bool CaptionBased() const override { return false; }
};

} // namespace

TEST(BandRptBands, ALineTallerThanAnEmptyPageIsDroppedInsteadOfMakingPagesForEver)
{
    Rows r(2);
    MemoText* memo;
    {
        TBRReportBuilder b(r.report);
        b.Page(TBRPaperSize::Custom, TPrinterOrientation::poPortrait, 100);
        r.report.Page().setUnits(TBRUnit::Native);
        r.report.Page().setLength(400); // 200 tenths between the margins
        TBRBand* detail = b.band(TBRBandType::rbDetail, 60);
        memo = new MemoText(detail);
        memo->AutoStretch = true;
        memo->AutoSize = false;
        memo->setFontSize(96); // one line is 128 pixels: 339 tenths
        memo->Size().setUnits(TBRUnit::Native);
        memo->Size().setWidth(1900);
        memo->Size().setHeight(20);
    }
    memo->Lines = QStringList { "大", "大" };
    // A line that would not fit at the top of the next column either is dropped where it
    // stands: no break would give it room.
    EXPECT_EQ(r.run(), (QStringList { "DetailBand1 p1 y100-160", "DetailBand1 p1 y160-220" }));
    EXPECT_EQ(r.pages(), 1);
    EXPECT_TRUE(allTexts(r.report).isEmpty());
}

TEST(BandRptBands, ALabelNarrowerThanOneCharacterGoesOnACharacterALine)
{
    Rows r(1);
    const QString text = QStringLiteral("予選第一ヒート決勝");
    {
        TBRReportBuilder b(r.report);
        b.Page(TBRPaperSize::Custom, TPrinterOrientation::poPortrait, 100);
        r.report.Page().setUnits(TBRUnit::Native);
        r.report.Page().setLength(400);
        TBRBand* detail = b.band(TBRBandType::rbDetail, 60);
        b.label(detail, text, { .width = 1, .autoSize = false, .autoStretch = true });
    }
    r.run();
    EXPECT_EQ(allTexts(r.report), text.split(QString(), Qt::SkipEmptyParts));
    EXPECT_EQ(r.pages(), 2);
}

TEST(BandRptBands, PageHeadersAndFootersDropWhatDoesNotFitInsteadOfBreaking)
{
    Rows r(30);
    {
        TBRReportBuilder b(r.report);
        a4(b);
        TBRBand* header = b.band(TBRBandType::rbPageHeader, 60);
        b.label(header, numbered(20, QStringLiteral("見出し")),
            { .width = 1900, .autoSize = false, .autoStretch = true });
        b.band(TBRBandType::rbDetail, 200);
        TBRBand* footer = b.band(TBRBandType::rbPageFooter, 60);
        b.label(footer, numbered(5, QStringLiteral("脚注")),
            { .width = 1900, .autoSize = false, .autoStretch = true });
    }
    r.run();
    ASSERT_GE(r.pages(), 3);
    for (int n = 1; n <= r.pages(); ++n) {
        const QStringList texts = pageTexts(r.report, n);
        // The header grows as far as the page allows; the footer has no room to grow.
        EXPECT_EQ(texts.count("見出し1"), 1);
        EXPECT_TRUE(texts.contains("見出し20"));
        EXPECT_EQ(texts.count("脚注1"), 1);
        EXPECT_FALSE(texts.contains("脚注2"));
    }
}

TEST(BandRptBands, OpaqueLabelsCoverWhatWasPrintedBeforeThem)
{
    Rows r(1);
    {
        TBRReportBuilder b(r.report);
        a4(b);
        TBRBand* detail = b.band(TBRBandType::rbDetail, 300);
        b.label(detail, QStringLiteral("■■■■■■■■"), { .left = 0, .top = 0, .pointSize = 14 });
        // White on the white band, but over the squares: it still hides them.
        b.label(detail, QString(), { .left = 100, .top = 0, .width = 200, .height = 150, .autoSize = false });
        b.label(detail, QStringLiteral("黄"),
             { .left = 1000, .top = 0, .width = 300, .height = 150, .autoSize = false })
            ->setColor(Qt::yellow);
    }
    r.run();
    const QImage page = pageImages(r.report).first();
    savePage(page, QStringLiteral("BandRpt_opaque_labels"));
    // Squares left of the white label, none under it, then squares again after it.
    EXPECT_GT(darkPixels(page, QRect(px(100), px(100), px(95), px(60))), 50);
    EXPECT_EQ(darkPixels(page, QRect(px(205), px(100), px(190), px(140))), 0);
    EXPECT_GT(darkPixels(page, QRect(px(305), px(100), px(300), px(60))), 50);
    EXPECT_EQ(page.pixelColor(px(1250), px(200)), QColor(Qt::yellow));
}

TEST(BandRptBands, WhiteBandsStillCoverWhatWasDrawnBeneathThem)
{
    // A white band on blank paper draws nothing; over anything drawn before, it covers it: the
    // big squares of each record reach 60 tenths into the next record's band, and then the
    // program's start-of-page handler paints the page black.
    Rows r(2);
    {
        TBRReportBuilder b(r.report);
        a4(b);
        TBRBand* detail = b.band(TBRBandType::rbDetail, 100);
        b.label(detail, QStringLiteral("■■■■"), { .left = 0, .top = 60, .pointSize = 28 });
    }
    r.run();
    QImage page = pageImages(r.report).first();
    savePage(page, QStringLiteral("BandRpt_white_bands"));
    // The first record's squares show above the second band, not inside it; the second
    // record's own squares begin 60 tenths down.
    EXPECT_GT(darkPixels(page, QRect(px(110), px(170), px(100), px(20))), 50);
    EXPECT_EQ(darkPixels(page, QRect(px(110), px(205), px(100), px(50))), 0);
    EXPECT_GT(darkPixels(page, QRect(px(110), px(270), px(100), px(20))), 50);

    r.report.OnStartPage = [](TCustomBandReport* report) {
        report->BRPrinter()->Canvas()->fillRect(QRect(0, 0, 10000, 10000), Qt::black);
    };
    r.run();
    page = pageImages(r.report).first();
    savePage(page, QStringLiteral("BandRpt_white_bands_on_black"));
    // White where the bands stand (but for their squares), black below them.
    EXPECT_EQ(darkPixels(page, QRect(px(110), px(105), px(1800), px(50))), 0);
    EXPECT_EQ(page.pixelColor(px(1500), px(1000)), QColor(Qt::black));
}
