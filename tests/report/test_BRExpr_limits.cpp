// Hostile texts: expressions come from report definitions, so a long, deeply nested or damaged one
// must parse and evaluate quickly and in little stack, to a value or to an error result.

#include "BRExprTestSupport.h"

#include <QThread>
#include <gtest/gtest.h>
#include <memory>

using namespace brexpr_test;

namespace {

// Runs f on a thread with a 1 MB stack, the least any thread of the program gets.
template <typename F> void onSmallStack(F f)
{
    std::unique_ptr<QThread> thread(QThread::create(f));
    thread->setStackSize(1024 * 1024);
    thread->start();
    thread->wait();
}

QString repeated(const char* text, int n) { return QString::fromUtf8(text).repeated(n); }

QString joined(const char* item, const char* separator, int n)
{
    QStringList items;
    for (int i = 0; i < n; ++i)
        items << QString::fromUtf8(item);
    return items.join(QString::fromUtf8(separator));
}

QString nestedIf(int n) { return repeated("IF(TRUE, ", n) + u'1' + repeated(", 2)", n); }

QString nested(int n) { return repeated("(", n) + u'1' + repeated(")", n); }

const QString TooDeep = QStringLiteral("error Expression nested too deeply");

} // namespace

TEST(ExpressionLimits, LongChainsAndRunsOfSignsEvaluate)
{
    onSmallStack([] {
        EXPECT_EQ(evalText(joined("1", " + ", 5000)), QStringLiteral("integer 5000"));
        EXPECT_EQ(evalText(joined("1", " - ", 5000)), QStringLiteral("integer -4998"));
        EXPECT_EQ(evalText(joined("2 * 3", " - ", 3000) + QStringLiteral(" + 1")),
            QStringLiteral("integer -17987"));
        EXPECT_EQ(evalText(joined("(1 = 1)", " and ", 5000)), QStringLiteral("boolean true"));
        EXPECT_EQ(evalText(QStringLiteral("4 / 2 * ") + joined("1", " / ", 2000)), QStringLiteral("float 2"));
        EXPECT_EQ(evalText(repeated("not ", 10000) + QStringLiteral("TRUE")), QStringLiteral("boolean true"));
        EXPECT_EQ(evalText(repeated("not ", 10001) + QStringLiteral("1")),
            QStringLiteral("error Invalid use of NOT"));
        EXPECT_EQ(evalText(repeated("-", 10001) + QStringLiteral("1")), QStringLiteral("integer -1"));
        EXPECT_EQ(evalText(repeated("+ ", 10000) + QStringLiteral("7")), QStringLiteral("integer 7"));
    });
}

TEST(ExpressionLimits, NestingBeyondTheBoundIsOneErrorForTheWholeText)
{
    onSmallStack([] {
        EXPECT_EQ(evalText(nested(BRMaxNesting)), QStringLiteral("integer 1"));
        EXPECT_EQ(evalText(nestedIf(BRMaxNesting)), QStringLiteral("integer 1"));
        EXPECT_EQ(evalText(nested(BRMaxNesting + 1)), TooDeep);
        EXPECT_EQ(evalText(nestedIf(BRMaxNesting + 1)), TooDeep);
        EXPECT_EQ(evalText(nested(10000)), TooDeep);
        EXPECT_EQ(evalText(nestedIf(10000)), TooDeep);
        // Parentheses and calls count together; the bound holds in any branch, chosen or not.
        EXPECT_EQ(evalText(nestedIf(BRMaxNesting / 2) + QStringLiteral(" + ") + nested(BRMaxNesting)),
            QStringLiteral("integer 2"));
        const int half = BRMaxNesting / 2 + 1;
        EXPECT_EQ(evalText(repeated("IF(TRUE, 1, (", half) + u'1' + repeated("))", half)), TooDeep);
        // A damaged text of unbalanced parentheses is an ordinary error.
        EXPECT_EQ(evalText(repeated("(", 10000) + u'1'), QStringLiteral("error Missing )"));
        EXPECT_TRUE(evalText(QStringLiteral("1 + ") + repeated("(1)", 10000))
                        .startsWith(QStringLiteral("error Illegal character in numeric contant \"1)(1)(")));
    });
}

