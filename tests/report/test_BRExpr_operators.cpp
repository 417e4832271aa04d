// Operators: kind unification, results by kind, the messages, the first error winning, integer
// overflow, and the evaluator's own operations.

#include "BRExprTestSupport.h"
#include "report/BRConst.h"

#include <QVariant>
#include <gtest/gtest.h>

using namespace brexpr_test;

namespace {

INSTANTIATE_TEST_SUITE_P(Unification, ExpressionTable,
    ::testing::Values(Case { "1 + 2.5", "float 3.5" }, Case { "2.5 + 1", "float 3.5" },
        Case { "'A' + 1", "string A1" }, Case { "1 + 'A'", "string 1A" }, Case { "'v' + 1.5", "string v1.5" },
        Case { "'x' = TRUE", "boolean false" }, Case { "'True' = TRUE", "boolean true" },
        Case { "2 = 2.0", "boolean true" }, Case { "1.5 < 2", "boolean true" },
        Case { "'10' < 9", "boolean true" }));

INSTANTIATE_TEST_SUITE_P(Arithmetic, ExpressionTable,
    ::testing::Values(Case { "7 / 2", "float 3.5" }, Case { "6 / 2", "float 3" },
        Case { "7 / 0", "error Cannot divide by 0" }, Case { "7.5 / 0.0", "error Cannot divide by 0" },
        Case { "7.5 / 0", "error Cannot divide by 0" }, Case { "2.5 * 2", "float 5" },
        Case { "5 - 7.5", "float -2.5" }, Case { "6 or 3", "integer 7" }, Case { "6 and 3", "integer 2" },
        Case { "TRUE or FALSE", "boolean true" }, Case { "TRUE and FALSE", "boolean false" }));

INSTANTIATE_TEST_SUITE_P(Overflow, ExpressionTable,
    ::testing::Values(Case { "2147483647 + 1", "float 2147483648" },
        Case { "-2147483647 - 2", "float -2147483649" }, Case { "65536 * 65536", "float 4294967296" },
        Case { "46341 * 46341", "float 2147488281" }, Case { "46340 * 46340", "integer 2147395600" },
        Case { "2147483646 + 1", "integer 2147483647" }));

INSTANTIATE_TEST_SUITE_P(Comparison, ExpressionTable,
    ::testing::Values(Case { "1 < 2", "boolean true" }, Case { "2 <= 2", "boolean true" },
        Case { "3 > 2", "boolean true" }, Case { "2 >= 3", "boolean false" },
        Case { "2 <> 2", "boolean false" }, Case { "'a' < 'B'", "boolean false" },
        Case { "'B' < 'a'", "boolean true" }, Case { "'ab' < 'abc'", "boolean true" },
        Case { "'abc' >= 'abc'", "boolean true" }, Case { "'abc' <> 'abd'", "boolean true" },
        Case { "'あ' < 'い'", "boolean true" }, Case { "TRUE = TRUE", "boolean true" },
        Case { "TRUE <> FALSE", "boolean true" }));

// Texts order by code point: a character beyond the basic plane (a surrogate pair) comes after
// the full-width and private-use characters at the top of the plane.
INSTANTIATE_TEST_SUITE_P(CodePointOrder, ExpressionTable,
    ::testing::Values(Case { "'𠮷田' > 'ＴＥＡＭ'", "boolean true" },
        Case { "'𠮷田' < 'ＴＥＡＭ'", "boolean false" }, Case { "'ｱ' < '𠮷'", "boolean true" },
        Case { "'\xEE\x80\x80' < '𠮷'", "boolean true" }, Case { "'𠮷' < '𠮸'", "boolean true" },
        Case { "'田𠮷' >= '田ＴＥＡＭ'", "boolean true" }, Case { "'𠮷田' = '𠮷田'", "boolean true" },
        Case { "'𠮷' <= '𠮷田'", "boolean true" }, Case { "'\xED\x9F\xBF' < '𠮷'", "boolean true" },
        Case { "'𠮷' <> '𠮸'", "boolean true" }));

INSTANTIATE_TEST_SUITE_P(Messages, ExpressionTable,
    ::testing::Values(Case { "1.5 or 2", "error Operator OR is not compatible with numeric expressions" },
        Case { "1.5 and 2", "error Operator AND is not compatible with numeric expressions" },
        Case { "'a' or 'b'", "error Operator OR is not compatible with string expressions" },
        Case { "'a' and 'b'", "error Operator AND is not compatible with string expressions" },
        Case { "'abc' - 'a'", "error Cannot subtract string expressions" },
        Case { "'a' * 'b'", "error Cannot multiply string expressions" },
        Case { "'a' / 'b'", "error Cannot divide string expressions" },
        Case { "TRUE + TRUE", "error Cannot add boolean expressions" },
        Case { "TRUE - TRUE", "error Cannot subtract boolean expressions" },
        Case { "TRUE * TRUE", "error Cannot multiply boolean expressions" },
        Case { "TRUE / TRUE", "error Cannot divide boolean expressions" },
        Case { "TRUE < FALSE", "error Operator < is not compatible with boolean expressions" },
        Case { "TRUE <= FALSE", "error Operator <= is not compatible with boolean expressions" },
        Case { "TRUE > FALSE", "error Operator > is not compatible with boolean expressions" },
        Case { "TRUE >= FALSE", "error Operator >= is not compatible with boolean expressions" }));

INSTANTIATE_TEST_SUITE_P(FirstErrorWins, ExpressionTable,
    ::testing::Values(Case { "(1 / 0) + ('a' - 'b')", "error Cannot divide by 0" },
        Case { "('a' - 'b') + (1 / 0)", "error Cannot subtract string expressions" },
        Case { "1 + (1 / 0)", "error Cannot divide by 0" },
        Case { "'a' + FOO(1)", "error Unknown function : FOO" },
        Case { "(1 + (2 * (3 / 0))) = 5", "error Cannot divide by 0" },
        Case { "not (1 / 0)", "error Invalid use of NOT" }));

TEST(OperatorStrings, ConcatenationIsCutTo255Characters)
{
    const QString a(200, u'a');
    const EvResult r = eval(u'\'' + a + QStringLiteral("' + '") + a + u'\'');
    ASSERT_EQ(r.Kind, EvResultKind::String);
    EXPECT_EQ(r.StrResult.size(), 255);
}

TEST(OperatorStrings, CutCountsCharactersAndNeverSplitsASurrogatePair)
{
    const QString pair = QString::fromUtf8("𠮷");
    ASSERT_EQ(pair.size(), 2);
    EXPECT_EQ(brCutText(QString(254, u'x') + pair), QString(254, u'x') + pair);
    EXPECT_EQ(brCutText(QString(255, u'x') + pair), QString(255, u'x'));
    EXPECT_EQ(brCutText(pair.repeated(300)), pair.repeated(255));
    // A literal, a concatenation and a field's text all hold 255 characters.
    EXPECT_EQ(eval(u'\'' + pair.repeated(200) + u'\'').StrResult, pair.repeated(200));
    EXPECT_EQ(
        eval(u'\'' + pair.repeated(200) + QStringLiteral("' + '") + pair.repeated(200) + u'\'').StrResult,
        pair.repeated(255));
    EXPECT_EQ(brFieldValueToResult(QVariant(pair.repeated(256)), QStringLiteral("f")).StrResult,
        pair.repeated(255));
}

TEST(EvaluatorLifecycle, ValueOfAnEvaluatorNotPreparedRaises)
{
    TBREvaluator ev;
    try {
        ev.Value();
        FAIL() << "no exception";
    } catch (const EBRExprError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Evaluator not prepared"));
    }
    ev.Prepare(QStringLiteral("1"));
    ev.Unprepare();
    EXPECT_THROW(ev.Value(), EBRExprError);
    EXPECT_THROW(ev.Accumulate(), EBRExprError);
}

TEST(EvaluatorLifecycle, PrepareAgainRebuildsTheQueue)
{
    TBREvaluator ev;
    ev.Prepare(QStringLiteral("1 + 1"));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 2"));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 2")); // evaluated again, same value
    ev.Prepare(QStringLiteral("'x'"));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("string x"));
}

