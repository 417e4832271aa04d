#include "platform/IniFile.h"

#include "platform/TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <stdexcept>
#include <vector>

namespace platform {

namespace {

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// "[name]" on a line of its own (blanks around it allowed); the name without brackets, or a
// null string when the line is no section header.
QString SectionName(const QString& line)
{
    const QString t = line.trimmed();
    if (t.size() >= 2 && t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        return t.mid(1, t.size() - 2).trimmed();
    return QString();
}

bool IsComment(const QString& line)
{
    const QString t = line.trimmed();
    return t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'));
}

// Splits "key=value"; false for lines without '=' or with an empty key.
bool SplitEntry(const QString& line, QString& key, QString& value)
{
    if (IsComment(line))
        return false;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    key = line.left(eq).trimmed();
    if (key.isEmpty())
        return false;
    value = line.mid(eq + 1).trimmed();
    // Windows strips one pair of enclosing quotes from a value.
    if (value.size() >= 2
        && ((value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            || (value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\'')))))
        value = value.mid(1, value.size() - 2);
    return true;
}

// The text written after "key=": quoted when reading it back would otherwise lose blanks at
// its ends or a pair of quotes around it.
QString StoredValue(QString value)
{
    value.replace(QLatin1Char('\r'), QLatin1Char(' '));
    value.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const bool blanksAtEnds = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
    const bool quotedAlready = value.size() >= 2
        && ((value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            || (value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\''))));
    if (blanksAtEnds || quotedAlready)
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

} // namespace

struct IniFile::Impl {
    QString path;
    std::vector<QString> lines; // the file's lines without line ends, comments and all

    // Index of the section header line, or -1.
    int findSection(const QString& section) const
    {
        for (size_t i = 0; i < lines.size(); ++i) {
            const QString name = SectionName(lines[i]);
            if (!name.isNull() && SameName(name, section))
                return static_cast<int>(i);
        }
        return -1;
    }

    // One past the last line of the section that starts at header.
    int sectionEnd(int header) const
    {
        size_t i = static_cast<size_t>(header) + 1;
        while (i < lines.size() && SectionName(lines[i]).isNull())
            ++i;
        return static_cast<int>(i);
    }

    // Index of the key's line in the section, or -1. The first of duplicate keys wins, as on Windows.
    int findKey(const QString& section, const QString& key, QString* value = nullptr) const
    {
        const int header = findSection(section);
        if (header < 0)
            return -1;
        const int end = sectionEnd(header);
        for (int i = header + 1; i < end; ++i) {
            QString k, v;
            if (SplitEntry(lines[static_cast<size_t>(i)], k, v) && SameName(k, key)) {
                if (value)
                    *value = v;
                return i;
            }
        }
        return -1;
    }

    void load()
    {
        const QFileInfo info(path);
        if (!info.exists())
            return;
        QFile file(path);
        if (!info.isFile() || !file.open(QIODevice::ReadOnly))
            throw std::runtime_error(QStringLiteral("設定ファイル %1 を読み込めません。(%2)")
                                         .arg(path, file.errorString())
                                         .toStdString());
        QString text = FromCp932(file.readAll());
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        const QStringList parts = text.split(QLatin1Char('\n'));
        lines.assign(parts.begin(), parts.end());
        // The text's last line end gives an empty last part: not a line of its own.
        if (!lines.empty() && lines.back().isEmpty())
            lines.pop_back();
    }

    void save() const
    {
        QString text;
        for (const QString& line : lines)
            text += line + QStringLiteral("\r\n");
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(ToCp932(text)) < 0 || !file.commit())
            throw std::runtime_error(QStringLiteral("設定ファイル %1 に書き込めません。(%2)")
                                         .arg(path, file.errorString())
                                         .toStdString());
    }

    void write(const QString& section, const QString& key, const QString& value)
    {
        QString current;
        const int at = findKey(section, key, &current);
        if (at >= 0) {
            if (current == value && StoredValue(value) == value)
                return;
            // Keep the key as the file spells it.
            const QString& line = lines[static_cast<size_t>(at)];
            const QString spelled = line.left(line.indexOf(QLatin1Char('='))).trimmed();
            lines[static_cast<size_t>(at)] = spelled + QLatin1Char('=') + StoredValue(value);
        } else {
            const QString entry = key + QLatin1Char('=') + StoredValue(value);
            const int header = findSection(section);
            if (header >= 0) {
                // After the section's last entry, before the blank lines that part it from the next.
                int pos = sectionEnd(header);
                while (pos > header + 1 && lines[static_cast<size_t>(pos - 1)].trimmed().isEmpty())
                    --pos;
                lines.insert(lines.begin() + pos, entry);
            } else {
                if (!lines.empty() && !lines.back().trimmed().isEmpty())
                    lines.emplace_back();
                lines.push_back(QLatin1Char('[') + section + QLatin1Char(']'));
                lines.push_back(entry);
            }
        }
        save();
    }
};

IniFile::IniFile(const QString& path)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->path = path;
    m_impl->load();
}

IniFile::~IniFile() = default;

QString IniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    QString value;
    return m_impl->findKey(section, key, &value) >= 0 ? value : defaultValue;
}

int IniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    const QString text = ReadString(section, key, QString()).trimmed();
    if (text.isEmpty())
        return defaultValue;
    bool ok = false;
    int value = 0;
    // Decimal as written by the program; hexadecimal as "$1F" or "0x1F", as the original accepts.
    if (text.startsWith(QLatin1Char('$')))
        value = text.mid(1).toInt(&ok, 16);
    else if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = text.mid(2).toInt(&ok, 16);
    else
        value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    m_impl->write(section, key, value);
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    m_impl->write(section, key, QString::number(value));
}

bool IniFile::ValueExists(const QString& section, const QString& key) const
{
    return m_impl->findKey(section, key) >= 0;
}

} // namespace platform
