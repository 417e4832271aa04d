#include "BRPageSamples.h"
#include "BandRptTestSupport.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QPixmap>
#include <QRawFont>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace page_samples;

namespace {

using band_samples::darkPixels;
using band_samples::render;

int differentPixels(const QImage& a, const QImage& b, int tolerance)
{
    int differ = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb pa = a.pixel(x, y), pb = b.pixel(x, y);
            if (std::abs(qRed(pa) - qRed(pb)) > tolerance || std::abs(qGreen(pa) - qGreen(pb)) > tolerance
                || std::abs(qBlue(pa) - qBlue(pb)) > tolerance)
                ++differ;
        }
    return differ;
}

} // namespace

TEST(BRPrntrPage, JapaneseGlyphsExistInThePageFont)
{
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    QTextLayout layout(QStringLiteral("開始時刻 予選 ヒート"), font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun& run : layout.glyphRuns())
        for (quint32 g : run.glyphIndexes())
            EXPECT_NE(g, 0u) << run.rawFont().familyName().toStdString();
}

TEST(BRPrntrPage, RecordedPageSurvivesSaveAndLoad)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("schedule.BRP"));
    const QPicture original = recordPage(1, 12);
    {
        TBRPageList list;
        list.SetCompression(true);
        list.AddPage(original);
        list.AddPage(recordPage(2, 3));
        list.Finish();
        list.SaveToFile(name);
    }
    TBRPageList loaded;
    loaded.LoadFromFile(name);
    const auto page = loaded.GetPage(1);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->boundingRect(), QRect(QPoint(0, 0), a4Pixels()));

    const QImage before = render(original);
    const QImage after = render(*page);
    ASSERT_EQ(after.size(), a4Pixels());
    EXPECT_LE(differentPixels(before, after, 8), after.width() * after.height() / 1000);

    // The frame's top side (2 pt: 3 pixels) and the Japanese column titles are on the page.
    const double f = BRPageDotsPerInch / 254.0;
    const int frameTop = static_cast<int>(std::lround(100 * f));
    EXPECT_EQ(qGray(after.pixel(400, frameTop)), 0);
    EXPECT_EQ(qGray(after.pixel(400, frameTop + 2)), 0);
    EXPECT_GT(qGray(after.pixel(400, frameTop + 3)), 200);
    const int titles = static_cast<int>(std::lround(300 * f));
    EXPECT_GT(darkPixels(after, QRect(45, titles - 15, 80, 17)), 40); // 開始時刻
    EXPECT_EQ(darkPixels(after, QRect(45, 900, 600, 100)), 0); // blank lower page

    QLabel view;
    view.setPixmap(QPixmap::fromImage(after));
    view.resize(after.size());
    testing_support::saveGrab(&view, QStringLiteral("BRPrntr_stored_page"));
}

TEST(BRPrntrOutline, FillsTheTreeByLevelAndFindsEntries)
{
    TBROutline outline;
    outline.addEntry(QStringLiteral("予選"), 0, QRect(1, 2, 3, 4), 1);
    outline.addEntry(QStringLiteral("ヒート 1"), 1, QRect(5, 6, 7, 8), 2);
    outline.addEntry(QStringLiteral("ヒート 2"), 1, QRect(), 3);
    outline.addEntry(QStringLiteral("決勝"), 0, QRect(), 4);
    outline.addEntry(QStringLiteral("too deep"), 99, QRect(), 5);
    QTreeWidget view;
    outline.SetTreeView(&view);
    // An entry deeper than any before it has no parent and stands at the top.
    ASSERT_EQ(view.topLevelItemCount(), 3);
    EXPECT_EQ(view.topLevelItem(2)->text(0), QStringLiteral("too deep"));
    const QTreeWidgetItem* first = view.topLevelItem(0);
    EXPECT_EQ(first->text(0), QStringLiteral("予選"));
    ASSERT_EQ(first->childCount(), 2);
    EXPECT_EQ(first->child(1)->text(0), QStringLiteral("ヒート 2"));
    QRect r;
    EXPECT_EQ(outline.FindEntry(first->child(0), &r), 2);
    EXPECT_EQ(r, QRect(5, 6, 7, 8));
    EXPECT_EQ(outline.FindEntry(nullptr), 0);
    QTreeWidgetItem stranger;
    EXPECT_EQ(outline.FindEntry(&stranger), 0);
    outline.Clear();
    EXPECT_EQ(view.topLevelItemCount(), 0);
    EXPECT_TRUE(TBRPageList().Outline().entries().isEmpty());
}

class Links : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = setExternalLinkOpener([this](const QString& l) { opened << l; });
    }
    void TearDown() override
    {
        setExternalLinkOpener(previous);
        unregisterInternalLinkHandler(QStringLiteral("heat"));
    }
    QStringList opened, dispatched;
    TBRExternalLinkOpener previous;
};

TEST_F(Links, ExternalPrefixInAnyCaseGoesOutsideWithoutPrefix)
{
    brHandleHyperlink(QStringLiteral("ext:https://example.com/x"), nullptr);
    brHandleHyperlink(QStringLiteral("EXT:file.pdf"), nullptr);
    EXPECT_EQ(opened, (QStringList { QStringLiteral("https://example.com/x"), QStringLiteral("file.pdf") }));
}

TEST_F(Links, InternalLinksGoToTheFirstMatchingHandler)
{
    QObject preview;
    QObject* seen = nullptr;
    registerInternalLinkHandler(QStringLiteral("heat"), [&](const QString& rest, QObject* p) {
        dispatched << rest;
        seen = p;
    });
    brHandleHyperlink(QStringLiteral("INT:heat3"), &preview);
    brHandleHyperlink(QStringLiteral("heat4"), &preview);
    brHandleHyperlink(QStringLiteral("int:Heat5"), &preview); // prefixes are case-sensitive
    brHandleHyperlink(QStringLiteral("https://example.com"), &preview);
    EXPECT_EQ(dispatched, (QStringList { QStringLiteral("3"), QStringLiteral("4") }));
    EXPECT_EQ(seen, &preview);
    // An unhandled INT: link goes nowhere; a plain one goes outside whole.
    EXPECT_EQ(opened, QStringList { QStringLiteral("https://example.com") });
    EXPECT_FALSE(DispatchInternalLink(QStringLiteral("other"), nullptr));
}
