#include "BRPageSamples.h"
#include "BRPrinterTestSupport.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPicture>
#include <gtest/gtest.h>

namespace {

// The pages of a store on which the text is found.
QList<int> pagesWith(TBRPrinter& printer, const QString& text, bool caseSensitive)
{
    QList<int> pages;
    for (int n = 1; n <= printer.PageCount(); ++n)
        if (SearchMetafileText(text, *printer.GetPage(n), caseSensitive))
            pages << n;
    return pages;
}

} // namespace

TEST(BRPrntrSearch, FindsJapaneseOnTheRightPage)
{
    TBRPrinter printer;
    printer_support::runPages(printer, 4);
    struct Case {
        QString text;
        bool caseSensitive;
        QList<int> pages;
    };
    const Case cases[] = {
        { QStringLiteral("予選ヒート 3"), true, { 3 } },
        { QStringLiteral("ヒート"), true, { 1, 2, 3, 4 } },
        { QStringLiteral("SEITE 2"), false, { 2 } },
        { QStringLiteral("SEITE 2"), true, {} },
        { QStringLiteral("決勝"), false, {} },
        // The low bytes of 予 and 選 (0x4E88, 0x9078) are no letters to be found.
        { QString(QChar(0x88)), false, {} },
        { QString(), false, {} },
    };
    for (const Case& c : cases)
        EXPECT_EQ(pagesWith(printer, c.text, c.caseSensitive), c.pages) << c.text.toStdString();
}

TEST(BRPrntrSearch, ALineDrawnInRunsIsOneTextAndColumnsStayApart)
{
    const QPicture page = page_samples::recordPage(7, 6);
    const QStringList texts = pageTexts(page);
    // A title mixing Japanese and Latin is drawn in runs of two fonts, but found whole.
    EXPECT_TRUE(texts.contains(QStringLiteral("レーススケジュール Race schedule")));
    EXPECT_TRUE(texts.contains(QStringLiteral("予選 2 ヒート 2 (page 7)")));
    EXPECT_TRUE(SearchMetafileText(QStringLiteral("ル Race"), page, true));
    // Column titles on one baseline are separate texts.
    EXPECT_TRUE(texts.contains(QStringLiteral("開始時刻")));
    EXPECT_FALSE(SearchMetafileText(QStringLiteral("開始時刻終了"), page, false));

    // A line drawn in two fonts, the second run starting where the first ends.
    QPicture mixed;
    mixed.setBoundingRect(QRect(0, 0, 400, 100));
    {
        QPainter p(&mixed);
        QFont bold(QStringLiteral("ＭＳ Ｐゴシック"));
        bold.setBold(true);
        p.setFont(bold);
        const QString first = QStringLiteral("決勝");
        p.drawText(10, 50, first);
        const int next = 10 + p.fontMetrics().horizontalAdvance(first);
        p.setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック")));
        p.drawText(next, 50, QStringLiteral("Aメイン"));
        p.drawText(300, 50, QStringLiteral("10:00"));
    }
    EXPECT_EQ(pageTexts(mixed), (QStringList { QStringLiteral("決勝Aメイン"), QStringLiteral("10:00") }));
}
