#pragma once

// TLED7Seg: one seven-segment digit with a decimal point and a small mark at the upper left,
// drawn as filled polygons scaled (in whole pixels, no antialiasing) from a 170 x 280 design grid.
//
//   auto *Seg21 = new components::TLED7Seg(page);   // 34 x 56 by default
//   Seg21->setGeometry(x, y, 84, 120);
//   Seg21->setSegColor(platform::clLime);           // takes effect at the next value write
//   Seg21->SetValue(7);                             // -2 blank, -1 minus, 0-9, 10-15 A b c d E F, 16 o
//   Seg21->setPeriod(true);                         // decimal point lit (drawn at once)
//   Seg21->setMilles(false);                        // upper-left mark unlit (drawn at once)
//   int v = Seg21->Value();                         // -2 after a value outside -2..16
//
// Colours are platform::TColor numbers (0x00BBGGRR or system colours, platform/ColorRef.h).
// SegColor, SegClear and BdrColor are plain fields: a colour is chosen per segment when Value,
// Period or Milles is written, and the digit keeps what it last drew until then. Call Loaded()
// after setting up a digit the way a form loader would: it shows every segment unlit.
//
// The segment shapes (1 top, 2 upper right, 3 lower right, 4 bottom, 5 lower left, 6 upper left,
// 7 middle, 8 decimal point, 9 upper-left mark, 10-16 spare) are shared by every digit of the
// program: SetSegmentShape changes them for all.

#include "platform/ColorRef.h"

#include <QPoint>
#include <QPolygon>
#include <QWidget>
#include <array>

namespace components {

class TLED7Seg : public QWidget {
public:
    static constexpr int SegmentCount = 16;
    static constexpr int MaxShapePoints = 10;
    static constexpr int DesignWidth = 170;
    static constexpr int DesignHeight = 280;
    using TSegmentPoints = std::array<QPoint, MaxShapePoints>;

    explicit TLED7Seg(QWidget* parent = nullptr);

    platform::TColor SegColor() const { return m_segColor; }
    void setSegColor(platform::TColor color) { m_segColor = color; }
    platform::TColor SegClear() const { return m_segClear; }
    void setSegClear(platform::TColor color) { m_segClear = color; }
    platform::TColor BdrColor() const { return m_bdrColor; }
    void setBdrColor(platform::TColor color) { m_bdrColor = color; }

    bool Period() const { return m_period; }
    void setPeriod(bool on);
    bool Milles() const { return m_milles; }
    void setMilles(bool on);

    int Value() const { return m_value; }
    virtual void SetValue(int value);

    // Every segment back to unlit, whatever the properties say.
    virtual void Loaded();

    // Colours one segment (1..16) and schedules it to be drawn; a segment without shape is left alone.
    virtual void DrawSegment(int segment, platform::TColor fill, platform::TColor outline);

    // The shared shape of a segment: Count points (0..10) of the design grid. Out-of-range
    // segments or counts are ignored; a count of 0 stops the segment being drawn anywhere.
    virtual void SetSegmentShape(int segment, int count, const TSegmentPoints& points);
    virtual void GetSegmentShape(int segment, int& count, TSegmentPoints& points) const;

    // The segment's polygon at the digit's present size (empty when it has no shape).
    QPolygon segmentPolygon(int segment) const;
    // Fill and outline the segment was last given.
    platform::TColor segmentFill(int segment) const;
    platform::TColor segmentOutline(int segment) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct SegmentColors {
        platform::TColor fill;
        platform::TColor outline;
    };
    void resetSegments();
    static bool validSegment(int segment) { return segment >= 1 && segment <= SegmentCount; }

    platform::TColor m_segColor = platform::clRed;
    platform::TColor m_segClear = platform::clSilver;
    platform::TColor m_bdrColor = platform::clGray;
    bool m_period = false;
    bool m_milles = false;
    int m_value = -2;
    std::array<SegmentColors, SegmentCount> m_segments;
};

} // namespace components
