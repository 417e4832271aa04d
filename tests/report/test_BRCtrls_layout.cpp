#include "BandRptTestSupport.h"

#include <QTextBoundaryFinder>

using namespace band_samples;

namespace {

// A report with one detail band for labels to stand on.
struct Surface {
    Surface()
    {
        TBRReportBuilder b(report);
        a4(b);
        band = b.band(TBRBandType::rbDetail, 100);
        b.Finish();
    }
    TBRLabel* label(const QString& caption, int widthPx = 0, bool autoSize = true, bool wordWrap = true)
    {
        auto* label = new TBRLabel(band);
        label->AutoSize = autoSize;
        label->WordWrap = wordWrap;
        label->setWidth(widthPx);
        label->setCaption(caption);
        return label;
    }
    int Width(const QString& text) { return report.TextWidth(report.Font(), text); }
    TBandReport report;
    TBRBand* band;
};

} // namespace

TEST(BRCtrlsLayout, LineBreaksFollowCarriageReturns)
{
    struct Case {
        const char16_t* caption;
        QStringList lines;
    };
    const Case cases[] = {
        { u"A\r\nB", { "A", "B" } },
        { u"A\nB", { "AB" } },
        { u"A\r", { "A", "" } },
        { u"", { "" } },
        { u"\r\r", { "", "", "" } },
        { u"開始\r\n終了\r\n", { "開始", "終了", "" } },
    };
    Surface s;
    for (const Case& c : cases) {
        TBRLabel* label = s.label(QString::fromUtf16(c.caption));
        EXPECT_EQ(label->FormattedLines(), c.lines) << QString::fromUtf16(c.caption).toStdString();
        // An AutoSize label is at least one line high, also when empty.
        EXPECT_GE(label->Height(), s.report.TextHeight(label->Font(), QStringLiteral("W")) + 1);
    }
}

TEST(BRCtrlsLayout, AutoSizeNeverWrapsAndKeepsTheRightEdgeOrCentre)
{
    Surface s;
    const QString longText = QStringLiteral("予選 第1ラウンド ヒート1 から ヒート12 まで");
    for (TAlignment a : { TAlignment::taLeftJustify, TAlignment::taRightJustify, TAlignment::taCenter }) {
        TBRLabel* label = s.label(QStringLiteral("X"));
        label->SetAlignment(a);
        label->SetBounds(400, 2, 100, label->Height());
        label->setCaption(longText);
        EXPECT_EQ(label->FormattedLines(), QStringList { longText });
        EXPECT_EQ(label->Width(), s.Width(longText));
        switch (a) {
        case TAlignment::taLeftJustify:
            EXPECT_EQ(label->Left(), 400);
            break;
        case TAlignment::taRightJustify:
            EXPECT_EQ(label->Left() + label->Width(), 500);
            break;
        case TAlignment::taCenter:
            EXPECT_NEAR(label->Left() + label->Width() / 2.0, 450, 1);
            break;
        }
    }
}

TEST(BRCtrlsLayout, WordsBreakAfterBlanksAndHyphensWhichStayOnTheLine)
{
    Surface s;
    TBRLabel* label
        = s.label(QStringLiteral("alpha beta-gamma delta"), s.Width(QStringLiteral("alpha beta-")), false);
    EXPECT_EQ(label->FormattedLines(), (QStringList { "alpha beta-", "gamma ", "delta" }));
    // Without word wrap the first word that does not fit ends the paragraph.
    label->WordWrap = false;
    label->FormatLines();
    EXPECT_EQ(label->FormattedLines(), (QStringList { "alpha beta-" }));
}

