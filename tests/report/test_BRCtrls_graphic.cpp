// Shapes and pictures on the page: where each shape kind draws, pen widths on a high-resolution
// printer, pictures clipped, centred and stretched, and the pictures that are refused.

#include "BRCtrlsTestSupport.h"
#include "BRPrinterTestSupport.h"

#include <QBuffer>
#include <QTemporaryDir>

using namespace band_samples;

namespace {

// One detail band at the top margin (10 mm) of an A4 page, printed once.
struct GraphicPage {
    GraphicPage()
        : b(report)
    {
        a4(b);
        band = b.band(TBRBandType::rbDetail, 800);
    }
    QImage run()
    {
        b.Finish();
        report.Prepare();
        return pageImages(report).value(0);
    }
    TBandReport report;
    TBRReportBuilder b;
    TBRBand* band;
};

// Page pixel of a position on the band, in tenths of a millimetre.
QPoint at(double x, double y) { return QPoint(px(100 + x), px(100 + y)); }

bool isDark(const QImage& img, QPoint p) { return qGray(img.pixel(p)) < 128; }

// The rows of the page column x that are dark between two band positions.
QList<int> darkRows(const QImage& img, double x, double fromY, double toY)
{
    QList<int> rows;
    for (int y = at(x, fromY).y(); y <= at(x, toY).y(); ++y)
        if (isDark(img, QPoint(at(x, 0).x(), y)))
            rows << y;
    return rows;
}

TEST(BRShape, EachKindDrawsWhereItShould)
{
    GraphicPage p;
    const auto shape = [&](TBRShapeType kind, double x, double height = 200, double y = 0) {
        return p.b.Shape(p.band, kind, QRectF(x, y, 200, height), 2);
    };
    shape(TBRShapeType::brsRectangle, 0);
    shape(TBRShapeType::brsCircle, 250);
    shape(TBRShapeType::brsVertLine, 500);
    shape(TBRShapeType::brsHorLine, 750, 90);
    shape(TBRShapeType::brsHorLine, 1000, 300);
    shape(TBRShapeType::brsTopAndBottom, 1250);
    shape(TBRShapeType::brsRightAndLeft, 1500);
    shape(TBRShapeType::brsRoundRect, 0, 200, 400); // round factor 0: square
    shape(TBRShapeType::brsRoundRect, 250, 200, 400)->RoundFactor = 0.4F;
    const QImage img = p.run();
    savePage(img, "BRShape_kinds");

    EXPECT_TRUE(isDark(img, at(0, 0)));
    EXPECT_FALSE(isDark(img, at(100, 100))); // filled with the white brush
    EXPECT_FALSE(isDark(img, at(250, 0))); // a circle leaves the corners
    EXPECT_TRUE(isDark(img, at(250, 100)));
    EXPECT_EQ(darkRows(img, 600, -20, 220).size(), at(0, 200).y() - at(0, 0).y());
    // A horizontal line runs through the middle of its box, as thick as its pen at any height.
    const QList<int> short_ = darkRows(img, 850, -20, 320);
    const QList<int> tall = darkRows(img, 1100, -20, 320);
    ASSERT_EQ(short_.size(), 2);
    ASSERT_EQ(tall.size(), 2);
    EXPECT_NEAR(short_[0], at(0, 45).y(), 1);
    EXPECT_NEAR(tall[0], at(0, 150).y(), 1);
    EXPECT_EQ(darkRows(img, 1350, -20, 220).size(), 4); // top and bottom
    EXPECT_TRUE(isDark(img, at(1500, 100)));
    EXPECT_FALSE(isDark(img, at(1600, 100)));
    EXPECT_TRUE(isDark(img, at(0, 400))); // round factor 0: square corners
    EXPECT_FALSE(isDark(img, at(250, 400)));
    EXPECT_TRUE(isDark(img, at(350, 400)));
}

TEST(BRShape, PenWidthsAreReferencePixelsOnAPrinter)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("shapes.pdf");
    GraphicPage p;
    p.b.Shape(p.band, TBRShapeType::brsHorLine, QRectF(0, 0, 1000, 100), 3);
    p.b.Finish();
    p.report.ShowProgress = false;
    p.report.PrinterSettings.OutputFileName = pdf;
    p.report.Print(); // straight to a 1200-dpi PDF printer
    const QString png = dir.filePath("page");
    printer_support::run("pdftoppm", { "-png", "-r", "96", "-f", "1", "-l", "1", pdf, png });
    const QImage page(png + "-1.png");
    ASSERT_FALSE(page.isNull());
    // Three pixels at 96 dpi, not three printer dots.
    EXPECT_EQ(darkRows(page, 500, 0, 100).size(), 3);
}

