// The timing server's lines: how received blocks become lines and time lines become board lines.

#include "console/TimeServerLines.h"

#include <gtest/gtest.h>

using namespace console;

TEST(TimeServerLines, NextQuotedFieldCutsAsTheTimeLinesNeed)
{
    struct Case {
        const char* rest;
        const char* field;
        const char* restAfter;
    };
    const Case cases[] = {
        { "$F,14,\"00:12:45\",\"13:34:23\"", "$F14", "00:12:45\",\"13:34:23\"" },
        { "00:12:45\",\"13:34:23\"", "00:12:45", ",\"13:34:23\"" },
        { ",\"13:34:23\"", "", "13:34:23\"" }, // the comma between two fields is removed
        { "\"x\",", "", "\"," }, // a quote first: the quote and the next character go
        { "no quote, at all", "no quote, at all", "no quote, at all" },
        { "", "", "" },
    };
    for (const Case& c : cases) {
        QString rest = QString::fromLatin1(c.rest);
        QString field = QStringLiteral("old");
        NextQuotedField(rest, field);
        EXPECT_EQ(field, QLatin1String(c.field)) << c.rest;
        EXPECT_EQ(rest, QLatin1String(c.restAfter)) << c.rest;
    }
}

TEST(TimeServerLines, TimeLinesGiveTheBoardTheirFirstQuotedTime)
{
    struct Case {
        const char* line;
        const char* board; // nullptr: no time line; "?": a time line whose time is refused
    };
    const Case cases[] = {
        { "1F,\"00:01:23.4\",\"x\"", "8       R   1:23     \r" },
        { "$F,14,\"00:12:34\",\"13:34:23\",\"00:09:47\",\"Green \"", "8       R  12:34     \r" },
        { "$F,0,\"01:23:45.678\",\"13:34:23\",\"00:09:47\",\"Green \"", "8       R1:23:45     \r" },
        { "$F,9999,\"00:00:00\",\"14:10:00\",\"00:30:00\",\"Finish\"", "8       R   0:00     \r" },
        { "$F,5,\"12:00:00\",\"x\"", "8       12:00:00     \r" }, // another digit first: unchanged
        { "$F,5,\"\",\"13:34:23\"", "8              0     \r" }, // an empty time shows zero
        { "$F,5,\"5:00\",\"x\"", "8           5:00     \r" }, // a short time is right-aligned
        { "$G,3,\"1234BE\",14,\"01:12:47.872\"", nullptr },
        { "$COMP,\"1234BE\",\"12X\",5,\"John\"", nullptr },
        { "F", nullptr }, // shorter than two characters: no time line
        { "", nullptr },
        { "$F,14,\"Green\",\"13:34:23\"", "?" },
        { "$F,14,\"123:45:67\",\"x\"", "?" }, // would not fit the board's field
        { "$F,14", "?" },
        { "xF\xff\"\x01\"", "?" },
    };
    for (const Case& c : cases) {
        QString problem;
        const std::optional<QByteArray> board = networkBoardLine(QByteArray(c.line), &problem);
        const bool refused = c.board && QByteArray(c.board) == "?";
        EXPECT_EQ(board.value_or("-"), QByteArray(c.board && !refused ? c.board : "-")) << c.line;
        EXPECT_EQ(problem.startsWith(QStringLiteral("サーバの時刻を読めません")), refused) << c.line;
    }
}

TEST(TimeServerLines, TheBlindTimeBlanksAFieldWithinItsSeconds)
{
    EXPECT_EQ(networkBoardField(QStringLiteral("00:00:03.9"), 3), QStringLiteral("        "));
    EXPECT_EQ(networkBoardField(QStringLiteral("00:00:04"), 3), QStringLiteral("R   0:04"));
    EXPECT_EQ(networkBoardField(QStringLiteral("00:00:03")), QStringLiteral("R   0:03")) << "no warm-up";
}

