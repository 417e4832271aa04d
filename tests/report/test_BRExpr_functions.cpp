// The function library: every plain function with its edge cases, the number texts, and the
// registry itself.

#include "BRExprTestSupport.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

using namespace brexpr_test;

namespace {

INSTANTIATE_TEST_SUITE_P(If, ExpressionTable,
    ::testing::Values(Case { "IF(TRUE, 1, 2)", "integer 1" }, Case { "IF(FALSE, 1, 'x')", "string x" },
        Case { "IF(1 < 2, 'yes', 'no')", "string yes" },
        Case { "IF(1, 2, 3)", "error Wrong arguments for IF" },
        Case { "IF(TRUE, 1)", "error Wrong arguments for IF" },
        Case { "IF(TRUE, 1 / 0, 2)", "error Cannot divide by 0" },
        Case { "IF(FALSE, 1 / 0, 2)", "integer 2" }, Case { "if(true, 'lower', 'case')", "string lower" }));

INSTANTIATE_TEST_SUITE_P(Str, ExpressionTable,
    ::testing::Values(Case { "STR(12)", "string 12" }, Case { "STR(-12)", "string -12" },
        Case { "STR(1.5)", "string 1.5" }, Case { "STR(TRUE)", "string True" },
        Case { "STR('x')", "error Conversion error" }, Case { "STR(1 / 3)", "string 0.333333333333333" },
        Case { "STR(2 / 3)", "string 0.666666666666667" }, Case { "STR(1e20)", "string 1E20" },
        Case { "STR(0.00001)", "string 0.00001" }, Case { "STR(0.0000015)", "string 1.5E-6" },
        Case { "STR(123456789012345.0)", "string 123456789012345" },
        Case { "STR(1234567890123456.0)", "string 1.23456789012346E15" }, Case { "STR(100.0)", "string 100" },
        Case { "STR(0 - 2.5)", "string -2.5" }, Case { "STR()", "error Conversion error" }));

INSTANTIATE_TEST_SUITE_P(Case_, ExpressionTable,
    ::testing::Values(Case { "UPPER('abc')", "string ABC" },
        Case { "UPPER('ａｂｃ日本')", "string ＡＢＣ日本" },
        Case { "UPPER()", "error Missing argument for UPPER" },
        Case { "UPPER('a', 'b')", "error Missing argument for UPPER" },
        Case { "UPPER(1)", "error Wrong arguments for UPPER" },
        Case { "UPPER(1 / 0)", "error Cannot divide by 0" }, Case { "LOWER('AbC')", "string abc" },
        Case { "LOWER(TRUE)", "error Wrong arguments for LOWER" },
        Case { "LOWER()", "error Missing argument for LOWER" },
        Case { "PRETTY('hELLO wORLD')", "string Hello world" }, Case { "PRETTY('')", "string " },
        Case { "PRETTY('日本GO')", "string 日本go" }, Case { "PRETTY('ａＢＣ')", "string Ａｂｃ" },
        Case { "PRETTY()", "error Missing argument for PRETTY" }));

INSTANTIATE_TEST_SUITE_P(Copy, ExpressionTable,
    ::testing::Values(Case { "COPY('hello', 0, 2)", "string he" },
        Case { "COPY('hello', 3, 10)", "string llo" }, Case { "COPY('hello', 1, 5)", "string hello" },
        Case { "COPY('hello', -5, 2)", "string he" }, Case { "COPY('hello', 9, 2)", "string " },
        Case { "COPY('hello', 6, 1)", "string " }, Case { "COPY('hello', 2, -1)", "string " },
        Case { "COPY('hello', 2147483647, 2147483647)", "string " },
        Case { "COPY('hello', 1, 2147483647)", "string hello" },
        Case { "COPY('hello', -2147483647 - 1, 2)", "string he" },
        // Characters, not bytes: Japanese text is never cut inside a character.
        Case { "COPY('日本語', 2, 1)", "string 本" }, Case { "COPY('日本語', 1, 1)", "string 日" },
        Case { "COPY('日本語テキスト', 2, 3)", "string 本語テ" },
        // A character outside the basic plane (a pair of UTF-16 units) counts as one.
        Case { "COPY('𠮷野家', 2, 2)", "string 野家" }, Case { "COPY('𠮷野家', 1, 1)", "string 𠮷" },
        Case { "COPY('𠮷野家', 1, 2)", "string 𠮷野" }, Case { "COPY('野𠮷家', 2, 1)", "string 𠮷" },
        Case { "COPY('𠮷𠮷𠮷', 3, 5)", "string 𠮷" }, Case { "COPY('𠮷𠮷𠮷', 4, 1)", "string " },
        Case { "COPY('hello', 1.0, 2)", "error Wrong arguments for COPY" },
        Case { "COPY('hello', 1)", "error Wrong arguments for COPY" }));

INSTANTIATE_TEST_SUITE_P(Booleans, ExpressionTable,
    ::testing::Values(Case { "TRUE", "boolean true" }, Case { "FALSE", "boolean false" },
        Case { "true", "boolean true" }, Case { "TRUE()", "boolean true" },
        Case { "TRUE(1)", "error Too many arguments" }, Case { "FALSE(1, 2)", "error Too many arguments" }));

INSTANTIATE_TEST_SUITE_P(Math, ExpressionTable,
    ::testing::Values(Case { "INT(-2.7)", "integer -2" }, Case { "INT(2.7)", "integer 2" },
        Case { "INT(5)", "integer 5" }, Case { "INT('a')", "error Wrong arguments for INT" },
        Case { "INT(1e10)", "float 10000000000" }, Case { "INT(0 - 3e9)", "float -3000000000" },
        Case { "INT(2147483647.5)", "integer 2147483647" }, Case { "FRAC(-2.5)", "float -0.5" },
        Case { "FRAC(3)", "float 0" }, Case { "FRAC(1.25)", "float 0.25" },
        Case { "FRAC('a')", "error Wrong arguments for FRAC" }, Case { "SQRT(4)", "float 2" },
        Case { "SQRT(2.25)", "float 1.5" }, Case { "SQRT(-1)", "error Invalid argument to SQRT function" },
        Case { "SQRT('a')", "error Invalid argument to SQRT function" }, Case { "DIV(7, 2)", "integer 3" },
        Case { "DIV(-7, 2)", "integer -3" }, Case { "DIV(2.5, 1)", "integer 2" },
        Case { "DIV(3.5, 1)", "integer 4" }, Case { "DIV(7, 2.5)", "integer 3" },
        Case { "DIV(1, 0)", "error Division by Zero" }, Case { "DIV(1, 0.4)", "error Division by Zero" },
        Case { "DIV(-2147483647 - 1, -1)", "float 2147483648" },
        Case { "DIV(-2147483647 - 1, 1)", "integer -2147483648" }, Case { "DIV(1e30, 1)", "float 1E30" },
        Case { "DIV(1e19, 3)", "float 3.33333333333333E18" },
        Case { "DIV(1, 'a')", "error Wrong arguments for DIV" },
        Case { "DIV(1)", "error Wrong arguments for DIV" }));

INSTANTIATE_TEST_SUITE_P(TypeOf, ExpressionTable,
    ::testing::Values(Case { "TYPEOF(1 / 2)", "string FLOAT" }, Case { "TYPEOF(1)", "string INTEGER" },
        Case { "TYPEOF('a')", "string STRING" }, Case { "TYPEOF(TRUE)", "string BOOLEAN" },
        Case { "TYPEOF(1 / 0)", "string ERROR" },
        Case { "TYPEOF(1, 2)", "error Wrong arguments for TypeOf" }));

INSTANTIATE_TEST_SUITE_P(FormatNumeric, ExpressionTable,
    ::testing::Values(Case { "FORMATNUMERIC('0.00', 3)", "string 3.00" },
        Case { "FORMATNUMERIC('#,##0', 1234567)", "string 1,234,567" },
        Case { "FORMATNUMERIC('#,##0', 999)", "string 999" },
        Case { "FORMATNUMERIC('#,##0', 1000)", "string 1,000" },
        Case { "FORMATNUMERIC('#,##0.00', 0 - 1234.5)", "string -1,234.50" },
        Case { "FORMATNUMERIC('0.00;(0.00)', 0 - 5)", "string (5.00)" },
        Case { "FORMATNUMERIC('0;-0;\"zero\"', 0)", "string zero" },
        Case { "FORMATNUMERIC('0.0;-0.0;\"zero\"', 0.01)", "string zero" },
        Case { "FORMATNUMERIC('000', 7)", "string 007" }, Case { "FORMATNUMERIC('#.##', 0.5)", "string .5" },
        Case { "FORMATNUMERIC('0.###', 1.5)", "string 1.5" },
        Case { "FORMATNUMERIC('0.00E+00', 1234.5)", "string 1.23E+03" },
        Case { "FORMATNUMERIC('0.0e-0', 0.00123)", "string 1.2e-3" },
        Case { "FORMATNUMERIC('0.00E+00', 0)", "string 0.00E+00" },
        Case { "FORMATNUMERIC('\"Total: \"0', 5)", "string Total: 5" },
        Case { "FORMATNUMERIC('0', 2.5)", "string 3" },
        Case { "FORMATNUMERIC('0.00', 2.675)", "string 2.68" },
        Case { "FORMATNUMERIC('0.00', 0 - 0.001)", "string 0.00" },
        Case { "FORMATNUMERIC('0.00', 9.999)", "string 10.00" },
        Case { "FORMATNUMERIC('000-000', 12345)", "string 012-345" },
        Case { "FORMATNUMERIC('0', 1e20)", "string 100000000000000000000" },
        Case { "FORMATNUMERIC('#', 0)", "string " }, Case { "FORMATNUMERIC('', 1.5)", "string 1.5" },
        Case { "FORMATNUMERIC('0円', 1500)", "string 1500円" },
        Case { "FORMATNUMERIC('\"abc', 1)", "error Invalid format or value specified" },
        Case { "FORMATNUMERIC(1, 2)", "error Wrong arguments for FORMATNUMERIC" },
        Case { "FORMATNUMERIC('0')", "error Wrong arguments for FORMATNUMERIC" }));

TEST(FunctionsClock, TimeAndDateReadTheExpressionClock)
{
    platform::ManualClock clock(QDateTime(QDate(2024, 3, 9), QTime(9, 5, 7)));
    brExprSetClock(&clock);
    EXPECT_EQ(evalText(QStringLiteral("TIME")), QStringLiteral("string 9:05:07"));
    EXPECT_EQ(evalText(QStringLiteral("DATE")), QStringLiteral("string 2024/03/09"));
    EXPECT_EQ(evalText(QStringLiteral("DATE + ' ' + TIME")), QStringLiteral("string 2024/03/09 9:05:07"));
    clock.setNow(QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59)));
    EXPECT_EQ(evalText(QStringLiteral("TIME")), QStringLiteral("string 23:59:59"));
    EXPECT_EQ(evalText(QStringLiteral("TIME(1)")), QStringLiteral("error Too many arguments"));
    EXPECT_EQ(evalText(QStringLiteral("DATE(1)")), QStringLiteral("error Too many arguments"));
    brExprSetClock(nullptr);
}