// A picture of 200 x 100 pixels in four coloured quarters inside a black border 6 pixels wide.
QImage quarters()
{
    QImage img(200, 100, QImage::Format_RGB32);
    QPainter painter(&img);
    painter.fillRect(img.rect(), Qt::black);
    painter.fillRect(6, 6, 94, 44, Qt::red);
    painter.fillRect(100, 6, 94, 44, Qt::green);
    painter.fillRect(6, 50, 94, 44, Qt::blue);
    painter.fillRect(100, 50, 94, 44, Qt::yellow);
    return img;
}

QRgb colour(const QImage& img, double x, double y) { return img.pixel(at(x, y)) & 0xFFFFFF; }

TEST(BRImage, PicturesAreClippedCentredOrStretched)
{
    GraphicPage p;
    // Boxes of 100 x 60 pixels: smaller than the picture.
    const double w = 100 / BRLayoutPixelsPerTenth, h = 60 / BRLayoutPixelsPerTenth;
    TBRImage* natural = p.b.image(p.band, QRectF(0, 0, w, h));
    TBRImage* centred = p.b.image(p.band, QRectF(500, 0, w, h));
    TBRImage* stretched = p.b.image(p.band, QRectF(1000, 0, w, h));
    TBRImage* empty = p.b.image(p.band, QRectF(0, 400, w, h));
    for (TBRImage* i : { natural, centred, stretched })
        i->setPicture(quarters());
    centred->setCenter(true);
    stretched->setStretch(true);
    empty->Frame().setDrawTop(true);
    empty->Frame().setDrawBottom(true);
    empty->Frame().setDrawLeft(true);
    empty->Frame().setDrawRight(true);
    const QImage img = p.run();
    savePage(img, "BRImage_pictures");

    const QRgb red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF, yellow = 0xFFFF00, white = 0xFFFFFF,
               black = 0;
    // At its natural size the picture is cut at the box's right and bottom.
    EXPECT_EQ(colour(img, 30, 30), red);
    EXPECT_EQ(colour(img, 30, h - 20), blue); // the lower half begins at the picture's 50th row
    EXPECT_EQ(colour(img, w - 30, 30), red); // the green half lies beyond the box
    EXPECT_EQ(colour(img, 2, h / 2), black);
    EXPECT_EQ(colour(img, w - 4, h / 2), red);
    EXPECT_EQ(colour(img, w + 20, 10), white);
    // Centred, its middle is shown and its border is cut off all round.
    EXPECT_EQ(colour(img, 500 + w / 2 - 30, h / 2 - 30), red);
    EXPECT_EQ(colour(img, 500 + w / 2 + 30, h / 2 + 30), yellow);
    EXPECT_NE(colour(img, 502, h / 2), black);
    EXPECT_EQ(colour(img, 500 - 10, 10), white);
    // Stretched, the whole picture fills the box.
    EXPECT_EQ(colour(img, 1000 + 30, 30), red);
    EXPECT_EQ(colour(img, 1000 + w - 30, 30), green);
    EXPECT_EQ(colour(img, 1000 + 30, h - 30), blue);
    EXPECT_EQ(colour(img, 1000 + w - 30, h - 30), yellow);
    EXPECT_EQ(colour(img, 1002, h / 2), black);
    EXPECT_EQ(colour(img, 1000 + w - 4, h / 2), black);
    // An empty picture prints its frame only.
    EXPECT_EQ(darkPixels(img, QRect(at(10, 410), at(w - 10, 400 + h - 10))), 0);
    EXPECT_GT(darkPixels(img, QRect(at(0, 400), at(w, 405))), 0);
}

