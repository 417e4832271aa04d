// The parser: precedence, signs, word operators, operators at the ends of a text, the "Missing"
// errors, numbers and the texts that must be parsed whole.

#include "BRExprTestSupport.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace brexpr_test;

namespace brexpr_test {

TEST_P(ExpressionTable, Evaluates)
{
    EXPECT_EQ(evalText(QString::fromUtf8(GetParam().text)), QString::fromUtf8(GetParam().expected));
}

} // namespace brexpr_test

namespace {

INSTANTIATE_TEST_SUITE_P(Precedence, ExpressionTable,
    ::testing::Values(Case { "1 + 2 * 3", "integer 7" }, Case { "(1 + 2) * 3", "integer 9" },
        Case { "2 * 3 + 4 * 5", "integer 26" }, Case { "10 - 2 + 3", "integer 11" },
        Case { "10 - 2 - 3", "integer 5" }, Case { "1 - 2 - 3 - 4", "integer -8" },
        Case { "2 - 3 * 4 + 1", "integer -9" }, Case { "10 - (2 + 3)", "integer 5" },
        Case { "12 / 3 * 2", "float 8" }, Case { "100 / 10 / 5", "float 2" },
        Case { "1 + 2 = 3", "boolean true" }, Case { "((((7))))", "integer 7" }));

INSTANTIATE_TEST_SUITE_P(UnaryMinus, ExpressionTable,
    ::testing::Values(Case { "-3 + 5", "integer 2" }, Case { "-3 * 2", "integer -6" },
        Case { "- 2 + 3", "integer 1" }, Case { "-(1 + 2) * 3", "integer -9" }, Case { "+4", "integer 4" },
        Case { "2 * -3", "integer -6" }, Case { "2 - -3", "integer 5" }, Case { "2 - -3 + 1", "integer 6" },
        Case { "-1 < 0", "boolean true" }, Case { "0 < -1", "boolean false" },
        Case { "(1 = 1) or (-1 = -1)", "boolean true" }, Case { "1e-2 + 1", "float 1.01" },
        Case { "2.5e+1", "float 25" }, Case { "1 - 1e-2 + 1", "float 1.99" }));

INSTANTIATE_TEST_SUITE_P(WordOperators, ExpressionTable,
    ::testing::Values(Case { "(1 = 1) or (2 = 3)", "boolean true" },
        Case { "(1 = 1) OR (2 = 3)", "boolean true" }, Case { "(1 = 1) Or (2 = 3)", "boolean true" },
        Case { "(1 = 1) and (2 = 3)", "boolean false" }, Case { "(1 = 1) AND (1 = 1)", "boolean true" },
        Case { "6 or 3", "integer 7" }, Case { "6 and 3", "integer 2" },
        // The relational split comes first: the right side "2 = 3" reaches the number parser.
        Case { "1 = 1 or 2 = 3", "error Illegal character in numeric contant \"2 = 3\"" },
        // Without a blank after it, "or" is no operator.
        Case { "TRUE or(FALSE)", "error Unknown function : TRUE OR" }, Case { "not TRUE", "boolean false" },
        Case { "not (1 = 2)", "boolean true" }, Case { "not 1", "error Invalid use of NOT" },
        // Any factor beginning with "not" is a negation: NOTE is not E.
        Case { "NOTE", "error Invalid use of NOT" }));

INSTANTIATE_TEST_SUITE_P(OperatorsAtTheEnds, ExpressionTable,
    ::testing::Values(Case { "<1", "error Error in expression : <1" },
        Case { "1<", "error Illegal character in numeric contant \"1<\"" },
        Case { "1 +", "error Illegal character in numeric contant \"1 +\"" },
        Case { "*2", "error Error in expression : *2" }, Case { "1 + ", "error Missing operand" },
        Case { "()", "error Missing operand" }, Case { "@", "error Error in expression : @" }));

// The right side of a subtraction (division) is read with + and - (* and /) exchanged: where such
// a character is no operator, the exchanged one shows, as in the messages here.
INSTANTIATE_TEST_SUITE_P(ExchangedRightSides, ExpressionTable,
    ::testing::Values(Case { "3 - 2 -", "error Illegal character in numeric contant \"2 +\"" },
        Case { "-3-", "error Illegal character in numeric contant \"3+\"" },
        Case { "6 //2", "error Error in expression : *2" },
        Case { "8 / 2 / 2 *", "error Illegal character in numeric contant \"2 /\"" },
        // The sign after "+not" is exchanged by the subtraction before it: not +TRUE.
        Case { "1 - 2 +not -TRUE", "error Cannot subtract string expressions" }));

INSTANTIATE_TEST_SUITE_P(MissingErrors, ExpressionTable,
    ::testing::Values(Case { "'abc", "error Missing '" }, Case { "'", "error Missing '" },
        Case { "1 + '", "error Missing '" }, Case { "(1 + 2", "error Missing )" },
        Case { "[abc", "error Missing ]" },
        // A call without its ")" has no name: it is an unknown one.
        Case { "SUM(1", "error Unknown function : " },
        Case { "2 * COPY('a', 1, 1", "error Unknown function : " }));

INSTANTIATE_TEST_SUITE_P(Numbers, ExpressionTable,
    ::testing::Values(Case { "2147483647", "integer 2147483647" }, Case { "2147483648", "float 2147483648" },
        Case { "99999999999", "float 99999999999" }, Case { "-2147483647 - 1", "integer -2147483648" },
        Case { "007", "integer 7" }, Case { "1.5", "float 1.5" }, Case { "3.", "float 3" },
        Case { "1E3", "float 1000" }, Case { "12x", "error Illegal character in numeric contant \"12x\"" },
        Case { "1.2.3", "error Illegal character in numeric contant \"1.2.3\"" },
        Case { "1e", "error Illegal character in numeric contant \"1e\"" }));

INSTANTIATE_TEST_SUITE_P(Literals, ExpressionTable,
    ::testing::Values(Case { "", "string  " }, Case { "'a' + 'b'", "string ab" },
        // A doubled quote is no escape: both quote characters stay.
        Case { "'it''s'", "string it''s" }, Case { "'1 + 2'", "string 1 + 2" },
        Case { "'日本語' + 'テキスト'", "string 日本語テキスト" },
        Case { "FOO(1)", "error Unknown function : FOO" }, Case { "foo(1)", "error Unknown function : FOO" },
        Case { "foo", "error Unknown function : foo" }, Case { "[foo]", "error Unknown function : foo" },
        // The name is the text before "(" as written: a blank there is part of it.
        Case { "UPPER ('a')", "error Unknown function : UPPER " }, Case { "UPPER('a')", "string A" },
        Case { "  7  ", "integer 7" }));

TEST(GrammarLong, BracketedSubExpressionLongerThan255CharactersIsParsedWhole)
{
    QString inner = QStringLiteral("1");
    for (int i = 0; i < 100; ++i)
        inner += QStringLiteral(" + 1");
    ASSERT_GT(inner.size(), 255);
    EXPECT_EQ(evalText(u'(' + inner + u')'), QStringLiteral("integer 101"));
    EXPECT_EQ(evalText(QStringLiteral("2 * (") + inner + u')'), QStringLiteral("integer 202"));
}

TEST(GrammarLong, LongLiteralIsCutTo255Characters)
{
    const EvResult r = eval(QStringLiteral("('") + QString(300, u'あ') + QStringLiteral("')"));
    ASSERT_EQ(r.Kind, EvResultKind::String);
    EXPECT_EQ(r.StrResult, QString(255, u'あ'));
}

TEST(GrammarNames, BracketedNamesWithOperatorCharactersStayWhole)
{
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("A-B"), QStringLiteral("5"));
    env.AddFunction(QStringLiteral("A,B"), QStringLiteral("7"));
    env.AddFunction(QStringLiteral("C*D"), QStringLiteral("2"));
    env.Prepare();
    EXPECT_EQ(evalText(QStringLiteral("[A-B] + 1"), &env), QStringLiteral("integer 6"));
    // After a subtraction the right side has + and - exchanged: not inside the brackets.
    EXPECT_EQ(evalText(QStringLiteral("10 - [A-B] + 1"), &env), QStringLiteral("integer 6"));
    EXPECT_EQ(evalText(QStringLiteral("12 / [C*D] * 3"), &env), QStringLiteral("float 18"));
    // The argument scan does not split inside brackets.
    EXPECT_EQ(evalText(QStringLiteral("IF(TRUE, [A,B], 0)"), &env), QStringLiteral("integer 7"));
    EXPECT_EQ(evalText(QStringLiteral("[A,B] * [A-B]"), &env), QStringLiteral("integer 35"));
}

