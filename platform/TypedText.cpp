#include "platform/TypedText.h"

#include "platform/Asker.h"

#include <algorithm>

namespace platform {

namespace {

bool isRefusedControl(QChar c, TextLines lines)
{
    if (c.unicode() >= 0x20 || c == QLatin1Char('\t'))
        return false;
    return lines == TextLines::One || (c != QLatin1Char('\n') && c != QLatin1Char('\r'));
}

} // namespace

bool hasControlCharacters(const QString& text, TextLines lines)
{
    return std::any_of(text.begin(), text.end(), [lines](QChar c) { return isRefusedControl(c, lines); });
}

QString withoutControlCharacters(const QString& text, TextLines lines)
{
    if (!hasControlCharacters(text, lines))
        return text;
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text)
        if (!isRefusedControl(c, lines))
            kept += c;
    return kept;
}

QString oneLineText(const QString& text)
{
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return withoutControlCharacters(line);
}

QString controlCharacterRefusal(const QString& field)
{
    return QStringLiteral("「%1」に使えない制御文字 (NUL など) が含まれています。"
                          "取り除いてから、もう一度操作してください。")
        .arg(field);
}

bool acceptTypedText(Asker& asker, const QString& field, const QString& text, TextLines lines)
{
    if (!hasControlCharacters(text, lines))
        return true;
    asker.inform(QString(), controlCharacterRefusal(field));
    return false;
}

} // namespace platform
