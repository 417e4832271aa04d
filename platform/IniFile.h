#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// The settings file in the original's INI format, stored as CP932 text with CR LF line ends.
// Sections and keys are case-insensitive. A write changes the key's line in place (or appends
// it to its section) and reaches the file at once; every other line, and a line whose value
// is already the one written, keeps its bytes exactly. A write that cannot replace the file
// whole raises std::runtime_error naming the file, and the file, and this object, keep what
// they had.
class IniFile {
public:
    struct Entry {
        QString section;
        QString key;
        QString value;
    };

    explicit IniFile(const QString& path);
    ~IniFile();

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    // Writes every entry as WriteString does, and the file once: afterwards it holds all of them,
    // or, when that one write fails, every byte it had (a write per key would leave the keys
    // before the failing one in a file that is neither old nor new).
    void WriteAll(const std::vector<Entry>& entries);
    bool ValueExists(const QString& section, const QString& key) const;

    // An integer value as ReadInteger takes it: decimal, or hexadecimal as "$1F" or "0x1F";
    // nothing when the text is no such number or does not fit an int.
    static std::optional<int> integerOf(const QString& text);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace platform