TEST(FunctionsFormat, NonFiniteNumbersAreRejected)
{
    QString out;
    EXPECT_FALSE(brFormatFloat(QStringLiteral("0"), std::numeric_limits<double>::infinity(), out));
    EXPECT_FALSE(brFormatFloat(QStringLiteral("0"), std::numeric_limits<double>::quiet_NaN(), out));
    EXPECT_EQ(brFloatToText(std::numeric_limits<double>::infinity()), QStringLiteral("INF"));
    EXPECT_EQ(brFloatToText(-std::numeric_limits<double>::infinity()), QStringLiteral("-INF"));
    EXPECT_EQ(brFloatToText(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("NAN"));
    EXPECT_EQ(brFloatToText(-0.0), QStringLiteral("0"));
}

TEST(FunctionsLibrary, BuiltInsAreRegisteredInOrderWithTheirDescriptions)
{
    const QStringList expected
        = { "IF", "STR", "UPPER", "LOWER", "PRETTY", "TIME", "DATE", "COPY", "SUM", "COUNT", "MAX", "MIN",
              "AVERAGE", "TRUE", "FALSE", "INT", "FRAC", "SQRT", "DIV", "TYPEOF", "FORMATNUMERIC" };
    const TBRLibrary& lib = TBRFunctionLibrary();
    ASSERT_GE(lib.count(), 21);
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(lib.entry(i).Name, expected[i]) << i;
    EXPECT_EQ(lib.entry(0).Description,
        QStringLiteral("IF(<Exp>, <X>, <Y>)|Returns <X> or <Y> depending on the boolean expression <Exp>"));
    EXPECT_EQ(lib.entry(0).ArgumentSpec, QStringLiteral("5BVV"));
    EXPECT_EQ(lib.find(QStringLiteral("div"))->Description,
        QStringLiteral("DIV(<X>, <Y>) | Integer division of <X> by <Y>"));
    EXPECT_EQ(lib.find(QStringLiteral("nothing")), nullptr);
}

TEST(FunctionsLibrary, GetItemMakesANewElementOrAnError)
{
    const TBRLibrary& lib = TBRFunctionLibrary();
    std::unique_ptr<TBREvElement> a = lib.GetItem(QStringLiteral("SUM"));
    std::unique_ptr<TBREvElement> b = lib.GetItem(QStringLiteral("sum"));
    ASSERT_NE(dynamic_cast<TBREvElementFunction*>(a.get()), nullptr);
    EXPECT_NE(a.get(), b.get());
    EXPECT_TRUE(a->IsAggregate);
    EXPECT_FALSE(lib.GetItem(QStringLiteral("UPPER"))->IsAggregate);
    const std::unique_ptr<TBREvElement> missing = lib.GetItem(QStringLiteral("Nope"));
    auto* err = dynamic_cast<TBREvElementError*>(missing.get());
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->Message, QStringLiteral("Unknown function : Nope"));
}

class TwiceFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() != 1 || argument(0).Kind != EvResultKind::Integer)
            return EvResult::fromError(QStringLiteral("twice"));
        return EvResult::fromInteger(argument(0).IntResult * 2);
    }
};

TEST(FunctionsLibrary, RegisteredFunctionIsFoundByTheParser)
{
    RegisterLibraryFunction([] { return std::make_unique<TwiceFunction>(); }, QStringLiteral("TestTwice"),
        QStringLiteral("TESTTWICE(<X>)|Doubles <X>"), QStringLiteral("2N"), QStringLiteral("Test"));
    EXPECT_EQ(evalText(QStringLiteral("testtwice(21)")), QStringLiteral("integer 42"));
    EXPECT_EQ(evalText(QStringLiteral("TESTTWICE(1, 2)")), QStringLiteral("error twice"));
}

} // namespace
