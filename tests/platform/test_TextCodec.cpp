#include "platform/TextCodec.h"

#include <gtest/gtest.h>

TEST(TextCodec, Cp932RoundTripsJapaneseAndSymbolsShiftJisLacks)
{
    const QString text = QStringLiteral("大会コントロール ①～－ abc");
    QByteArray bytes = platform::toCp932(text);
    EXPECT_EQ(bytes.left(2), QByteArray("\x91\xe5"));
    EXPECT_EQ(platform::fromCp932(bytes), text);
}

TEST(TextCodec, UnmappableCharactersBecomeQuestionMarks)
{
    EXPECT_EQ(platform::toCp932(QStringLiteral("a😀b")), QByteArray("a?b"));
}
