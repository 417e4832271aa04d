#include "components/LED7Seg.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QPalette>
#include <QSet>
#include <climits>
#include <gtest/gtest.h>

using components::TLED7Seg;
using namespace platform;
using testing_support::grabImage;

namespace {

// A point well inside the segment: the average of its corners.
QPoint centre(const QPolygon& polygon)
{
    QPoint sum;
    for (const QPoint& p : polygon)
        sum += p;
    return sum / polygon.size();
}

QColor at(const QImage& image, QPoint p) { return image.pixelColor(p); }

// Which of segments 1 to 7 light up for -2 .. 16, as the digit is meant to show them.
const char* const kLitSegments[] = {
    "0000000", // -2 blank
    "0000001", // -1 minus
    "1111110", "0110000", "1101101", "1111001", "0110011", // 0 1 2 3 4
    "1011011", "1011111", "1110010", "1111111", "1110011", // 5 6 7 8 9
    "1110111", "0011111", "0001101", "0111101", "1001111", // A b c d E
    "1000111", "0011101", // F o
};

class LED7SegTest : public ::testing::Test {
protected:
    LED7SegTest() { digit.resize(TLED7Seg::DesignWidth, TLED7Seg::DesignHeight); }
    TLED7Seg digit;
};

} // namespace

TEST_F(LED7SegTest, StartsAsABlankSmallDigitInTheUsualColours)
{
    TLED7Seg fresh;
    EXPECT_EQ(fresh.size(), QSize(34, 56));
    EXPECT_EQ(fresh.Value(), -2);
    EXPECT_EQ(fresh.SegColor(), clRed);
    EXPECT_EQ(fresh.SegClear(), clSilver);
    EXPECT_EQ(fresh.BdrColor(), clGray);
    EXPECT_FALSE(fresh.Period());
    EXPECT_FALSE(fresh.Milles());
    for (int s = 1; s <= TLED7Seg::SegmentCount; ++s) {
        EXPECT_EQ(fresh.segmentFill(s), clSilver) << s;
        EXPECT_EQ(fresh.segmentOutline(s), clGray) << s;
    }
}

TEST_F(LED7SegTest, ScalesTheDesignGridInWholePixels)
{
    digit.resize(84, 120);
    EXPECT_EQ(digit.segmentPolygon(1).first(), QPoint(24, 4));
    // 155 * 84 / 170 = 76.59 and 15 * 120 / 280 = 6.43 truncate.
    EXPECT_EQ(digit.segmentPolygon(1).at(2), QPoint(76, 6));
    digit.resize(34, 56);
    EXPECT_EQ(digit.segmentPolygon(8).first(), QPoint(28, 48));
    EXPECT_TRUE(digit.segmentPolygon(10).isEmpty());

    digit.resize(84, 120);
    digit.setBdrColor(clBlue);
    digit.SetValue(8);
    const QImage image = grabImage(digit);
    EXPECT_EQ(at(image, QPoint(24, 4)), colorFromRef(clBlue));
}

TEST_F(LED7SegTest, EveryValueLightsItsSegments)
{
    digit.setSegColor(clLime);
    for (int value = -2; value <= 16; ++value) {
        digit.SetValue(value);
        EXPECT_EQ(digit.Value(), value);
        const QImage image = grabImage(digit);
        const char* lit = kLitSegments[value + 2];
        for (int s = 1; s <= 7; ++s) {
            const QColor expected = colorFromRef(lit[s - 1] == '1' ? clLime : clSilver);
            EXPECT_EQ(at(image, centre(digit.segmentPolygon(s))), expected)
                << "value " << value << " segment " << s;
        }
    }
}

TEST_F(LED7SegTest, ValuesOutsideTheTableShowBlank)
{
    for (int value : { 17, -3, 1000, INT_MIN, INT_MAX }) {
        digit.SetValue(8);
        digit.SetValue(value);
        EXPECT_EQ(digit.Value(), -2) << value;
        const QImage image = grabImage(digit);
        for (int s = 1; s <= 9; ++s)
            EXPECT_EQ(at(image, centre(digit.segmentPolygon(s))), colorFromRef(clSilver))
                << value << " " << s;
    }
}