TEST(ExpressionLimits, AnEvaluatorPreparedAfterATooDeepTextWorks)
{
    TBREvaluator ev;
    ev.Prepare(nested(10000));
    EXPECT_EQ(describe(ev.Value()), TooDeep);
    ev.Prepare(QStringLiteral("SUM(2)"));
    ev.Accumulate();
    ev.Accumulate();
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 4"));
}

TEST(ExpressionLimits, SignsAndNotAlternatingWithoutEndEvaluate)
{
    onSmallStack([] {
        // Each pair nests a negation in a subtraction from zero; "not" of a number is the error.
        EXPECT_EQ(evalText(repeated("- not ", 3500) + QStringLiteral("TRUE")),
            QStringLiteral("error Invalid use of NOT"));
        EXPECT_EQ(evalText(repeated("not -", 3500) + QStringLiteral("1")),
            QStringLiteral("error Invalid use of NOT"));
        EXPECT_EQ(evalText(repeated("- + ", 5001) + QStringLiteral("1")), QStringLiteral("integer -1"));
    });
}

TEST(ExpressionLimits, AVariableNestsAsItsTextWouldInParentheses)
{
    onSmallStack([] {
        // A chain of variables each naming the next, far deeper than the bound.
        TBREvEnvironment chain;
        const int links = 3000;
        for (int i = 0; i < links; ++i)
            chain.AddFunction(QStringLiteral("V%1").arg(i), QStringLiteral("V%1").arg(i + 1));
        chain.AddFunction(QStringLiteral("V%1").arg(links), QStringLiteral("7"));
        chain.Prepare();
        EXPECT_EQ(evalText(QStringLiteral("V0 + 1"), &chain), TooDeep);
        EXPECT_EQ(describe(chain.Evaluate(QStringLiteral("V0"))), TooDeep);
        EXPECT_EQ(evalText(QStringLiteral("V%1 + 1").arg(links - BRMaxNesting + 1), &chain),
            QStringLiteral("integer 8"));
        EXPECT_EQ(evalText(QStringLiteral("V%1").arg(links - BRMaxNesting), &chain), TooDeep);

        // Parentheses and calls around a use and inside the variable count together.
        TBREvEnvironment env;
        env.AddFunction(QStringLiteral("Deep"), nested(BRMaxNesting - 2));
        env.AddFunction(QStringLiteral("Deeper"), nested(BRMaxNesting - 1));
        env.Prepare();
        EXPECT_EQ(evalText(QStringLiteral("(Deep)"), &env), QStringLiteral("integer 1"));
        EXPECT_EQ(evalText(QStringLiteral("Deeper"), &env), QStringLiteral("integer 1"));
        EXPECT_EQ(evalText(QStringLiteral("INT(Deep)"), &env), QStringLiteral("integer 1"));
        EXPECT_EQ(evalText(QStringLiteral("(Deeper)"), &env), TooDeep);
        EXPECT_EQ(evalText(QStringLiteral("((Deep))"), &env), TooDeep);
        // The evaluation in progress is put back: the next one starts from nothing.
        EXPECT_EQ(evalText(QStringLiteral("Deeper"), &env), QStringLiteral("integer 1"));

        // A chain of operators around each use: they call down only so far along all the uses.
        TBREvEnvironment sums;
        const int uses = BRMaxNesting - 2;
        for (int i = 0; i < uses; ++i)
            sums.AddFunction(
                QStringLiteral("S%1").arg(i), repeated("1 + ", 40) + QStringLiteral("S%1").arg(i + 1));
        sums.AddFunction(QStringLiteral("S%1").arg(uses), QStringLiteral("0"));
        sums.Prepare();
        EXPECT_EQ(evalText(QStringLiteral("S0"), &sums), QStringLiteral("integer %1").arg(40 * uses));
    });
}
