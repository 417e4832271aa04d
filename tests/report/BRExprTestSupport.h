#pragma once

#include "report/BRExpr.h"

#include <QString>
#include <gtest/gtest.h>
#include <ostream>

namespace brexpr_test {

// A value as "kind text", e.g. "integer 5", "float 3.5", "string abc", "boolean true",
// "error Cannot divide by 0": one comparable text per case of a table.
inline QString describe(const EvResult& r)
{
    switch (r.Kind) {
    case EvResultKind::Integer:
        return QStringLiteral("integer ") + QString::number(r.IntResult);
    case EvResultKind::Float:
        return QStringLiteral("float ") + brFloatToText(r.FloatResult);
    case EvResultKind::String:
        return QStringLiteral("string ") + r.StrResult;
    case EvResultKind::Boolean:
        return r.BoolResult ? QStringLiteral("boolean true") : QStringLiteral("boolean false");
    case EvResultKind::Error:
        break;
    }
    return QStringLiteral("error ") + r.StrResult;
}

// Prepares and evaluates a text with an evaluator of its own.
inline EvResult eval(const QString& text, TBREvEnvironment* env = nullptr)
{
    TBREvaluator ev;
    ev.setEnvironment(env);
    ev.Prepare(text);
    return ev.Value();
}

inline QString evalText(const QString& text, TBREvEnvironment* env = nullptr)
{
    return describe(eval(text, env));
}

// One row of a data-driven table: the expression and its expected description.
struct Case {
    const char* text;
    const char* expected;
};

inline std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.text; }

// Tables of expressions and their values: each file instantiates its own rows.
class ExpressionTable : public ::testing::TestWithParam<Case> { };

} // namespace brexpr_test

inline std::ostream& operator<<(std::ostream& os, const QString& s) { return os << s.toStdString(); }
