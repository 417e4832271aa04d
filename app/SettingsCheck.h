#pragma once

// Values of Tavo.ini checked as they are read. A damaged or hand-edited file must not put a
// value into the program that the control showing it cannot take (a port number of -1, a
// bit-rate choice the board does not have, a preset "25:99:99"): such a value is replaced by
// the key's default, which "ＣＬＯＳＥ" then writes back, and the operator is told once.

#include <QString>
#include <vector>

namespace platform {
class IniFile;
}

// A value of the file that was not taken.
struct SettingProblem {
    QString section;
    QString key;
    QString value; // as it stands in the file
    QString defaultValue; // what is used instead
    bool operator==(const SettingProblem&) const = default;
};

// Reads keys of a settings file, each against its rule. A missing key gives the default without
// a word, as it always has; a key that is there with a value the rule refuses gives the default
// and is recorded.
class CheckedSettingsReader {
public:
    explicit CheckedSettingsReader(const platform::IniFile& ini);

    // An integer (decimal, or hexadecimal as the file format allows) from `min` to `max`.
    int integer(const QString& section, const QString& key, int defaultValue, int min, int max);
    // A text that `accepts` takes; the value as read (without blanks at its ends) otherwise.
    QString text(const QString& section, const QString& key, const QString& defaultValue,
        bool (*accepts)(const QString&));

    // A printed title: any text that setting_rule::printTitle takes, kept as the file gives it.
    QString title(const QString& section, const QString& key, const QString& defaultValue);

    const std::vector<SettingProblem>& problems() const { return m_problems; }

private:
    bool present(const QString& section, const QString& key, QString* value) const;
    void refuse(
        const QString& section, const QString& key, const QString& value, const QString& defaultValue);

    const platform::IniFile& m_ini;
    std::vector<SettingProblem> m_problems;
};

// The rules of the controls that show the settings.
namespace setting_rule {
// A preset picker's time: H:MM:SS (or HH:MM:SS) within one day; empty stands for 0:00:00.
bool clockTextOrEmpty(const QString& value);
// The blind-time picker: decimal tenths of a second within one day.
bool tenthsOfADay(const QString& value);
// A check box: "0" or "1".
bool flag(const QString& value);
// The timing server's port box: a decimal port number from 1 to 65535.
bool tcpPort(const QString& value);
// The timing server's address box: a host name or address, without blanks or control characters.
bool hostAddress(const QString& value);
// An event code: decimal digits.
bool eventCode(const QString& value);
// A printed column title or date prefix: one line without control characters (TAB allowed),
// as the operator's typed texts are checked.
bool printTitle(const QString& value);
} // namespace setting_rule

// How many characters of a refused value the start message shows; a longer value is cut there
// and ends in "…", so that the message fits the screen whatever the file holds.
constexpr qsizetype kShownValueLength = 40;
QString shownSettingValue(const QString& value);

// True for the keys read at start and never written back (Env/Tcode, D-Line/Brate).
bool neverSavedSetting(const QString& section, const QString& key);

// How many lines of refused keys the start message holds at most: past that, the last line
// only counts the rest ("ほか N 項目"), so that the box fits a 1024 x 768 screen.
constexpr size_t kShownProblems = 10;

// The one message for the operator at start that names each refused key, its value (cut to
// kShownValueLength) and the default used, and asks for the keys that are never written back
// to be mended in the file (those first); empty when there is none.
QString settingsProblemText(const std::vector<SettingProblem>& problems);
