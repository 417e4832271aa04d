#include "platform/IniFile.h"

#include "platform/TextCodec.h"
#include "platform/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>
#include <vector>

namespace platform {

namespace {

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// "[name]" on a line of its own (blanks around it allowed); the name without brackets, or a
// null string when the line is no section header.
QString sectionName(const QString& line)
{
    const QString t = line.trimmed();
    if (t.size() >= 2 && t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        return t.mid(1, t.size() - 2).trimmed();
    return QString();
}

bool isComment(const QString& line)
{
    const QString t = line.trimmed();
    return t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'));
}

// Splits "key=value"; false for lines without '=' or with an empty key.
bool splitEntry(const QString& line, QString& key, QString& value)
{
    if (isComment(line))
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
QString storedValue(QString value)
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

// One line of the file: its text, and the bytes it was read as. A line the program does not
// change is written back as those bytes, so that lines and sections other programs own keep
// every byte (CP932 has two codes for some characters, and decoding and encoding again would
// pick one of them).
struct IniLine {
    QString text;
    QByteArray bytes; // without the line end; empty for a line the program wrote
    QByteArray end; // "\r\n", "\n", "\r", or empty for a last line without one
    bool changed = false;

    // A last line keeps its missing line end; one that gets lines after it ends in CR LF.
    QByteArray stored(bool last) const
    {
        const QByteArray ending = end.isEmpty() && !last ? QByteArrayLiteral("\r\n") : end;
        return (changed ? toCp932(text) : bytes) + ending;
    }
};

IniLine writtenLine(const QString& text) { return { text, {}, QByteArrayLiteral("\r\n"), true }; }

struct IniFile::Impl {
    QString path;
    std::vector<IniLine> lines; // the file's lines, comments and all

    const QString& text(int i) const { return lines[static_cast<size_t>(i)].text; }
    int count() const { return static_cast<int>(lines.size()); }

    // Index of the section header line, or -1.
    int findSection(const QString& section) const
    {
        for (int i = 0; i < count(); ++i) {
            const QString name = sectionName(text(i));
            if (!name.isNull() && sameName(name, section))
                return i;
        }
        return -1;
    }

    // One past the last line of the section that starts at header.
    int sectionEnd(int header) const
    {
        int i = header + 1;
        while (i < count() && sectionName(text(i)).isNull())
            ++i;
        return i;
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
            if (splitEntry(text(i), k, v) && sameName(k, key)) {
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
        // CR and LF never occur inside a CP932 character, so the bytes split into lines as the text does.
        const QByteArray all = file.readAll();
        qsizetype start = 0;
        while (start < all.size()) {
            qsizetype stop = start;
            while (stop < all.size() && all[stop] != '\r' && all[stop] != '\n')
                ++stop;
            qsizetype next = stop;
            if (next < all.size())
                next += (all[next] == '\r' && next + 1 < all.size() && all[next + 1] == '\n') ? 2 : 1;
            const QByteArray bytes = all.mid(start, stop - start);
            lines.push_back({ fromCp932(bytes), bytes, all.mid(stop, next - stop), false });
            start = next;
        }
    }

    void save() const
    {
        QByteArray bytes;
        for (size_t i = 0; i < lines.size(); ++i)
            bytes += lines[i].stored(i + 1 == lines.size());
        // A file that cannot be written whole keeps the content it had.
        if (const auto failure = writeWholeFile(path, bytes))
            throw std::runtime_error(failure->text().toStdString());
    }

    // Puts the value into the lines; false when the key's line already reads as the value.
    bool set(const QString& section, const QString& key, const QString& value)
    {
        QString current;
        const int at = findKey(section, key, &current);
        if (at >= 0) {
            // A line that already reads as the value keeps its bytes.
            if (current == value)
                return false;
            // Keep the key as the file spells it.
            IniLine& line = lines[static_cast<size_t>(at)];
            const QString spelled = line.text.left(line.text.indexOf(QLatin1Char('='))).trimmed();
            line.text = spelled + QLatin1Char('=') + storedValue(value);
            line.changed = true;
        } else {
            const QString entry = key + QLatin1Char('=') + storedValue(value);
            const int header = findSection(section);
            if (header >= 0) {
                // After the section's last entry, before the blank lines that part it from the next.
                int pos = sectionEnd(header);
                while (pos > header + 1 && text(pos - 1).trimmed().isEmpty())
                    --pos;
                lines.insert(lines.begin() + pos, writtenLine(entry));
            } else {
                if (!lines.empty() && !lines.back().text.trimmed().isEmpty())
                    lines.push_back(writtenLine(QString()));
                lines.push_back(writtenLine(QLatin1Char('[') + section + QLatin1Char(']')));
                lines.push_back(writtenLine(entry));
            }
        }
        return true;
    }

    void writeAll(const std::vector<IniFile::Entry>& entries)
    {
        std::vector<IniLine> before = lines;
        bool changed = false;
        for (const IniFile::Entry& e : entries)
            changed = set(e.section, e.key, e.value) || changed;
        if (!changed)
            return;
        try {
            save();
        } catch (...) {
            // What is read afterwards is what the file holds.
            lines = std::move(before);
            throw;
        }
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
    return integerOf(ReadString(section, key, QString())).value_or(defaultValue);
}

std::optional<int> IniFile::integerOf(const QString& value)
{
    const QString text = value.trimmed();
    bool ok = false;
    int number = 0;
    // Decimal as written by the program; hexadecimal as "$1F" or "0x1F", as the original accepts.
    if (text.startsWith(QLatin1Char('$')))
        number = text.mid(1).toInt(&ok, 16);
    else if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        number = text.mid(2).toInt(&ok, 16);
    else
        number = text.toInt(&ok, 10);
    return ok ? std::optional<int>(number) : std::nullopt;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    m_impl->writeAll({ { section, key, value } });
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    m_impl->writeAll({ { section, key, QString::number(value) } });
}

void IniFile::WriteAll(const std::vector<Entry>& entries) { m_impl->writeAll(entries); }

bool IniFile::ValueExists(const QString& section, const QString& key) const
{
    return m_impl->findKey(section, key) >= 0;
}

} // namespace platform
