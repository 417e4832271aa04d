#include "components/LED7Seg.h"

#include <QPainter>
#include <algorithm>

namespace components {

namespace {

struct Shape {
    int count;
    TLED7Seg::TSegmentPoints points;
};

// One table for the whole program: a changed shape shows on every digit.
std::array<Shape, TLED7Seg::SegmentCount>& shapes()
{
    static std::array<Shape, TLED7Seg::SegmentCount> shapes = { {
        { 7, { { { 50, 10 }, { 150, 10 }, { 155, 15 }, { 126, 40 }, { 66, 40 }, { 38, 30 }, { 40, 20 } } } },
        { 6, { { { 126, 40 }, { 155, 15 }, { 159, 20 }, { 146, 132 }, { 136, 135 }, { 116, 120 } } } },
        { 7,
            { { { 136, 135 }, { 144, 144 }, { 132, 252 }, { 122, 270 }, { 110, 270 }, { 100, 240 },
                { 112, 150 } } } },
        { 5, { { { 110, 270 }, { 100, 240 }, { 44, 240 }, { 12, 250 }, { 18, 270 } } } },
        { 5, { { { 44, 240 }, { 12, 250 }, { 25, 140 }, { 36, 135 }, { 56, 150 } } } },
        { 5, { { { 36, 135 }, { 26, 130 }, { 38, 30 }, { 66, 40 }, { 58, 120 } } } },
        { 6, { { { 58, 120 }, { 36, 135 }, { 56, 150 }, { 112, 150 }, { 136, 135 }, { 116, 120 } } } },
        { 4, { { { 144, 244 }, { 160, 244 }, { 160, 270 }, { 144, 270 } } } },
        { 7, { { { 10, 10 }, { 25, 10 }, { 26, 25 }, { 18, 36 }, { 10, 36 }, { 16, 26 }, { 10, 20 } } } },
    } };
    return shapes;
}

// Which of segments 1..7 each value from -2 to 16 lights (bit 0 = segment 1).
constexpr int kMinValue = -2;
constexpr int kMaxValue = 16;
constexpr std::array<unsigned, kMaxValue - kMinValue + 1> kPatterns = {
    0b0000000, // -2 blank
    0b1000000, // -1 minus
    0b0111111, // 0
    0b0000110, // 1
    0b1011011, // 2
    0b1001111, // 3
    0b1100110, // 4
    0b1101101, // 5
    0b1111101, // 6
    0b0100111, // 7 with its upper-left stroke
    0b1111111, // 8
    0b1100111, // 9 without bottom stroke
    0b1110111, // A
    0b1111100, // b
    0b1011000, // c
    0b1011110, // d
    0b1111001, // E
    0b1110001, // F
    0b1011100, // o
};

constexpr int kPeriodSegment = 8;
constexpr int kMillesSegment = 9;

} // namespace

TLED7Seg::TLED7Seg(QWidget* parent)
    : QWidget(parent)
{
    resize(34, 56);
    resetSegments();
}

void TLED7Seg::resetSegments() { m_segments.fill({ m_segClear, m_bdrColor }); }

void TLED7Seg::Loaded()
{
    resetSegments();
    update();
}

void TLED7Seg::setPeriod(bool on)
{
    m_period = on;
    DrawSegment(kPeriodSegment, on ? m_segColor : m_segClear, m_bdrColor);
}

void TLED7Seg::setMilles(bool on)
{
    m_milles = on;
    DrawSegment(kMillesSegment, on ? m_segColor : m_segClear, m_bdrColor);
}

void TLED7Seg::SetValue(int value)
{
    if (value < kMinValue || value > kMaxValue)
        value = kMinValue;
    m_value = value;
    const unsigned pattern = kPatterns[std::size_t(value - kMinValue)];
    for (int segment = 1; segment <= 7; ++segment)
        DrawSegment(segment, (pattern >> (segment - 1)) & 1u ? m_segColor : m_segClear, m_bdrColor);
    DrawSegment(kPeriodSegment, m_period ? m_segColor : m_segClear, m_bdrColor);
    DrawSegment(kMillesSegment, m_milles ? m_segColor : m_segClear, m_bdrColor);
}

void TLED7Seg::DrawSegment(int segment, platform::TColor fill, platform::TColor outline)
{
    if (!validSegment(segment) || shapes()[std::size_t(segment - 1)].count < 1)
        return;
    m_segments[std::size_t(segment - 1)] = { fill, outline };
    update();
}

void TLED7Seg::SetSegmentShape(int segment, int count, const TSegmentPoints& points)
{
    if (!validSegment(segment) || count < 0 || count > MaxShapePoints)
        return;
    Shape& shape = shapes()[std::size_t(segment - 1)];
    shape.count = count;
    std::copy_n(points.begin(), count, shape.points.begin());
    update();
}

void TLED7Seg::GetSegmentShape(int segment, int& count, TSegmentPoints& points) const
{
    if (!validSegment(segment))
        return;
    const Shape& shape = shapes()[std::size_t(segment - 1)];
    count = shape.count;
    std::copy_n(shape.points.begin(), count, points.begin());
}

QPolygon TLED7Seg::segmentPolygon(int segment) const
{
    QPolygon polygon;
    if (!validSegment(segment))
        return polygon;
    const Shape& shape = shapes()[std::size_t(segment - 1)];
    // Whole-pixel scaling, truncating, exactly as the digit has always been drawn.
    const qint64 w = width(), h = height();
    for (int i = 0; i < shape.count; ++i)
        polygon << QPoint(int(w * shape.points[std::size_t(i)].x() / DesignWidth),
            int(h * shape.points[std::size_t(i)].y() / DesignHeight));
    return polygon;
}

platform::TColor TLED7Seg::segmentFill(int segment) const
{
    return validSegment(segment) ? m_segments[std::size_t(segment - 1)].fill : m_segClear;
}

platform::TColor TLED7Seg::segmentOutline(int segment) const
{
    return validSegment(segment) ? m_segments[std::size_t(segment - 1)].outline : m_bdrColor;
}

void TLED7Seg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int segment = 1; segment <= SegmentCount; ++segment) {
        const QPolygon polygon = segmentPolygon(segment);
        if (polygon.isEmpty())
            continue;
        const SegmentColors& colors = m_segments[std::size_t(segment - 1)];
        painter.setPen(QPen(platform::colorFromRef(colors.outline), 1));
        painter.setBrush(platform::colorFromRef(colors.fill));
        painter.drawPolygon(polygon);
    }
}

} // namespace components
