#include "report/BRPrntr.h"

#include <gtest/gtest.h>
#include <random>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

QByteArray randomBytes(qsizetype n, unsigned seed)
{
    std::mt19937 rng(seed);
    QByteArray b(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        b[i] = static_cast<char>(rng() & 0xFF);
    return b;
}

void expectRoundTrip(const QByteArray& data)
{
    const QByteArray code = TBRCompress::compress(data);
    const auto back = TBRCompress::expand(code, data.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, data);
}

} // namespace

TEST(BRPrntrCompress, EmptyInputWritesNoCodeByte)
{
    EXPECT_TRUE(TBRCompress::compress({}).isEmpty());
    const auto back = TBRCompress::expand({}, 0);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(back->isEmpty());
}

TEST(BRPrntrCompress, FirstByteCodesOfAFreshTree)
{
    // Byte 0: path 0,0,0,0,0,0,0,1 from the root, first bit in bit 0 of the code byte.
    EXPECT_EQ(TBRCompress::compress(bytes({ 0 })), bytes({ 0x80 }));
    EXPECT_EQ(TBRCompress::compress(bytes({ 1 })), bytes({ 0x40 }));
    EXPECT_EQ(TBRCompress::compress(bytes({ 254 })), bytes({ 0xFF }));
    // Byte 255 lies one level deeper: nine 0 bits, so a second, partly filled byte.
    EXPECT_EQ(TBRCompress::compress(bytes({ 255 })), bytes({ 0x00, 0x00 }));
    for (int b = 0; b < 255; ++b)
        EXPECT_EQ(TBRCompress::compress(bytes({ b })).size(), 1) << b;
}

TEST(BRPrntrCompress, RepeatedByteGetsAShorterCode)
{
    // After the first 0 the leaf sits four levels down, on the right each time.
    EXPECT_EQ(TBRCompress::compress(bytes({ 0, 0 })), bytes({ 0x80, 0x0F }));
    expectRoundTrip(bytes({ 0, 0 }));
}

TEST(BRPrntrCompress, LongRunsShrink)
{
    const QByteArray run(100000, 'A');
    const QByteArray code = TBRCompress::compress(run);
    EXPECT_LT(code.size(), run.size() / 6);
    expectRoundTrip(run);
    expectRoundTrip(QByteArray(100000, '\xFF'));
    expectRoundTrip(QByteArray(1, '\xFF'));
}

TEST(BRPrntrCompress, AllByteValuesRoundTrip)
{
    QByteArray all;
    for (int round = 0; round < 4; ++round)
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(round % 2 ? 255 - b : b));
    expectRoundTrip(all);
    for (int b = 0; b < 256; ++b)
        expectRoundTrip(bytes({ b }));
}

TEST(BRPrntrCompress, RandomAndOneMegabyteInputsRoundTrip)
{
    for (unsigned seed = 1; seed <= 20; ++seed)
        expectRoundTrip(randomBytes(static_cast<qsizetype>(seed * 97), seed));

    // A megabyte of mixed content: noise, runs and text.
    QByteArray big;
    std::mt19937 rng(42);
    while (big.size() < 1024 * 1024) {
        switch (rng() % 3) {
        case 0:
            big += randomBytes(rng() % 4096, rng());
            break;
        case 1:
            big += QByteArray(static_cast<qsizetype>(rng() % 8192), static_cast<char>(rng()));
            break;
        default:
            big += QByteArray("QPicture drawText 開始時刻 終了時刻 ").repeated(rng() % 50);
            break;
        }
    }
    big.truncate(1024 * 1024);
    expectRoundTrip(big);
}

TEST(BRPrntrCompress, CodesLongerThanAWordRoundTrip)
{
    // Sixteen sweeps up and down the byte values leave byte 236's leaf 77 levels deep: its code
    // is longer than 64 bits.
    QByteArray data;
    for (int i = 0; i < 16 * 256; ++i)
        data.append(static_cast<char>(i / 256 % 2 == 0 ? i % 256 : 255 - i % 256));
    data += bytes({ 236, 236, 1, 2, 3 });
    expectRoundTrip(data);
    const QByteArray code = TBRCompress::compress(data);
    EXPECT_EQ(TBRCompress::expand(code, data.size() - 4), data.left(data.size() - 4));
}

TEST(BRPrntrCompress, DecoderReportsACodeThatEndsEarly)
{
    const QByteArray data = randomBytes(5000, 7);
    const QByteArray code = TBRCompress::compress(data);
    for (qsizetype cut : { qsizetype(0), qsizetype(1), code.size() / 2, code.size() - 1 })
        EXPECT_FALSE(TBRCompress::expand(code.left(cut), data.size()).has_value()) << cut;
    // Asking for fewer bytes than were coded is fine: the rest of the bits is ignored.
    const auto head = TBRCompress::expand(code, 100);
    ASSERT_TRUE(head.has_value());
    EXPECT_EQ(*head, data.left(100));
}

TEST(BRPrntrCompress, ImpossibleLengthsAreRefusedWithoutAllocating)
{
    const QByteArray code = TBRCompress::compress(QByteArray(10, 'x'));
    EXPECT_FALSE(TBRCompress::expand(code, -1).has_value());
    EXPECT_FALSE(TBRCompress::expand(code, qsizetype(1) << 40).has_value());
    EXPECT_FALSE(TBRCompress::expand(code, code.size() * 8 + 8).has_value());
}

TEST(BRPrntrCompress, StreamingCoderMatchesTheWholeBufferForm)
{
    const QByteArray data = randomBytes(3000, 11);
    QByteArray out;
    {
        TBRCompress coder(&out);
        for (char c : data)
            coder.Encode(static_cast<std::uint8_t>(c));
    }
    EXPECT_EQ(out, TBRCompress::compress(data));
    TBRCompress decoder(out);
    for (char c : data) {
        std::uint8_t b = 0;
        ASSERT_TRUE(decoder.Decode(b));
        ASSERT_EQ(b, static_cast<std::uint8_t>(c));
    }
    EXPECT_EQ(decoder.codeBytesRead(), out.size());
}