TEST(GrammarNames, NotNameInBracketsIsAVariable)
{
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("NOTE"), QStringLiteral("'memo'"));
    env.Prepare();
    EXPECT_EQ(evalText(QStringLiteral("[NOTE]"), &env), QStringLiteral("string memo"));
}

TEST(GrammarScan, ArgumentSeparatorAndSwapRespectQuotesBracketsAndParentheses)
{
    EXPECT_EQ(FindArgumentSeparator(QStringLiteral("'a,b', 2")), 5);
    EXPECT_EQ(FindArgumentSeparator(QStringLiteral("[a,b], 2")), 5);
    EXPECT_EQ(FindArgumentSeparator(QStringLiteral("f(1, 2), 3")), 7);
    EXPECT_EQ(FindArgumentSeparator(QStringLiteral("1,")), -1); // never the last character
    EXPECT_EQ(FindArgumentSeparator(QString()), -1);
    EXPECT_EQ(
        SwapOperatorsOutsideQuotes(QStringLiteral("b + c - d"), u'+', u'-'), QStringLiteral("b - c + d"));
    EXPECT_EQ(SwapOperatorsOutsideQuotes(QStringLiteral("'+' + (1 - 2) + [x-y]"), u'+', u'-'),
        QStringLiteral("'+' - (1 - 2) - [x-y]"));
    EXPECT_EQ(
        SwapOperatorsOutsideQuotes(QStringLiteral("-3 + 1e-5"), u'+', u'-'), QStringLiteral("-3 - 1e-5"));
}

TEST(GrammarLocale, DecimalPointIsReadAndWrittenWhateverTheLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(evalText(QStringLiteral("1.5 + 1")), QStringLiteral("float 2.5"));
    EXPECT_EQ(evalText(QStringLiteral("STR(1.25)")), QStringLiteral("string 1.25"));
    EXPECT_EQ(
        evalText(QStringLiteral("FORMATNUMERIC('#,##0.00', 1234.5)")), QStringLiteral("string 1,234.50"));
    QLocale::setDefault(previous);
}

} // namespace