TEST(EvaluatorLifecycle, ErrorResultToTextRaises)
{
    EXPECT_EQ(EvResultToString(EvResult::fromInteger(-5)), QStringLiteral("-5"));
    EXPECT_EQ(EvResultToString(EvResult::fromBoolean(false)), QStringLiteral("False"));
    try {
        EvResultToString(EvResult::fromError(QStringLiteral("boom")));
        FAIL() << "no exception";
    } catch (const EBRExprError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Error in expression : boom"));
    }
}

TEST(EvaluatorQueue, QueueThatRunsShortGivesAnErrorResult)
{
    TBRFiFo fifo;
    fifo.Append(std::make_unique<TBREvElementOperator>(EvOperator::Add));
    fifo.Append(std::make_unique<TBREvElementConstant>(EvResult::fromInteger(1)));
    fifo.Rewind();
    EXPECT_EQ(describe(fifo.Next()->Value(fifo)), QStringLiteral("error Missing operand"));

    TBRFiFo noEnd;
    noEnd.Append(TBRFunctionLibrary().GetItem(QStringLiteral("UPPER")));
    noEnd.Append(std::make_unique<TBREvElementString>(QStringLiteral("a")));
    noEnd.Rewind();
    EXPECT_EQ(describe(noEnd.Next()->Value(noEnd)), QStringLiteral("error Missing operand"));

    TBRFiFo countNoEnd;
    countNoEnd.Append(TBRFunctionLibrary().GetItem(QStringLiteral("COUNT")));
    countNoEnd.Rewind();
    EXPECT_EQ(describe(countNoEnd.Next()->Value(countNoEnd)), QStringLiteral("error Missing operand"));

    TBRFiFo loneEnd;
    loneEnd.Append(std::make_unique<TBREvElementNot>());
    loneEnd.Append(std::make_unique<TBREvElementArgumentEnd>());
    loneEnd.Rewind();
    EXPECT_EQ(describe(loneEnd.Next()->Value(loneEnd)), QStringLiteral("error Invalid use of NOT"));
}