// Each case: the blocks of a stream, the lines they give, and the unfinished line the stream ends
// with when its connection goes.
TEST(TimeServerLines, BlocksAreJoinedIntoLinesWhereverTheStreamSplitsThem)
{
    struct Case {
        std::vector<QByteArray> blocks;
        QByteArrayList lines;
        QByteArray rest;
    };
    const QByteArray line = "$F,14,\"00:12:45\",\"13:34:23\",\"00:09:47\",\"Green \"";
    const QByteArray atLimit(TimeServerLineBuffer::MaxLineBytes, 'z');
    const Case cases[] = {
        { { line + "\r\n" }, { line }, {} }, { { line.left(10), line.mid(10) + "\r\n" }, { line }, {} },
        { { line.left(9), line.mid(9, 3), line.mid(12) + "\r\n" }, { line }, {} }, // inside the quoted time
        { { line + "\r", "\n" }, { line }, {} }, // between CR and LF
        { { "$B,5,\"Heat 1\"\r\n$F,1,\"00:00:09\"\r\n" }, { "$B,5,\"Heat 1\"", "$F,1,\"00:00:09\"" }, {} },
        { { "$A\r\n\r\n$I" }, { "$A", "" }, "$I" }, // an empty line counts; "$I" waits for its end
        { { "half a line" }, {}, "half a line" },
        { { "a\rb\nc\r\n" }, { "a\rb\nc" }, {} }, // only CR LF ends a line
        { { "$I,\"16:3", "6\r" }, {}, "$I,\"16:36" }, // a CR whose LF never came
        // The limit counts the line without its CR LF, however the bytes are split.
        { { atLimit + "\r", "\n" }, { atLimit }, {} },
        { { atLimit.left(5000), atLimit.mid(5000) + "\r", "\n$B\r\n" }, { atLimit, "$B" }, {} },
        { { atLimit + "\r" }, {}, atLimit }, { { atLimit + "x\r", "\n$B\r\n" }, { "$B" }, {} },
        { { atLimit + "\r", "x\r\n$B\r\n" }, { "$B" }, {} }, // a CR inside the line counts
    };
    for (const Case& c : cases) {
        TimeServerLineBuffer buffer;
        QByteArrayList got;
        for (const QByteArray& block : c.blocks)
            got << buffer.take(block).complete;
        EXPECT_EQ(got, c.lines) << c.blocks.front().left(60).toStdString();
        EXPECT_EQ(buffer.takeRest(), c.rest) << c.blocks.front().left(60).toStdString();
        EXPECT_EQ(buffer.pending(), 0);
    }
}

TEST(TimeServerLines, AnOverLongLineIsDroppedToItsEndAndTheNextLineKept)
{
    TimeServerLineBuffer buffer;
    const QByteArray chunk(4000, 'x');
    EXPECT_EQ(buffer.take(chunk).dropped, 0);
    EXPECT_EQ(buffer.take(chunk).dropped, 0);
    EXPECT_EQ(buffer.pending(), 8000);
    const TimeServerLineBuffer::Lines over = buffer.take(chunk);
    EXPECT_EQ(over.dropped, 1);
    EXPECT_TRUE(over.complete.isEmpty());
    EXPECT_EQ(buffer.pending(), 0) << "nothing of it is kept";
    EXPECT_EQ(buffer.take(chunk + "\r").dropped, 0) << "counted once";
    const TimeServerLineBuffer::Lines after = buffer.take("\n$F,1,\"00:00:09\"\r\n");
    EXPECT_EQ(after.complete, QByteArrayList({ "$F,1,\"00:00:09\"" })) << "its tail is no line";

    // A line longer than the limit that arrives whole is dropped too; a line at the limit is kept.
    const TimeServerLineBuffer::Lines whole
        = buffer.take(QByteArray(8193, 'y') + "\r\n" + QByteArray(8192, 'z') + "\r\n");
    EXPECT_EQ(whole.dropped, 1);
    ASSERT_EQ(whole.complete.size(), 1);
    EXPECT_EQ(whole.complete[0].size(), 8192);

    // A stream that ends inside an over-long line leaves nothing of it.
    buffer.take(QByteArray(9000, 'w'));
    EXPECT_TRUE(buffer.takeRest().isEmpty());
    EXPECT_TRUE(buffer.take("$B\r\n").complete == QByteArrayList({ "$B" })) << "a new stream starts clean";
}