TEST(BRImage, AutoSizeTakesThePicturesSize)
{
    TBRImage image;
    EXPECT_EQ(image.Width(), 105);
    image.setAutoSize(true);
    image.setPicture(quarters());
    EXPECT_EQ(QSize(image.Width(), image.Height()), QSize(200, 100));
}

TEST(BRPicture, MetafilesAndUnreadableFilesAreRefused)
{
    QTemporaryDir dir;
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    };
    QByteArray emf(88, '\0');
    emf[0] = 1;
    emf.replace(40, 4, " EMF");
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    quarters().save(&buffer, "PNG");
    const std::pair<QString, const char*> cases[] = {
        { write("header.png", emf), "メタファイル" }, { write("picture.wmf", png), "メタファイル" },
        { write("placeable.bmp", QByteArray::fromHex("d7cdc69a0000")), "メタファイル" },
        { write("broken.png", "not a picture"), "画像ファイルを読み込めません" },
        { dir.filePath("missing.jpg"), "画像ファイルを読み込めません" },
        { write("quarters.png", png), nullptr }, // read
    };
    for (const auto& [file, message] : cases) {
        TBRPicture picture;
        try {
            picture.LoadFromFile(file);
            EXPECT_EQ(message, nullptr) << file;
            EXPECT_EQ(picture.Width(), 200);
        } catch (const EBRError& e) {
            EXPECT_TRUE(message && e.message().contains(QString::fromUtf8(message))) << e.message();
            EXPECT_TRUE(e.message().contains(file) && picture.isEmpty());
        }
    }
}

} // namespace

namespace {

TEST(BRCtrls, ASchedulePagePrintsFieldsRulesAndPictures)
{
    ctrls_samples::EntryForm f; // the schedule's time fields, a text and rules, under a picture
    const auto t = [](double px) { return px / BRLayoutPixelsPerTenth; };
    TBRReportBuilder b(*f.report);
    b.Page(TBRPaperSize::A4, TPrinterOrientation::poPortrait, 150);
    TBRBand* header = b.band(TBRBandType::rbPageHeader, t(200));
    TBRImage* banner = b.image(header, QRectF(t(4), t(4), t(673), t(119)));
    b.label(header, "第1戦 スケジュール",
        { .top = t(129), .pointSize = 18, .alignment = TAlignment::taCenter, .alignToBand = true });
    b.Shape(header, TBRShapeType::brsHorLine, QRectF(t(8), t(150), t(660), t(14)), 2);
    TBRBand* detail = b.band(TBRBandType::rbDetail, t(30));
    b.dbText(detail, f.q1, "at", { .left = t(24), .top = t(2), .pointSize = 12 });
    b.dbText(detail, f.q1, "day", { .left = t(140), .top = t(2), .pointSize = 12 }, "m/d(ddd)");
    b.dbText(detail, f.q1, "name", { .left = t(248), .top = t(2), .pointSize = 12 });
    b.Shape(detail, TBRShapeType::brsHorLine, QRectF(t(8), t(19), t(660), t(14)), 2);
    b.Finish();
    QImage picture(673, 119, QImage::Format_RGB32);
    picture.fill(QColor(30, 80, 160));
    banner->setPicture(picture);
    banner->setStretch(true);

    f.report->Prepare();
    const QImage page = pageImages(*f.report).value(0);
    savePage(page, "BRCtrls_schedule_page");
    const QStringList texts = pageTexts(*f.report, 1);
    for (const char* text : { "9:05:00", "3/9(土)", "あいう", "23:59:59" })
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
    EXPECT_EQ(page.pixel(at(t(300) - 50, t(50) - 50)) & 0xFFFFFF, 0x1E50A0U);
}

} // namespace
