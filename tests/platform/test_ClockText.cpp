#include "platform/ClockText.h"
#include "platform/SqlDialect.h"

#include <QTime>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>

using namespace platform;

namespace {

constexpr qint64 kTenthsPerDay = 864000;

struct TextToTenths {
    const char* text;
    qint64 tenths;
};

void PrintTo(const TextToTenths& c, std::ostream* os) { *os << '"' << c.text << "\" -> " << c.tenths; }

class TimeStrToTenthsTable : public ::testing::TestWithParam<TextToTenths> { };

TEST_P(TimeStrToTenthsTable, Converts)
{
    EXPECT_EQ(TimeStrToTenths(QString::fromUtf8(GetParam().text)), GetParam().tenths) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(ClockTexts, TimeStrToTenthsTable,
    ::testing::Values(TextToTenths { "0:05:00", 3000 }, TextToTenths { "00:05:00", 3000 },
        TextToTenths { "0:05:00.0", 3000 }, TextToTenths { "00:00:01.5", 15 },
        TextToTenths { "1:00:00", 36000 }, TextToTenths { "", 0 }, TextToTenths { "abc", 0 },
        TextToTenths { "10:00:00", 360000 }, TextToTenths { "23:59:59.9", 863999 },
        // a field that is not a number counts as 0, the others still count
        TextToTenths { "0:xx:30.2", 302 }, TextToTenths { "9:30", 342000 }));

struct TenthsToText {
    qint64 n;
    const char* text;
};

void PrintTo(const TenthsToText& c, std::ostream* os) { *os << c.n << " -> \"" << c.text << '"'; }

class TenthsToHMSTTable : public ::testing::TestWithParam<TenthsToText> { };

TEST_P(TenthsToHMSTTable, Formats)
{
    EXPECT_EQ(TenthsToHMST(GetParam().n), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Tenths, TenthsToHMSTTable,
    ::testing::Values(TenthsToText { -1, "00:00:00.0" }, TenthsToText { 0, "00:00:00.0" },
        TenthsToText { 9, "00:00:00.9" }, TenthsToText { 600, "00:01:00.0" },
        TenthsToText { 36000, "01:00:00.0" }, TenthsToText { 1000000, "27:46:40.0" },
        TenthsToText { -864000, "00:00:00.0" }));

class SecondsToHMSTable : public ::testing::TestWithParam<TenthsToText> { };

TEST_P(SecondsToHMSTable, Formats)
{
    EXPECT_EQ(SecondsToHMS(GetParam().n), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Seconds, SecondsToHMSTable,
    ::testing::Values(TenthsToText { 0, "00:00:00" }, TenthsToText { 59, "00:00:59" },
        TenthsToText { 60, "00:01:00" }, TenthsToText { 3600, "01:00:00" },
        TenthsToText { 360000, "100:00:00" },
        // negative counts clamp instead of printing "-1:-1:-1"
        TenthsToText { -61, "00:00:00" }));

TEST(ClockTexts, EveryTickOfADayRoundTrips)
{
    for (qint64 n = 0; n < kTenthsPerDay; ++n) {
        const QString text = TenthsToHMST(n);
        ASSERT_EQ(TimeStrToTenths(text), n) << text.toStdString();
    }
}

TEST(ClockTexts, LongTimeTextHasNoLeadingHourZeroAndFeedsTheConversion)
{
    EXPECT_EQ(longTimeText(QTime(0, 5, 0)), QStringLiteral("0:05:00"));
    EXPECT_EQ(longTimeText(QTime(9, 30, 0)), QStringLiteral("9:30:00"));
    EXPECT_EQ(longTimeText(QTime(23, 59, 59, 900)), QStringLiteral("23:59:59"));
    EXPECT_EQ(longTimeTextOfSeconds(36 * 3600), QStringLiteral("36:00:00"));
    // what the pickers hand over, with ".0" appended as Reset does
    EXPECT_EQ(TimeStrToTenths(longTimeText(QTime(0, 5, 0)) + QStringLiteral(".0")), 3000);
    EXPECT_EQ(TimeStrToTenths(longTimeText(QTime(10, 0, 0))), 360000);
}

// The console's pickers always hold a time; a null value in a table stays empty.
TEST(ClockTexts, ANullTimeIsMidnightOnTheConsoleAndEmptyInATable)
{
    EXPECT_EQ(longTimeText(QTime()), QStringLiteral("0:00:00"));
    EXPECT_EQ(sql::storedTime(QTime()), QString());
    EXPECT_EQ(sql::storedTime(QTime(9, 5, 7, 999)), QStringLiteral("9:05:07"));
}

// The three readers of H:MM:SS texts, on the same inputs: values in statements (sql::parseTime),
// texts that reports bind to their queries, and the settings file's preset times.
constexpr ClockTextRule kStatement {
    .secondsOptional = true, .fraction = true, .blanks = ClockTextRule::Blanks::SpacesAndTabs
};
constexpr ClockTextRule kReport { .secondsOptional = true, .blanks = ClockTextRule::Blanks::AnyWhiteSpace };
constexpr ClockTextRule kStrict {};

struct ReadCase {
    const char* text;
    // What each reader makes of it: "HH:mm:ss.zzz", or "-" for no time.
    const char* statement;
    const char* report;
    const char* strict;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

QString shown(const std::optional<QTime>& t)
{
    return t ? t->toString(QStringLiteral("HH:mm:ss.zzz")) : QStringLiteral("-");
}

class ParseClockTextTable : public ::testing::TestWithParam<ReadCase> { };

TEST_P(ParseClockTextTable, EachReaderKeepsItsOwnRule)
{
    const QString text = QString::fromUtf8(GetParam().text);
    EXPECT_EQ(shown(parseClockText(text, kStatement)), QLatin1String(GetParam().statement));
    EXPECT_EQ(shown(parseClockText(text, kReport)), QLatin1String(GetParam().report));
    EXPECT_EQ(shown(parseClockText(text, kStrict)), QLatin1String(GetParam().strict));
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseClockTextTable,
    ::testing::Values(ReadCase { "9:05:07", "09:05:07.000", "09:05:07.000", "09:05:07.000" },
        ReadCase { "09:05:07", "09:05:07.000", "09:05:07.000", "09:05:07.000" },
        ReadCase { "0:00:00", "00:00:00.000", "00:00:00.000", "00:00:00.000" },
        ReadCase { "23:59:59", "23:59:59.000", "23:59:59.000", "23:59:59.000" },
        // minutes without seconds: statements and reports only
        ReadCase { "9:05", "09:05:00.000", "09:05:00.000", "-" },
        // a fraction of the second: statements only, one to three digits
        ReadCase { "9:05:07.5", "09:05:07.500", "-", "-" },
        ReadCase { "9:05:07.123", "09:05:07.123", "-", "-" }, ReadCase { "9:05:07.1234", "-", "-", "-" },
        ReadCase { "9:05:07.", "-", "-", "-" },
        // blanks around: spaces and tabs for statements, any white space for reports
        ReadCase { " 9:05:07\t", "09:05:07.000", "09:05:07.000", "-" },
        ReadCase { "9:05:07\n", "-", "09:05:07.000", "-" },
        ReadCase { "\u30009:05", "-", "09:05:00.000", "-" }, ReadCase { "9 :05:07", "-", "-", "-" },
        // not a time of day, or not in this form
        ReadCase { "24:00:00", "-", "-", "-" }, ReadCase { "9:60:00", "-", "-", "-" },
        ReadCase { "9:05:60", "-", "-", "-" }, ReadCase { "9:5:07", "-", "-", "-" },
        ReadCase { "9:05:7", "-", "-", "-" }, ReadCase { "009:05:07", "-", "-", "-" },
        ReadCase { "9", "-", "-", "-" }, ReadCase { "", "-", "-", "-" },
        ReadCase { "+9:05:07", "-", "-", "-" }, ReadCase { "9:05:07:00", "-", "-", "-" },
        ReadCase { "\uff19:05:07", "-", "-", "-" }, ReadCase { "9-05-07", "-", "-", "-" }));

// Keys for ordering may pass a day; the reader leaves the rest of the text to its caller.
TEST(ClockTexts, ScanReadsAKeyAndStopsAfterIt)
{
    const QByteArray b("25:30:00.25 tail");
    const char* p = b.constData();
    EXPECT_EQ(scanClockText(p, b.constData() + b.size(), kStatement), (25 * 3600 + 30 * 60) * 1000 + 250);
    EXPECT_EQ(QByteArray(p), QByteArray(" tail"));
}

} // namespace
