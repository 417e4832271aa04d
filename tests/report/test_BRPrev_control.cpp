#include "BRPageSamples.h"
#include "BRPrevTestSupport.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QPicture>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace preview_support;

namespace {

// A printer whose sheet is w x l tenths of a millimetre (a Custom paper).
void customSheet(TBRPrinter& printer, int w, int l)
{
    printer.SetSettingsPaperSize(TBRPaperSize::Custom);
    printer.setPaperWidth(w);
    printer.setPaperLength(l);
}

} // namespace

TEST(BRPreview, ZoomTakesTwoToTwoThousandPercent)
{
    TBRPreview preview;
    const struct {
        int set, expected;
    } cases[] = { { 1, 100 }, { 2, 2 }, { 2001, 2 }, { 2000, 2000 }, { 0, 2000 }, { 150, 150 } };
    for (const auto& c : cases) {
        preview.setZoom(c.set);
        EXPECT_EQ(preview.Zoom(), c.expected) << c.set;
    }
    EXPECT_EQ(preview.zoomState(), TBRZoomState::brZoomOther);
    EXPECT_EQ(preview.image()->Zoom(), 150);
}

TEST(BRPreview, FitAndWidthFollowThePreviewSize)
{
    TBRPrinter printer;
    customSheet(printer, 2117, 2910);
    ASSERT_EQ(brPreviewPageSize(&printer), QSize(800, 1100));
    TBRPreview preview;
    preview.setBRPrinter(&printer);
    preview.resize(500, 400);
    preview.show();
    preview.ZoomToFit();
    // The smaller of 500 / 800 * 95 = 59 and 400 / 1100 * 95 = 35.
    EXPECT_EQ(preview.Zoom(), 35);
    EXPECT_EQ(preview.zoomState(), TBRZoomState::brZoomToFit);
    // 2117 / 100 * 35 tenths = 280 pixels, 2910 / 100 * 35 = 385, each with 4 for frame and shadow.
    EXPECT_EQ(preview.image()->size(), QSize(284, 389));

    preview.ZoomToWidth();
    EXPECT_EQ(preview.Zoom(), 56); // 500 / 800 * 90
    preview.resize(1000, 400);
    pump();
    EXPECT_EQ(preview.Zoom(), 113); // the state is applied again on resize
    preview.setZoom(80);
    preview.resize(700, 700);
    pump();
    EXPECT_EQ(preview.Zoom(), 80);
}

TEST(BRPreview, ASheetWithoutSizeIsLaidOutAsLetter)
{
    // Without a printer, and with a 0 x 0 Custom sheet, zoom and thumbnails would divide by 0.
    TBRPrinter zero;
    customSheet(zero, 0, 0);
    const QSize letter(816, 1056); // 215.9 x 279.4 mm at 96 pixels per inch
    EXPECT_EQ(brPreviewPageSize(nullptr), letter);
    EXPECT_EQ(brPreviewPageSize(&zero), letter);
    for (TBRPrinter* printer : { static_cast<TBRPrinter*>(nullptr), &zero }) {
        TBRPreview preview;
        preview.setBRPrinter(printer);
        preview.resize(500, 400);
        preview.ZoomToFit();
        EXPECT_EQ(preview.Zoom(), 36); // 400 / 1056 * 95
        preview.ZoomToWidth();
        EXPECT_EQ(preview.Zoom(), printer ? 55 : 58); // 500 / 816 * 90, or * 95 without a printer
        EXPECT_EQ(preview.image()->width(), printer ? 453 : 477);
    }
}

TEST(BRPreview, PageNumberStaysWithinThePages)
{
    TBRPrinter printer;
    runTextPages(printer, numberedPages(3));
    TBRPreview preview;
    preview.setBRPrinter(&printer);
    ASSERT_TRUE(preview.image()->hasPage());
    const struct {
        int set, expected;
    } cases[] = { { 0, 1 }, { 4, 1 }, { 3, 3 }, { -1, 3 }, { 2, 2 } };
    for (const auto& c : cases) {
        preview.SetPageNumber(c.set);
        EXPECT_EQ(preview.PageNumber(), c.expected) << c.set;
        EXPECT_EQ(preview.image()->PageNumber(), c.expected) << c.set;
        EXPECT_TRUE(pageTexts(*preview.image()->Page()).contains(QStringLiteral("Seite %1").arg(c.expected)));
    }
}

TEST(BRPreview, PagesAppearWhileTheRunProducesThem)
{
    TBRPrinter printer;
    TBRPreview preview;
    preview.resize(400, 300);
    preview.setBRPrinter(&printer);
    QList<int> announced;
    preview.OnPageAvailable = [&](QObject* sender, int n) {
        EXPECT_EQ(sender, &preview);
        announced << n;
    };
    EXPECT_EQ(printer.messageReceiver(), &preview);
    EXPECT_TRUE(printer.previewShowing());

    printer.BeginDoc();
    printer.NewPage();
    pump();
    EXPECT_FALSE(preview.image()->hasPage()); // page 1 is still being drawn
    printer.NewPage();
    pump();
    EXPECT_TRUE(preview.image()->hasPage());
    EXPECT_EQ(preview.zoomState(), TBRZoomState::brZoomToWidth);
    EXPECT_EQ(announced, (QList<int> { 1 }));
    printer.NewPage();
    printer.EndDoc();
    pump();
    EXPECT_EQ(announced, (QList<int> { 1, 2, 3 }));
    EXPECT_EQ(preview.PageNumber(), 1);
}

