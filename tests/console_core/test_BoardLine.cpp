#include "ConsoleFakes.h"
#include "console/BoardLine.h"

#include <gtest/gtest.h>
#include <ostream>

using namespace console;

namespace {

BoardLineInput warmUp(qint64 remaining, qint64 blind = 30, bool blindSettingOn = true, bool on = true)
{
    BoardLineInput in;
    in.kind = BoardLineKind::WarmUp;
    in.tenths = remaining;
    in.blindTenths = blind;
    in.blindSettingOn = blindSettingOn;
    in.boardOn = on;
    return in;
}

BoardLineInput lettered(
    BoardLineKind kind, qint64 remaining, const char* prefix = "", bool on = true, bool fromNetwork = false)
{
    BoardLineInput in;
    in.kind = kind;
    in.tenths = remaining;
    in.prefix = QString::fromUtf8(prefix);
    in.boardOn = on;
    in.boardFromNetwork = fromNetwork;
    return in;
}

BoardLineInput plain(BoardLineKind kind, qint64 tenths, bool on = true)
{
    BoardLineInput in;
    in.kind = kind;
    in.tenths = tenths;
    in.boardOn = on;
    // Fields that these kinds must ignore.
    in.prefix = QStringLiteral("A");
    in.blindTenths = 1000000;
    return in;
}

struct LineCase {
    const char* name;
    BoardLineInput in;
    QByteArray bytes; // empty: nothing is sent
};

// The lines are written out character by character: "8", seven blanks, the field, five blanks, CR.
// clang-format off
const LineCase Cases[] = {
    { "warm-up 5:00 above the blind time", warmUp(3000), QByteArray("8       " "    5:00" "     \r") },
    { "warm-up within the blind time is blank", warmUp(24), QByteArray("8       " "        " "     \r") },
    { "warm-up at the blind time is blank", warmUp(30), QByteArray("8       " "        " "     \r") },
    { "warm-up just above the blind time", warmUp(32), QByteArray("8       " "       3" "     \r") },
    { "warm-up at zero with the blind setting on", warmUp(0), QByteArray("8       " "        " "     \r") },
    { "warm-up at zero with the blind setting off", warmUp(0, 0, false), QByteArray("8       " "       0" "     \r") },
    { "warm-up below one second, blind off", warmUp(8, 0, false), QByteArray("8       " "       0" "     \r") },
    { "warm-up past its end shows zero", warmUp(-1, 0, false), QByteArray("8       " "       0" "     \r") },
    { "warm-up odd tenths", warmUp(3001), QByteArray() },
    { "warm-up board OFF", warmUp(3000, 30, true, false), QByteArray() },
    { "warm-up odd tenths past an hour", warmUp(61235), QByteArray() },
    { "warm-up 1:42:03", warmUp(61232), QByteArray("8       " " 1:42:03" "     \r") },
    { "warm-up never carries the prefix",
        [] {
            BoardLineInput in = warmUp(3000);
            in.prefix = QStringLiteral("A");
            return in;
        }(), QByteArray("8       " "    5:00" "     \r") },

    { "race R1:42:03", lettered(BoardLineKind::Race, 61234), QByteArray("8       " "R1:42:03" "     \r") },
    { "race odd tenths sends nothing", lettered(BoardLineKind::Race, 5), QByteArray() },
    { "race below one second shows 0 without letter", lettered(BoardLineKind::Race, 4), QByteArray("8       " "       0" "     \r") },
    { "race finished", lettered(BoardLineKind::Race, -3), QByteArray("8       " "       0" "     \r") },
    { "race 5:00", lettered(BoardLineKind::Race, 3000), QByteArray("8       " "R   5:00" "     \r") },
    { "race of ten hours takes no letter", lettered(BoardLineKind::Race, 360000), QByteArray("8       " "10:00:00" "     \r") },
    { "race is sent with the board OFF", lettered(BoardLineKind::Race, 3000, "", false), QByteArray("8       " "R   5:00" "     \r") },
    { "race line belongs to the network", lettered(BoardLineKind::Race, 3000, "", true, true), QByteArray() },
    { "race with prefix A is 23 bytes", lettered(BoardLineKind::Race, 3000, "A"), QByteArray("A" "8       " "R   5:00" "     \r") },
    { "over-time O 10", lettered(BoardLineKind::OverTime, 100), QByteArray("8       " "O     10" "     \r") },
    { "over-time with prefix", lettered(BoardLineKind::OverTime, 100, "AB"), QByteArray("AB" "8       " "O     10" "     \r") },
    { "over-time ignores the network flag", lettered(BoardLineKind::OverTime, 100, "", true, true), QByteArray("8       " "O     10" "     \r") },
    { "over-time odd tenths", lettered(BoardLineKind::OverTime, 99), QByteArray() },

    { "interval 3:00", plain(BoardLineKind::Interval, 1800), QByteArray("8       " "    3:00" "     \r") },
    { "interval below one second", plain(BoardLineKind::Interval, 6), QByteArray("8       " "       0" "     \r") },
    { "interval past its end", plain(BoardLineKind::Interval, -5), QByteArray("8       " "       0" "     \r") },
    { "interval odd tenths", plain(BoardLineKind::Interval, 7), QByteArray() },
    { "interval board OFF", plain(BoardLineKind::Interval, 1800, false), QByteArray() },

    { "clock at midnight", plain(BoardLineKind::Clock, 0), QByteArray("8       " "       0" "     \r") },
    { "clock 9:05:03", plain(BoardLineKind::Clock, 327031), QByteArray("8       " " 9:05:03" "     \r") },
    { "clock 12:00:00", plain(BoardLineKind::Clock, 432000), QByteArray("8       " "12:00:00" "     \r") },
    { "clock 0:00:59 has no even-tenths gate", plain(BoardLineKind::Clock, 595), QByteArray("8       " "      59" "     \r") },
    { "clock board OFF", plain(BoardLineKind::Clock, 432000, false), QByteArray() },
};
// clang-format on

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class BoardLineTable : public ::testing::TestWithParam<LineCase> { };

TEST_P(BoardLineTable, Bytes)
{
    const LineCase& c = GetParam();
    const QByteArray line = BoardLine(c.in);
    EXPECT_EQ(line, c.bytes) << c.name << ": got [" << line.toStdString() << "]";
}

INSTANTIATE_TEST_SUITE_P(Lines, BoardLineTable, ::testing::ValuesIn(Cases));

TEST(BoardLine, FieldsWithoutTheGates)
{
    EXPECT_EQ(boardField(warmUp(25)), QStringLiteral("        "));
    EXPECT_EQ(boardField(warmUp(3000)), QStringLiteral("    5:00"));
    EXPECT_EQ(boardField(lettered(BoardLineKind::Race, 61234)), QStringLiteral("R1:42:03"));
    EXPECT_EQ(boardField(lettered(BoardLineKind::Race, 5)), QStringLiteral("       0"));
    EXPECT_EQ(boardField(lettered(BoardLineKind::OverTime, 101)), QStringLiteral("O     10"));
    EXPECT_EQ(boardField(plain(BoardLineKind::Interval, 9)), QStringLiteral("       0"));
}

TEST(BoardLine, ReducesClockTexts)
{
    EXPECT_EQ(reduceClockText(QStringLiteral("00:05:00.0")), QStringLiteral("5:00"));
    EXPECT_EQ(reduceClockText(QStringLiteral("01:42:03.4")), QStringLiteral("1:42:03"));
    EXPECT_EQ(reduceClockText(QStringLiteral("00:00:09.9")), QStringLiteral("9"));
    EXPECT_EQ(reduceClockText(QStringLiteral("00:00:00.7")), QString());
    EXPECT_EQ(reduceClockText(QStringLiteral("12:00:00")), QStringLiteral("12:00:00"));
}

TEST(BoardLine, CountdownLinesGoOutFiveTimesASecond)
{
    int sent = 0;
    for (qint64 remaining = 3000; remaining > 2990; --remaining)
        sent += BoardLine(lettered(BoardLineKind::Race, remaining)).isEmpty() ? 0 : 1;
    EXPECT_EQ(sent, 5);
}

TEST(BoardLine, FixedFrames)
{
    EXPECT_EQ(boardBlankLine(), QByteArray(22, ' ') + '\r');
    // The network's field fills the same frame.
    EXPECT_EQ(boardTimeFrame("R   1:23"), QByteArray("8       R   1:23     \r"));
}

TEST(BoardLine, SendsOnlyWhenThereIsALine)
{
    testing_support::FakeBoardPort port;
    EXPECT_TRUE(sendBoardLine(port, lettered(BoardLineKind::Race, 3000)));
    EXPECT_FALSE(sendBoardLine(port, lettered(BoardLineKind::Race, 2999)));
    EXPECT_FALSE(sendBoardLine(port, lettered(BoardLineKind::Race, 2998, "", true, true)));
    ASSERT_EQ(port.sent.size(), 1);
    EXPECT_EQ(port.sent[0], QByteArray("8       R   5:00     \r"));
}

} // namespace