TEST_F(LED7SegTest, PeriodAndMillesRedrawOnlyTheirOwnSegment)
{
    digit.SetValue(3);
    digit.setSegColor(clYellow);
    const QImage before = grabImage(digit);

    digit.setPeriod(true);
    QImage after = grabImage(digit);
    const QRect point = digit.segmentPolygon(8).boundingRect();
    for (int y = 0; y < after.height(); ++y) {
        for (int x = 0; x < after.width(); ++x) {
            if (!point.contains(x, y)) {
                ASSERT_EQ(after.pixel(x, y), before.pixel(x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(at(after, centre(digit.segmentPolygon(8))), colorFromRef(clYellow));
    // The other segments keep the red they were drawn with.
    EXPECT_EQ(at(after, centre(digit.segmentPolygon(1))), colorFromRef(clRed));

    digit.setMilles(true);
    after = grabImage(digit);
    EXPECT_EQ(at(after, centre(digit.segmentPolygon(9))), colorFromRef(clYellow));
    digit.setMilles(false);
    digit.setPeriod(false);
    after = grabImage(digit);
    EXPECT_EQ(at(after, centre(digit.segmentPolygon(8))), colorFromRef(clSilver));
    EXPECT_EQ(at(after, centre(digit.segmentPolygon(9))), colorFromRef(clSilver));
}

TEST_F(LED7SegTest, ValueWriteCarriesPeriodAndMilles)
{
    digit.setPeriod(true);
    digit.setMilles(true);
    digit.setSegColor(clAqua);
    digit.SetValue(1);
    const QImage image = grabImage(digit);
    EXPECT_EQ(at(image, centre(digit.segmentPolygon(8))), colorFromRef(clAqua));
    EXPECT_EQ(at(image, centre(digit.segmentPolygon(9))), colorFromRef(clAqua));
}

TEST_F(LED7SegTest, AColourChangeShowsOnlyWithTheNextValue)
{
    digit.SetValue(8);
    const QImage red = grabImage(digit);
    digit.setSegColor(clBlue);
    digit.setSegClear(clBlack);
    digit.setBdrColor(clWhite);
    EXPECT_EQ(grabImage(digit), red);
    digit.SetValue(8);
    EXPECT_EQ(at(grabImage(digit), centre(digit.segmentPolygon(1))), colorFromRef(clBlue));
}

TEST_F(LED7SegTest, LoadedShowsEverySegmentUnlit)
{
    digit.setPeriod(true);
    digit.SetValue(8);
    digit.Loaded();
    const QImage image = grabImage(digit);
    for (int s = 1; s <= 9; ++s)
        EXPECT_EQ(at(image, centre(digit.segmentPolygon(s))), colorFromRef(clSilver)) << s;
    EXPECT_TRUE(digit.Period());
}

TEST_F(LED7SegTest, DrawsWithoutAntialiasing)
{
    QPalette palette = digit.palette();
    palette.setColor(QPalette::Window, Qt::black);
    digit.setPalette(palette);
    digit.resize(84, 120);
    digit.SetValue(4);
    const QImage image = grabImage(digit);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    const QSet<QRgb> expected { QColor(Qt::black).rgb(), colorFromRef(clRed).rgb(),
        colorFromRef(clSilver).rgb(), colorFromRef(clGray).rgb() };
    EXPECT_EQ(colours, expected);
}

TEST_F(LED7SegTest, ShapeTableIsSharedAndChecksItsInput)
{
    TLED7Seg other;
    other.resize(digit.size());
    int savedCount = -1;
    TLED7Seg::TSegmentPoints saved {};
    digit.GetSegmentShape(7, savedCount, saved);
    ASSERT_EQ(savedCount, 6);
    EXPECT_EQ(saved[0], QPoint(58, 120));

    TLED7Seg::TSegmentPoints square { { { 0, 0 }, { 10, 0 }, { 10, 10 }, { 0, 10 } } };
    digit.SetSegmentShape(7, 11, square);
    digit.SetSegmentShape(0, 4, square);
    digit.SetSegmentShape(17, 4, square);
    digit.SetSegmentShape(7, -1, square);
    EXPECT_EQ(other.segmentPolygon(7).size(), 6);

    digit.SetSegmentShape(7, 0, square);
    EXPECT_TRUE(other.segmentPolygon(7).isEmpty());
    other.SetValue(8);
    const QImage image = grabImage(other);
    // Where the middle bar was, the background shows.
    EXPECT_EQ(at(image, centre(QPolygon({ QPoint(58, 120), QPoint(112, 150) }))),
        other.palette().color(QPalette::Window));

    // A segment without shape keeps its colours.
    other.DrawSegment(7, clBlue, clBlue);
    EXPECT_EQ(other.segmentFill(7), clSilver);

    int count = 99;
    TLED7Seg::TSegmentPoints untouched {};
    digit.GetSegmentShape(17, count, untouched);
    EXPECT_EQ(count, 99);

    digit.SetSegmentShape(7, savedCount, saved);
    EXPECT_EQ(other.segmentPolygon(7).size(), 6);
}

TEST_F(LED7SegTest, PictureOfAllDigits)
{
    QWidget row;
    row.setAutoFillBackground(true);
    QPalette palette = row.palette();
    palette.setColor(QPalette::Window, Qt::black);
    row.setPalette(palette);
    row.resize(20 * 38 + 8, 56 + 120 + 24);
    const int values[] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, -1, -2, 17 };
    int i = 0;
    for (int value : values) {
        auto* small = new TLED7Seg(&row);
        small->move(4 + i * 38, 4);
        small->setSegColor(i % 2 ? clLime : clRed);
        small->setSegClear(0x303030);
        small->setBdrColor(clBlack);
        small->setPeriod(i % 3 == 0);
        small->setMilles(i % 4 == 0);
        small->SetValue(value);
        if (i < 8) {
            auto* big = new TLED7Seg(&row);
            big->setGeometry(4 + i * 88, 68, 84, 120);
            big->setSegColor(clYellow);
            big->setPeriod(i == 1);
            big->setMilles(i == 2);
            big->SetValue(value);
        }
        ++i;
    }
    const QString path = testing_support::saveGrab(&row, QStringLiteral("LED7Seg_digits"));
    EXPECT_FALSE(QImage(path).isNull());
}
