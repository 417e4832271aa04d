#include "platform/SqlDialect.h"

#include "platform/ByteScan.h"
#include "platform/ClockText.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <utility>
#include <vector>

namespace platform::sql {

namespace {

// ---- tokens -------------------------------------------------------------------------------

struct Token {
    enum Kind { Word, Quoted, String, Number, Punct };
    Kind kind;
    int begin, end; // offsets into the statement text
    QString text; // the word (upper-cased for words), the punctuation character, or the source
};

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

// Tokens of SQL text; whitespace and comments are skipped. Unterminated quotes run to the end.
std::vector<Token> tokenize(const QString& s)
{
    std::vector<Token> out;
    const int n = int(s.size());
    int i = 0;
    auto closeQuote = [&](int from, QChar close) {
        int j = from + 1;
        while (j < n) {
            if (s[j] == close) {
                if (close != u']' && j + 1 < n && s[j + 1] == close) {
                    j += 2; // doubled quote inside
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return n;
    };
    while (i < n) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            const int e = int(s.indexOf(QStringLiteral("*/"), i + 2));
            i = e < 0 ? n : e + 2;
        } else if (c == u'\'') {
            const int e = closeQuote(i, u'\'');
            out.push_back({ Token::String, i, e, s.mid(i, e - i) });
            i = e;
        } else if (c == u'"' || c == u'`' || c == u'[') {
            const int e = closeQuote(i, c == u'[' ? QChar(u']') : c);
            out.push_back({ Token::Quoted, i, e, s.mid(i, e - i) });
            i = e;
        } else if (c.isDigit()) {
            int e = i;
            while (e < n && (s[e].isLetterOrNumber() || s[e] == u'.'))
                ++e;
            out.push_back({ Token::Number, i, e, s.mid(i, e - i) });
            i = e;
        } else if (isWordChar(c)) {
            int e = i;
            while (e < n && isWordChar(s[e]))
                ++e;
            out.push_back({ Token::Word, i, e, s.mid(i, e - i).toUpper() });
            i = e;
        } else {
            out.push_back({ Token::Punct, i, i + 1, QString(c) });
            ++i;
        }
    }
    return out;
}

bool isWord(const Token& t, const char* w) { return t.kind == Token::Word && t.text == QLatin1String(w); }
bool isPunct(const Token& t, char c) { return t.kind == Token::Punct && t.text == QChar(QLatin1Char(c)); }

// Ranges [first, last) of tokens separated by top-level commas between tokens first and last.
std::vector<std::pair<size_t, size_t>> splitAtCommas(const std::vector<Token>& t, size_t first, size_t last)
{
    std::vector<std::pair<size_t, size_t>> parts;
    int depth = 0;
    size_t start = first;
    for (size_t i = first; i < last; ++i) {
        if (isPunct(t[i], '('))
            ++depth;
        else if (isPunct(t[i], ')'))
            --depth;
        else if (depth == 0 && isPunct(t[i], ',')) {
            parts.emplace_back(start, i);
            start = i + 1;
        }
    }
    parts.emplace_back(start, last);
    return parts;
}

QString source(const QString& s, const std::vector<Token>& t, size_t first, size_t last)
{
    if (first >= last)
        return QString();
    return s.mid(t[first].begin, t[last - 1].end - t[first].begin);
}

// A column definition's tokens [first, last): the text to insert (and where) so that a date or
// time column gets its collation and a memo column becomes text. Returns the edited definition.
QString fixColumnDefinition(const QString& s, const std::vector<Token>& t, size_t first, size_t last)
{
    QString def = source(s, t, first, last);
    if (last - first < 2 || t[first + 1].kind != Token::Word)
        return def;
    const Token& type = t[first + 1];
    const int base = t[first].begin;
    if (type.text == QLatin1String("MEMO")) {
        def.replace(type.begin - base, type.end - type.begin, QStringLiteral("text"));
        return def;
    }
    const QString collation = collationFor(type.text);
    if (collation.isEmpty())
        return def;
    for (size_t i = first; i < last; ++i)
        if (isWord(t[i], "COLLATE"))
            return def;
    return def + QStringLiteral(" COLLATE ") + collation;
}

QStringList rewriteAlter(const QString& s, const std::vector<Token>& t)
{
    // ALTER TABLE name clause[, clause...] where clause is ADD [COLUMN] def or DROP [COLUMN] name.
    size_t i = 2;
    size_t nameEnd = i;
    while (nameEnd < t.size() && !isWord(t[nameEnd], "ADD") && !isWord(t[nameEnd], "DROP"))
        ++nameEnd;
    if (nameEnd == i || nameEnd >= t.size())
        return { s };
    const QString table = source(s, t, i, nameEnd);
    QStringList out;
    for (const auto& [first, last] : splitAtCommas(t, nameEnd, t.size())) {
        size_t f = first;
        if (f >= last)
            return { s };
        const bool add = isWord(t[f], "ADD");
        if (!add && !isWord(t[f], "DROP"))
            return { s }; // not a form we split: let SQLite judge it as written
        ++f;
        if (f < last && isWord(t[f], "COLUMN"))
            ++f;
        if (f >= last)
            return { s };
        if (add)
            out << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                       .arg(table, fixColumnDefinition(s, t, f, last));
        else
            out << QStringLiteral("ALTER TABLE %1 DROP COLUMN %2").arg(table, source(s, t, f, last));
    }
    return out;
}

QString rewriteCreate(const QString& s, const std::vector<Token>& t)
{
    // CREATE [TEMP|TEMPORARY] TABLE [IF NOT EXISTS] name ( defs ) ...
    size_t i = 1;
    while (i < t.size() && !isPunct(t[i], '(')) {
        if (isWord(t[i], "AS"))
            return s; // create table ... as select: the columns come from the select
        ++i;
    }
    if (i >= t.size())
        return s;
    const size_t open = i;
    int depth = 0;
    size_t close = open;
    for (; close < t.size(); ++close) {
        if (isPunct(t[close], '('))
            ++depth;
        else if (isPunct(t[close], ')') && --depth == 0)
            break;
    }
    if (close >= t.size())
        return s;
    struct Edit {
        int begin, end;
        QString text;
    };
    std::vector<Edit> edits;
    for (const auto& [first, last] : splitAtCommas(t, open + 1, close)) {
        if (last - first < 2)
            continue;
        const Token& head = t[first];
        if (isWord(head, "CONSTRAINT") || isWord(head, "PRIMARY") || isWord(head, "UNIQUE")
            || isWord(head, "CHECK") || isWord(head, "FOREIGN"))
            continue;
        const QString fixed = fixColumnDefinition(s, t, first, last);
        if (fixed != source(s, t, first, last))
            edits.push_back({ t[first].begin, t[last - 1].end, fixed });
    }
    // Replace from the back so that earlier offsets stay valid.
    QString out = s;
    for (auto e = edits.rbegin(); e != edits.rend(); ++e)
        out.replace(e->begin, e->end - e->begin, e->text);
    return out;
}

// ---- date and time texts --------------------------------------------------------------------

// Times as statements write them: H:MM, H:MM:SS or H:MM:SS.fff.
constexpr ClockTextRule kStatementTime {
    .secondsOptional = true, .fraction = true, .blanks = ClockTextRule::Blanks::SpacesAndTabs
};

// A date as yyyymmdd; -1 when it does not parse.
qint64 dateKey(const char*& p, const char* e)
{
    int a, b, c, na, nb, nc;
    if (!scanDigits(p, e, 4, a, na) || p >= e || (*p != '/' && *p != '-' && *p != '.'))
        return -1;
    const char sep = *p++;
    if (!scanDigits(p, e, 2, b, nb) || p >= e || *p != sep)
        return -1;
    ++p;
    if (!scanDigits(p, e, 4, c, nc))
        return -1;
    int y, m, d;
    if (na == 4 && nc <= 2) {
        y = a, m = b, d = c;
    } else if (na <= 2 && nc == 4) {
        m = a, d = b, y = c;
    } else {
        return -1;
    }
    if (m < 1 || m > 12 || d < 1 || d > 31)
        return -1;
    return qint64(y) * 10000 + m * 100 + d;
}

// Whole-text keys: -1 when the text is not of the form.
qint64 wholeTimeKey(const char* p, const char* e)
{
    skipSpacesAndTabs(p, e);
    const qint64 k = scanClockText(p, e, kStatementTime);
    skipSpacesAndTabs(p, e);
    return p == e ? k : -1;
}

qint64 wholeDateKey(const char* p, const char* e)
{
    skipSpacesAndTabs(p, e);
    const qint64 d = dateKey(p, e);
    if (d < 0)
        return -1;
    qint64 t = 0;
    const char* afterDate = p;
    skipSpacesAndTabs(p, e);
    if (p < e && (*p == 'T' || p != afterDate)) {
        if (*p == 'T')
            ++p;
        t = scanClockText(p, e, kStatementTime);
        if (t < 0)
            return -1;
        skipSpacesAndTabs(p, e);
    }
    return p == e ? d * 1000000000LL + t : -1;
}

// Texts that parse come after those that do not (which keep byte order among themselves),
// and order by value among themselves.
int compareKeys(qint64 ka, qint64 kb, const char* a, int na, const char* b, int nb)
{
    if (ka >= 0 && kb >= 0)
        return ka < kb ? -1 : ka > kb ? 1 : 0;
    if (ka >= 0)
        return 1;
    if (kb >= 0)
        return -1;
    const int r = std::memcmp(a, b, size_t(std::min(na, nb)));
    return r != 0 ? r : na - nb;
}

int dateCollate(void*, int na, const void* a, int nb, const void* b)
{
    return compareDateTexts(static_cast<const char*>(a), na, static_cast<const char*>(b), nb);
}

int timeCollate(void*, int na, const void* a, int nb, const void* b)
{
    return compareTimeTexts(static_cast<const char*>(a), na, static_cast<const char*>(b), nb);
}

} // namespace

Temporal temporalOf(const QString& declaredType)
{
    const QString t = declaredType.trimmed().section(u' ', 0, 0).section(u'(', 0, 0).toLower();
    if (t == QLatin1String("date"))
        return Temporal::Date;
    if (t == QLatin1String("time"))
        return Temporal::Time;
    if (t == QLatin1String("timestamp") || t == QLatin1String("datetime"))
        return Temporal::Timestamp;
    return Temporal::None;
}

bool hasTextAffinity(const QString& declaredType)
{
    const QString t = declaredType.toUpper();
    return !t.contains(QLatin1String("INT"))
        && (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB"))
            || t.contains(QLatin1String("TEXT")));
}

QString collationFor(const QString& declaredType)
{
    switch (temporalOf(declaredType)) {
    case Temporal::Date:
    case Temporal::Timestamp:
        return QString::fromLatin1(DateCollation);
    case Temporal::Time:
        return QString::fromLatin1(TimeCollation);
    case Temporal::None:
        break;
    }
    return QString();
}

QString columnType(const QString& type)
{
    if (type.trimmed().compare(QLatin1String("memo"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("text");
    const QString c = collationFor(type);
    return c.isEmpty() ? type : type + QStringLiteral(" COLLATE ") + c;
}

QString plainTableName(const QString& name)
{
    QString n = name.trimmed();
    if (n.endsWith(QLatin1String(".db"), Qt::CaseInsensitive))
        n.chop(3);
    return n;
}

QString quoteIdentifier(const QString& name)
{
    QString n = name;
    n.replace(u'"', QLatin1String("\"\""));
    return u'"' + n + u'"';
}

QStringList splitStatements(const QString& sql)
{
    QStringList out;
    int start = 0;
    for (const Token& t : tokenize(sql)) {
        if (t.kind == Token::Punct && t.text == QLatin1String(";")) {
            out << sql.mid(start, t.begin - start).trimmed();
            start = t.end;
        }
    }
    out << sql.mid(start).trimmed();
    out.removeIf([](const QString& s) {
        // A piece holding only a comment is no statement.
        return s.isEmpty() || tokenize(s).empty();
    });
    return out;
}

QStringList rewrite(const QString& statement)
{
    const std::vector<Token> t = tokenize(statement);
    if (t.size() >= 4 && isWord(t[0], "ALTER") && isWord(t[1], "TABLE"))
        return rewriteAlter(statement, t);
    if (t.size() >= 4 && isWord(t[0], "CREATE")) {
        size_t i = 1;
        if (isWord(t[i], "TEMP") || isWord(t[i], "TEMPORARY"))
            ++i;
        if (isWord(t[i], "TABLE"))
            return { rewriteCreate(statement, t) };
    }
    return { statement };
}

SelectShape analyzeSelect(const QString& statement)
{
    SelectShape shape;
    const std::vector<Token> t = tokenize(statement);
    if (t.size() < 4 || !isWord(t[0], "SELECT"))
        return shape;
    const bool distinct = isWord(t[1], "DISTINCT");
    // Find the top-level FROM, and anything that makes the rows other than table rows.
    int depth = 0;
    size_t from = 0;
    for (size_t i = 1; i < t.size(); ++i) {
        if (isPunct(t[i], '('))
            ++depth;
        else if (isPunct(t[i], ')'))
            --depth;
        else if (depth == 0 && t[i].kind == Token::Word) {
            if (t[i].text == QLatin1String("FROM") && from == 0)
                from = i;
            else if (t[i].text == QLatin1String("GROUP") || t[i].text == QLatin1String("UNION")
                || t[i].text == QLatin1String("INTERSECT") || t[i].text == QLatin1String("EXCEPT")
                || t[i].text == QLatin1String("HAVING") || t[i].text == QLatin1String("WINDOW")
                || t[i].text == QLatin1String("JOIN") || t[i].text == QLatin1String("VALUES"))
                return shape;
        }
    }
    if (from == 0 || from + 1 >= t.size())
        return shape;
    size_t i = from + 1;
    const Token& name = t[i];
    if (name.kind != Token::Word && name.kind != Token::Quoted)
        return shape;
    QString table = name.kind == Token::Word ? statement.mid(name.begin, name.end - name.begin)
                                             : name.text.mid(1, name.text.size() - 2);
    ++i;
    if (i < t.size() && isPunct(t[i], '.'))
        return shape; // schema-qualified: leave it alone
    // Optional alias.
    if (i < t.size() && isWord(t[i], "AS"))
        i += 2;
    else if (i < t.size() && t[i].kind == Token::Word && t[i].text != QLatin1String("WHERE")
        && t[i].text != QLatin1String("ORDER") && t[i].text != QLatin1String("LIMIT"))
        ++i;
    if (i < t.size() && !isWord(t[i], "WHERE") && !isWord(t[i], "ORDER") && !isWord(t[i], "LIMIT"))
        return shape;
    shape.table = table;
    if (!distinct)
        shape.rowidInsert = t[from].begin; // last in the list, so "order by 2" keeps its meaning
    return shape;
}

QString withRowid(const QString& statement, const SelectShape& shape, const QString& alias)
{
    if (shape.rowidInsert < 0)
        return statement;
    QString s = statement;
    s.insert(shape.rowidInsert, QStringLiteral(", rowid AS %1 ").arg(alias));
    return s;
}

// ---- date and time values ---------------------------------------------------------------------

std::optional<QDate> parseDate(const QString& text)
{
    const auto dt = parseDateTime(text);
    if (!dt)
        return std::nullopt;
    return dt->date();
}

std::optional<QTime> parseTime(const QString& text) { return parseClockText(text, kStatementTime); }

std::optional<QDateTime> parseDateTime(const QString& text)
{
    const QByteArray b = text.toUtf8();
    const qint64 k = wholeDateKey(b.constData(), b.constData() + b.size());
    if (k < 0)
        return std::nullopt;
    const qint64 day = k / 1000000000LL, ms = k % 1000000000LL;
    const QDate d(int(day / 10000), int(day / 100 % 100), int(day % 100));
    if (!d.isValid() || ms >= 24LL * 3600 * 1000)
        return std::nullopt;
    return QDateTime(d, QTime::fromMSecsSinceStartOfDay(int(ms)));
}

QString storedDate(const QDate& d) { return d.toString(QStringLiteral("MM/dd/yyyy")); }
QString storedTime(const QTime& t) { return t.isValid() ? longTimeText(t) : QString(); }
QString storedDateTime(const QDateTime& dt) { return storedDate(dt.date()) + u' ' + storedTime(dt.time()); }
QString shownDate(const QDate& d) { return d.toString(QStringLiteral("yyyy/MM/dd")); }

int compareDateTexts(const char* a, int na, const char* b, int nb)
{
    return compareKeys(wholeDateKey(a, a + na), wholeDateKey(b, b + nb), a, na, b, nb);
}

int compareTimeTexts(const char* a, int na, const char* b, int nb)
{
    return compareKeys(wholeTimeKey(a, a + na), wholeTimeKey(b, b + nb), a, na, b, nb);
}

void registerCollations(sqlite3* db)
{
    sqlite3_create_collation_v2(db, DateCollation, SQLITE_UTF8, nullptr, &dateCollate, nullptr);
    sqlite3_create_collation_v2(db, TimeCollation, SQLITE_UTF8, nullptr, &timeCollate, nullptr);
}

} // namespace platform::sql
