#include "app/SettingsCheck.h"

#include "platform/ClockText.h"
#include "platform/IniFile.h"
#include "platform/TypedText.h"

#include <QRegularExpression>
#include <algorithm>

CheckedSettingsReader::CheckedSettingsReader(const platform::IniFile& ini)
    : m_ini(ini)
{
}

bool CheckedSettingsReader::present(const QString& section, const QString& key, QString* value) const
{
    if (!m_ini.ValueExists(section, key))
        return false;
    *value = m_ini.ReadString(section, key, QString()).trimmed();
    return true;
}

void CheckedSettingsReader::refuse(
    const QString& section, const QString& key, const QString& value, const QString& defaultValue)
{
    m_problems.push_back({ section, key, value, defaultValue });
}

int CheckedSettingsReader::integer(
    const QString& section, const QString& key, int defaultValue, int min, int max)
{
    QString value;
    if (!present(section, key, &value))
        return defaultValue;
    const std::optional<int> number = platform::IniFile::integerOf(value);
    if (number && *number >= min && *number <= max)
        return *number;
    refuse(section, key, value, QString::number(defaultValue));
    return defaultValue;
}

QString CheckedSettingsReader::title(const QString& section, const QString& key, const QString& defaultValue)
{
    if (!m_ini.ValueExists(section, key))
        return defaultValue;
    // As the file gives it: a title may begin or end with a blank the file quotes.
    const QString value = m_ini.ReadString(section, key, defaultValue);
    if (setting_rule::printTitle(value))
        return value;
    refuse(section, key, value, defaultValue);
    return defaultValue;
}

QString CheckedSettingsReader::text(
    const QString& section, const QString& key, const QString& defaultValue, bool (*accepts)(const QString&))
{
    QString value;
    if (!present(section, key, &value))
        return defaultValue;
    if (accepts(value))
        return value;
    refuse(section, key, value, defaultValue);
    return defaultValue;
}

namespace {

bool sameKey(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

} // namespace

namespace setting_rule {

namespace {

constexpr qint64 kTenthsPerDay = 864000;

bool decimalDigits(const QString& value)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    return digits.match(value).hasMatch();
}

} // namespace

bool clockTextOrEmpty(const QString& value)
{
    return value.isEmpty() || platform::parseClockText(value).has_value();
}

bool tenthsOfADay(const QString& value)
{
    // The length bound keeps the conversion from overflowing on a long row of digits.
    return decimalDigits(value) && value.size() <= 7 && value.toLongLong() < kTenthsPerDay;
}

bool flag(const QString& value) { return value == QLatin1String("0") || value == QLatin1String("1"); }

bool tcpPort(const QString& value)
{
    return decimalDigits(value) && value.size() <= 5 && value.toInt() >= 1 && value.toInt() <= 65535;
}

bool hostAddress(const QString& value)
{
    return !value.isEmpty() && std::none_of(value.begin(), value.end(), [](QChar c) {
        return c.isSpace() || c.category() == QChar::Other_Control;
    });
}

bool eventCode(const QString& value) { return decimalDigits(value); }

bool printTitle(const QString& value) { return !platform::hasControlCharacters(value); }

} // namespace setting_rule

QString shownSettingValue(const QString& value)
{
    if (value.size() <= kShownValueLength)
        return value;
    // Never half of a character that takes two UTF-16 units.
    const qsizetype cut
        = value.at(kShownValueLength - 1).isHighSurrogate() ? kShownValueLength - 1 : kShownValueLength;
    return value.left(cut) + QStringLiteral("…");
}

bool neverSavedSetting(const QString& section, const QString& key)
{
    return (sameKey(section, QStringLiteral("Env")) && sameKey(key, QStringLiteral("Tcode")))
        || (sameKey(section, QStringLiteral("D-Line")) && sameKey(key, QStringLiteral("Brate")));
}

QString settingsProblemText(const std::vector<SettingProblem>& problems)
{
    if (problems.empty())
        return QString();
    // The keys to be mended in the file come first, so that they are among the lines shown.
    std::vector<SettingProblem> ordered = problems;
    std::stable_partition(ordered.begin(), ordered.end(),
        [](const SettingProblem& p) { return neverSavedSetting(p.section, p.key); });
    QString text = QStringLiteral("設定ファイル Tavo.ini に使えない値があったため、次の項目は既定値を使います"
                                  "(「ＣＬＯＳＥ」で保存する項目には既定値が書き込まれます)。");
    const size_t shown = ordered.size() > kShownProblems ? kShownProblems - 1 : ordered.size();
    for (size_t i = 0; i < shown; ++i) {
        const SettingProblem& p = ordered[i];
        text += QStringLiteral("\n[%1] %2 の値「%3」→ 既定値「%4」")
                    .arg(p.section, p.key, shownSettingValue(p.value), p.defaultValue);
        // The program never writes these keys: the value stays wrong until it is mended.
        if (neverSavedSetting(p.section, p.key))
            text += QStringLiteral("（「ＣＬＯＳＥ」では書き込まれないため、Tavo.ini で直してください）");
    }
    if (shown < ordered.size())
        text += QStringLiteral("\nほか %1 項目").arg(ordered.size() - shown);
    return text;
}
