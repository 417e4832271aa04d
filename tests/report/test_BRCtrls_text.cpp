// Data-bound and expression texts: display formats and masks, fields of the current record,
// expression values and their aggregates over groups and page breaks.

#include "BRCtrlsTestSupport.h"

#include <QDateTime>

using namespace band_samples;
using namespace ctrls_samples;

namespace {

struct FormatCase {
    const char* pattern;
    const char* expected;
};

TEST(BRDisplayFormats, DateTimePatterns)
{
    const QDateTime at(QDate(2024, 3, 9), QTime(14, 5, 7, 89));
    const FormatCase cases[] = {
        { "yyyy/mm/dd hh:nn:ss", "2024/03/09 14:05:07" },
        { "yy/m/d h:mm", "24/3/9 14:05" }, // "mm" after an hour is the minutes
        { "hh'時'mm'分'", "14時05分" },
        { "h:mm am/pm", "2:05 pm" },
        { "hh:nn A/P", "02:05 P" },
        { "h:nn ampm", "2:05 午後" },
        { "mmm mmmm ddd dddd", "3月 3月 土 土曜日" },
        { "ddddd", "2024/03/09" },
        { "dddddd", "2024年3月9日" },
        { "", "2024/03/09 14:05:07" }, // "c"
        { "t tt zzz", "14:05 14:05:07 089" },
        { "'mm' \"dd\" mm", "mm dd 03" },
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(brFormatDateTime(QString::fromUtf8(c.pattern), at), QString::fromUtf8(c.expected))
            << c.pattern;
    EXPECT_EQ(brFormatDateTime("c", QDateTime(QDate(2024, 3, 9), QTime(0, 0))), "2024/03/09");
}

TEST(BRDisplayFormats, NumberDirectivesAndMoney)
{
    const FormatCase cases[] = {
        { "%m", "¥1,235" },
        { "合計 %m", "合計 ¥1,235" },
        { "%.2m", "¥1,234.50" },
        { "%n", "1,234.50" },
        { "%f", "1234.50" },
        { "%8.1f|", "  1234.5|" },
        { "%0:-8.1f|", "1234.5  |" },
        { "%0:e", "1.23450000000000E+003" },
        { "%g", "1234.5" },
        { "100%% %m", "100% ¥1,235" },
    };
    for (const FormatCase& c : cases) {
        QString out;
        EXPECT_TRUE(brFormatNumberArgument(QString::fromUtf8(c.pattern), 1234.5, out)) << c.pattern;
        EXPECT_EQ(out, QString::fromUtf8(c.expected)) << c.pattern;
    }
    EXPECT_EQ(brMoneyText(-1234), "-¥1,234");
    for (const char* unusable : { "%d", "%m %m", "%1:m", "%", "%*m" }) {
        QString out;
        EXPECT_FALSE(brFormatNumberArgument(QString::fromUtf8(unusable), 1.0, out)) << unusable;
    }
}

// One data-bound text on a detail band, read at the first record.
class DBTextCase : public ::testing::Test {
protected:
    QString textOf(const QString& field, const QString& mask = QString(), int recNo = 1)
    {
        TBRReportBuilder b(*f.report);
        auto* text = b.dbText(b.band(TBRBandType::rbDetail, 50), f.q1, field, {}, mask);
        b.Finish();
        text->Prepare();
        f.q1->moveTo(recNo);
        QString out;
        text->GetFieldText(out);
        text->Unprepare();
        EXPECT_EQ(text->Caption(), field); // back to the design caption
        return out;
    }
    EntryForm f;
};

TEST_F(DBTextCase, FieldsShowTheirDisplayTextOrTheMask)
{
    EXPECT_EQ(textOf("amount", "0000"), "0042");
    EXPECT_EQ(textOf("amount"), "42");
    EXPECT_EQ(textOf("name", "0000"), "あいう"); // a text field ignores the mask
    EXPECT_EQ(textOf("day"), "2024/03/09");
    EXPECT_EQ(textOf("day", "yyyy年m月d日(ddd)"), "2024年3月9日(土)");
    EXPECT_EQ(textOf("at"), "9:05:00");
    EXPECT_EQ(textOf("at", "hh:mm"), "09:05");
    EXPECT_EQ(textOf("price"), "¥1,235");
    EXPECT_EQ(textOf("price", "#,##0.0"), "1,234.5");
    EXPECT_EQ(textOf("flag"), "True");
    EXPECT_EQ(textOf("flag", "0"), "True"); // a mask means nothing to a boolean
    EXPECT_EQ(textOf("nosuch"), "");
    EXPECT_EQ(textOf("amount", "0000", 4), ""); // NULL
    EXPECT_EQ(textOf("day", "yyyy/mm/dd", 4), "");
}

TEST_F(DBTextCase, MemoFieldsPrintTheirLines)
{
    TBRReportBuilder b(*f.report);
    TBRBand* detail = b.band(TBRBandType::rbDetail, 40); // one line high
    TBRDBText* memo = b.dbText(detail, f.q1, "note", { .autoStretch = true });
    b.Finish();
    f.report->setPrintIfEmpty(false);
    f.q1->SQL.clear();
    f.q1->SQL << "select * from entry where id = 1";
    f.q1->Open();
    double needed = 0;
    detail->BeforePrint = [&](TBRCustomBand* band, bool&) { needed = band->StretchHeight(); };
    f.report->Prepare();
    EXPECT_FALSE(memo->CaptionBased());
    // The band needs the memo's two lines (and the gap below the label).
    EXPECT_NEAR(needed, 2 * f.report->TextHeight(memo->Font(), "W") / BRLayoutPixelsPerTenth, 10);
    const QStringList texts = pageTexts(*f.report, 1);
    EXPECT_EQ(texts, QStringList({ "first line", "second line" }));
}

TEST(BRExpr, ValuesPrintByKindAndMask)
{
    struct Row {
        const char* expression;
        const char* mask;
        const char* expected;
    };
    const Row rows[] = {
        { "42", "0000", "0042" }, { "42", "", "42" }, { "2.5 * 2", "", "5" }, { "1234.5", "%m", "¥1,235" },
        { "1234", "小計 %m", "小計 ¥1,234" }, { "1.25", "0.0", "1.3" }, { "7 / 0", "", "Cannot divide by 0" },
        { "'abc'", "0000", "abc" }, { "1 = 1", "", "True" },
        { "", "", " " }, // an empty expression is one blank
        { "1.5", "%m %m", "" }, // a mask that cannot format prints nothing
    };
    for (const Row& r : rows) {
        TBRExpr expr;
        expr.setMask(QString::fromUtf8(r.mask));
        expr.setExpression(QString::fromUtf8(r.expression));
        expr.Evaluator().Prepare(expr.Expression());
        EXPECT_EQ(expr.valueText(expr.Evaluator().Value()), QString::fromUtf8(r.expected)) << r.expression;
    }
    TBRExpr empty;
    EXPECT_EQ(empty.Caption(), "(none)");
}

// A report over the entries grouped by class, with each group's total in its footer and the
// grand total at the end.
struct GroupTotals {
    explicit GroupTotals(double detailHeight)
    {
        TBRReportBuilder b(*f.report);
        a4(b);
        TBRBand* footer = b.band(TBRBandType::rbGroupFooter, 60);
        b.group("grp", 60, footer);
        TBRBand* detail = b.band(TBRBandType::rbDetail, detailHeight);
        b.dbText(detail, f.q1, "name", {});
        groupTotal = b.expr(footer, "grp + ' 計 ' + STR(SUM(amount))", {});
        groupTotal->ResetAfterPrint = true;
        b.expr(b.band(TBRBandType::rbSummary, 60), "SUM(amount)", {}, "総計 0");
        b.Finish();
    }
    EntryForm f;
    TBRExpr* groupTotal;
};

TEST(BRExpr, GroupTotalsGoOnAcrossAPageBreak)
{
    // Three details fill a page: class B begins on page 1 and ends on page 2.
    GroupTotals r(800);
    r.f.report->Prepare();
    const QList<QStringList> pages = r.f.pageTexts();
    ASSERT_EQ(pages.size(), 2);
    EXPECT_EQ(pages[0], QStringList({ "あいう", "Bee", "A 計 50", "Cee" }));
    EXPECT_EQ(pages[1], QStringList({ "Dee", "B 計 10", "Eee", "C 計 100", "総計 160" }));
    savePage(pageImages(*r.f.report)[0], "BRCtrls_group_totals_page1");
}

TEST(BRExpr, ContinuedLinesKeepThePrintedValueAfterTheReset)
{
    // The group footer's total wraps into several lines in a narrow label; it begins at the foot
    // of page 1 and continues on page 2, after the total has been reset.
    GroupTotals r(100);
    r.groupTotal->AutoSize = false;
    r.groupTotal->AutoStretch = true;
    r.groupTotal->setWidth(24);
    r.f.q1->SQL.clear();
    r.f.q1->SQL << "select * from entry where grp = 'A' order by id";
    r.f.q1->Open();
    r.f.report->Page().setUnits(TBRUnit::Native);
    r.f.report->Page().setTopMargin(2770 - 230); // room for two details and one footer line
    r.f.report->Prepare();
    const QList<QStringList> pages = r.f.pageTexts();
    ASSERT_EQ(pages.size(), 2);
    EXPECT_EQ(pages[0], QStringList({ "あいう", "Bee", "A " }));
    EXPECT_EQ(pages[1], QStringList({ "計 ", "50", "総計 50" }));
}

TEST(BRExpr, AFreedMasterCountsAsNone)
{
    EntryForm f;
    TBRReportBuilder b(*f.report);
    TBRBand* detail = b.band(TBRBandType::rbDetail, 60);
    TBRSubDetail* sub = b.subDetail(f.report, nullptr, 60);
    TBRExpr* count = b.expr(b.band(TBRBandType::rbSummary, 60), "COUNT", {}, QString(), sub);
    b.dbText(detail, f.q1, "id", {});
    b.Finish();
    delete sub;
    EXPECT_EQ(count->Master(), nullptr);
    f.report->Prepare();
    EXPECT_TRUE(f.pageTexts().value(0).contains("5")); // the report's five details
}

} // namespace
