#include "platform/ColorRef.h"

#include <QColor>
#include <gtest/gtest.h>

using namespace platform;

TEST(ColorRef, PlainColoursAreBlueGreenRedFromTheTop)
{
    const struct {
        TColor color;
        QColor expected;
    } cases[] = {
        { clRed, QColor(255, 0, 0) },
        { clBlue, QColor(0, 0, 255) },
        { clLime, QColor(0, 255, 0) },
        { clYellow, QColor(255, 255, 0) },
        { clSilver, QColor(192, 192, 192) },
        { 0x00123456, QColor(0x56, 0x34, 0x12) },
    };
    for (const auto& c : cases)
        EXPECT_EQ(colorFromRef(c.color), c.expected) << std::hex << c.color;
}

TEST(ColorRef, SystemColoursTakeTheDefaultScheme)
{
    EXPECT_EQ(colorFromRef(clBtnFace), QColor(0xF0, 0xF0, 0xF0));
    EXPECT_EQ(colorFromRef(clBtnShadow), QColor(0xA0, 0xA0, 0xA0));
    EXPECT_EQ(colorFromRef(clBtnHighlight), QColor(Qt::white));
    EXPECT_EQ(colorFromRef(clWindowText), QColor(Qt::black));
    EXPECT_EQ(colorFromRef(clGrayText), QColor(0x6D, 0x6D, 0x6D));
    // The later spelling of system colours (0xFF000000 | index) means the same.
    EXPECT_EQ(colorFromRef(0xFF00000F), colorFromRef(clBtnFace));
    // An index past the table answers black rather than reading beyond it.
    EXPECT_EQ(colorFromRef(clSystemColor | 0xC8), QColor(Qt::black));
}