TEST(EvaluatorQueue, PrefixOrderOfTheQueue)
{
    // 1 + SUM(2) * 3: operator +, constant 1, operator *, SUM, constant 2, argument end, constant 3.
    TBREvaluator ev;
    ev.Prepare(QStringLiteral("1 + SUM(2) * 3"));
    TBREvElement* first = ev.firstElement();
    ASSERT_NE(first, nullptr);
    auto* plus = dynamic_cast<TBREvElementOperator*>(first);
    ASSERT_NE(plus, nullptr);
    EXPECT_EQ(plus->Operator, EvOperator::Add);
    EXPECT_TRUE(ev.HasAggregate());
    ev.Accumulate();
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 7"));
}

// A descendant widens the name space: the parser asks the virtual lookups only.
class MagicEvaluator : public TBREvaluator {
protected:
    void LookupField(const QString& name) override
    {
        if (name.compare(QStringLiteral("magic"), Qt::CaseInsensitive) == 0)
            Append(std::make_unique<TBREvElementConstant>(EvResult::fromInteger(42)));
        else
            TBREvaluator::LookupField(name);
    }
};

TEST(EvaluatorQueue, DescendantLookupWidensNames)
{
    MagicEvaluator ev;
    ev.Prepare(QStringLiteral("MAGIC + [magic]"));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 84"));
    ev.Prepare(QStringLiteral("other"));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("error Unknown function : other"));
}

TEST(EvaluatorTexts, AMessageCutTo255CharactersKeepsItsOwnWords)
{
    const QString pair = QString::fromUtf8("𠮷");
    const auto expectCut = [](const EvResult& r, const QString& head, const QString& tail) {
        ASSERT_EQ(r.Kind, EvResultKind::Error);
        EXPECT_EQ(brCharacterCount(r.StrResult), 255);
        EXPECT_TRUE(r.StrResult.startsWith(head)) << r.StrResult;
        EXPECT_TRUE(r.StrResult.endsWith(tail)) << r.StrResult;
    };
    // The number's text is cut, its closing quote kept; a surrogate pair is never split.
    expectCut(eval(QStringLiteral("1") + QString(300, u'x')),
        QStringLiteral("Illegal character in numeric contant \"1xx"), QStringLiteral("xx\""));
    expectCut(eval(QStringLiteral("1") + pair.repeated(300)),
        QStringLiteral("Illegal character in numeric contant \"1") + pair, pair + u'"');
    expectCut(brFieldValueToResult(QVariant(QByteArray("x")), QString(300, u'f')), QStringLiteral("Field ff"),
        QStringLiteral("ff is of unknown type"));
    expectCut(eval(QString(300, u'n')), QStringLiteral("Unknown function : nn"), QStringLiteral("nn"));
    // With two values the longer gives up what is too much.
    EXPECT_EQ(brErrorText(SBRIncompatibleOperator, QString(300, u'a'), QStringLiteral("string")),
        QStringLiteral("Operator ") + QString(255 - 51, u'a')
            + QStringLiteral(" is not compatible with string expressions"));
    EXPECT_EQ(brErrorText(SBRMissing, QStringLiteral("'")), QStringLiteral("Missing '"));
}

TEST(EvaluatorTexts, FormatFillsPlaceholdersInOrder)
{
    EXPECT_EQ(brFormat(SBRCannotOperate, QStringLiteral("add"), QStringLiteral("boolean")),
        QStringLiteral("Cannot add boolean expressions"));
    EXPECT_EQ(brFormat(SBRMissing, QStringLiteral("%s")), QStringLiteral("Missing %s"));
}

} // namespace