TEST(BRCtrlsLayout, LongJapaneseTextWrapsBetweenCharactersWithNothingLost)
{
    Surface s;
    const QString text
        = QStringLiteral("本日の予選は第一ヒートから順に行い、決勝は午後三時𠮷田記念杯の後に始めます。");
    const int width = s.Width(QStringLiteral("本日の予選は"));
    TBRLabel* label = s.label(text, width, false);
    const QStringList lines = label->FormattedLines();
    ASSERT_GT(lines.size(), 4);
    EXPECT_EQ(lines.join(QString()), text);
    for (const QString& line : lines) {
        EXPECT_FALSE(line.isEmpty());
        EXPECT_LE(s.Width(line), width) << line.toStdString();
        EXPECT_FALSE(line.back().isHighSurrogate()) << line.toStdString();
    }
    // A word wider than the label after others starts its own lines and goes on after them.
    label->setCaption(QStringLiteral("決勝 ") + text);
    EXPECT_EQ(label->FormattedLines().first(), QStringLiteral("決勝 "));
    EXPECT_EQ(label->FormattedLines().join(QString()), QStringLiteral("決勝 ") + text);

    // Without word wrap what fits of the word is kept and the rest of the paragraph dropped.
    label->WordWrap = false;
    label->FormatLines();
    ASSERT_EQ(label->FormattedLines().size(), 2);
    EXPECT_TRUE(text.startsWith(label->FormattedLines()[1]));
    EXPECT_LE(s.Width(label->FormattedLines()[1]), width);
}

TEST(BRCtrlsLayout, ALabelNarrowerThanOneCharacterTakesOneCharacterPerLine)
{
    Surface s;
    TBRLabel* label = s.label(QStringLiteral("予選A"), 0, false);
    EXPECT_EQ(label->FormattedLines(), (QStringList { "予", "選", "A" }));
    label->WordWrap = false;
    label->FormatLines();
    EXPECT_EQ(label->FormattedLines(), QStringList { "" });
}

TEST(BRCtrlsLayout, AlignedPrintablesFollowAlignmentAndBandWidth)
{
    Surface s;
    s.band->Size().setUnits(TBRUnit::Pixels);
    s.band->Size().setWidth(681);
    auto* p = new TBRPrintable(s.band);
    p->SetBounds(7, 2, 71, 20);
    p->SetAlignment(TAlignment::taRightJustify);
    EXPECT_EQ(p->Left(), 7); // not aligned to the band yet
    p->setAlignToBand(true);
    EXPECT_EQ(p->Left(), 610);
    p->SetAlignment(TAlignment::taCenter);
    EXPECT_EQ(p->Left(), 305);
    p->SetAlignment(TAlignment::taLeftJustify);
    EXPECT_EQ(p->Left(), 0);
    // A wider band moves a right-aligned printable with it.
    p->SetAlignment(TAlignment::taRightJustify);
    s.band->Size().setWidth(700);
    EXPECT_EQ(p->Left(), 629);
    // Pixels and tenths of a millimetre stay in step.
    p->Size().setUnits(TBRUnit::Native);
    EXPECT_NEAR(p->Size().Left(), 629 / BRLayoutPixelsPerTenth, 1e-9);
}

TEST(BRCtrlsLayout, PrintTestIsFalseOnlyForADisabledVisiblePrintable)
{
    Surface s;
    auto* p = new TBRPrintable(s.band);
    for (bool enabled : { false, true })
        for (bool visible : { false, true }) {
            p->SetEnabled(enabled);
            p->setVisible(visible);
            EXPECT_EQ(p->IsEnabled(), enabled || !visible);
        }
}

TEST(BRCtrlsLayout, PositionsInTenthsSurviveMovesWithinTheSamePixel)
{
    Surface s;
    TBRLabel* label = s.label(QStringLiteral("開始時刻"));
    label->Size().setUnits(TBRUnit::Native);
    label->Size().setLeft(100);
    label->Size().setTop(5);
    label->setCaption(QStringLiteral("終了時刻とその後"));
    EXPECT_DOUBLE_EQ(label->Size().Left(), 100);
    EXPECT_DOUBLE_EQ(label->Size().Top(), 5);
    EXPECT_EQ(label->Left(), 38);
}