TEST(BRPreview, ProgressReachesThePreviewOnlyWhileItIsTheReceiver)
{
    TBRPrinter printer;
    TBRPreview preview;
    preview.setBRPrinter(&printer);
    QList<int> seen;
    preview.OnProgressUpdate = [&](QObject*, int p) { seen << p; };
    emit printer.progressUpdate(10);
    QObject progressForm;
    printer.setMessageReceiver(&progressForm);
    emit printer.progressUpdate(20);
    EXPECT_EQ(seen, (QList<int> { 10 }));
}

TEST(BRPreview, UnbindingOrDestroyingCancelsARunningReport)
{
    TBRPrinter printer;
    int closed = 0;
    printer.OnPreviewClosed = [&] { ++closed; };
    printer.BeginDoc();
    printer.NewPage();
    {
        TBRPreview preview;
        preview.setBRPrinter(&printer);
        EXPECT_FALSE(printer.Cancelled());
    }
    EXPECT_TRUE(printer.Cancelled());
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(printer.messageReceiver(), nullptr);

    // A store freed under the preview leaves it without a page, not with a dangling printer.
    TBRPreview preview;
    {
        TBRPrinter gone;
        runTextPages(gone, numberedPages(2));
        preview.setBRPrinter(&gone);
        ASSERT_TRUE(preview.image()->hasPage());
    }
    EXPECT_EQ(preview.BRPrinter(), nullptr);
    EXPECT_FALSE(preview.image()->hasPage());
    preview.SetPageNumber(2);
    preview.ZoomToFit();
}

TEST(BRPreview, HyperlinkAreasTurnTheCursorAndAreFollowed)
{
    TBRPreviewImage image;
    image.setZoom(200);
    image.HyperlinkAreas = { { QRect(10, 10, 50, 20), QStringLiteral("heat:3") } };
    QStringList events;
    bool handle = true;
    image.OnHyperlink = [&](QObject*, TBRHyperlinkEventType type, const QString& link, bool& handled) {
        events << QString::number(static_cast<int>(type)) + u' ' + link;
        handled = handle;
    };
    QString followed;
    registerInternalLinkHandler(
        QStringLiteral("heat:"), [&](const QString& rest, QObject*) { followed = rest; });

    image.HyperlinkMouseMove(QPoint(20, 20)); // (10, 10) at 100 %: the corner counts
    EXPECT_TRUE(image.hovering());
    EXPECT_EQ(image.cursor().shape(), Qt::PointingHandCursor);
    image.HyperlinkMouseMove(QPoint(30, 30)); // still over it: no new event
    image.HyperlinkClick();
    handle = false;
    image.HyperlinkClick();
    image.HyperlinkMouseMove(QPoint(200, 200));
    EXPECT_FALSE(image.hovering());
    EXPECT_EQ(image.cursor().shape(), Qt::ArrowCursor);
    image.HyperlinkClick(); // not over a link: nothing
    unregisterInternalLinkHandler(QStringLiteral("heat:"));

    EXPECT_EQ(events,
        (QStringList { QStringLiteral("0 heat:3"), QStringLiteral("2 heat:3"), QStringLiteral("2 heat:3"),
            QStringLiteral("1 ") }));
    EXPECT_EQ(followed, QStringLiteral("3")); // only once Handled stayed false
}

TEST(BRPreview, ShowsThePageWithFrameAndShadow)
{
    TBRPrinter printer;
    printer.BeginDoc();
    printer.NewPage();
    printer.Canvas()->drawPicture(0, 0, page_samples::recordPage(1));
    printer.EndDoc();
    TBRPreview preview;
    preview.resize(600, 500);
    preview.setBRPrinter(&printer);
    preview.show();
    preview.ZoomToFit();
    pump();
    const QString png = testing_support::saveGrab(&preview, QStringLiteral("BRPreview_page"));
    const QImage shot(png);
    ASSERT_FALSE(shot.isNull());
    const QRect r(preview.image()->mapTo(&preview, QPoint(0, 0)), preview.image()->size());
    ASSERT_TRUE(shot.rect().contains(r));
    const auto gray = [&](int x, int y) { return qGray(shot.pixel(x, y)); };
    EXPECT_LT(gray(r.right(), r.top() + r.height() / 2), 60); // the shadow on the right
    EXPECT_LT(gray(r.left() + r.width() / 2, r.bottom()), 60); // and at the bottom
    EXPECT_GT(gray(r.left() + r.width() / 2, r.top() + r.height() * 3 / 4), 200); // white sheet
    int dark = 0;
    for (int y = r.top() + 5; y < r.top() + r.height() / 4; ++y)
        for (int x = r.left() + 5; x < r.right() - 5; ++x)
            dark += gray(x, y) < 128;
    EXPECT_GT(dark, 300); // the framed title and the rows below
}
