#include "console/TimeServerLines.h"

#include "console/BoardLine.h"

namespace console {
namespace {

constexpr qsizetype FieldWidth = 8;
const QByteArray LineEnd = QByteArrayLiteral("\r\n");

bool isClockText(const QString& text)
{
    if (text.size() > FieldWidth)
        return false;
    for (QChar c : text)
        if (!c.isDigit() && c != QLatin1Char(':'))
            return false;
    return true;
}

// Seconds of a clock text read from the right (SS, MM:SS, HH:MM:SS); an empty text is 0.
qint64 clockSeconds(const QString& text)
{
    qint64 seconds = 0;
    for (const QString& part : text.split(QLatin1Char(':')))
        seconds = seconds * 60 + part.toLongLong();
    return seconds;
}

} // namespace

TimeServerLineBuffer::Lines TimeServerLineBuffer::take(const QByteArray& block)
{
    Lines lines;
    m_pending += block;
    qsizetype from = 0;
    // A CR at the end of the last block may meet its LF at the start of this one.
    for (qsizetype end; (end = m_pending.indexOf(LineEnd, from)) >= 0; from = end + LineEnd.size()) {
        if (m_skipping)
            m_skipping = false; // the end of a line already counted as dropped
        else if (end - from > MaxLineBytes)
            ++lines.dropped;
        else
            lines.complete << m_pending.mid(from, end - from);
    }
    m_pending.remove(0, from);
    // A closing CR waits for its LF: it is part of the line's end, not of the line.
    const qsizetype unfinished = m_pending.size() - (m_pending.endsWith('\r') ? 1 : 0);
    if (m_skipping || unfinished > MaxLineBytes) {
        if (!m_skipping)
            ++lines.dropped;
        m_skipping = true;
        // Keep a closing CR, whose LF may come next.
        m_pending = m_pending.endsWith('\r') ? QByteArray("\r") : QByteArray();
    }
    return lines;
}

QByteArray TimeServerLineBuffer::takeRest()
{
    QByteArray rest = m_skipping ? QByteArray() : std::move(m_pending);
    m_pending.clear();
    m_skipping = false;
    if (rest.endsWith('\r'))
        rest.chop(1);
    return rest;
}

void NextQuotedField(QString& Rest, QString& Field)
{
    const qsizetype quote = Rest.indexOf(QLatin1Char('"'));
    if (quote < 0) {
        Field = Rest;
    } else if (quote == 0) {
        Field.clear();
        Rest.remove(0, 2);
    } else {
        Field = Rest.left(quote).remove(QLatin1Char(','));
        Rest.remove(0, quote + 1);
    }
}

bool isTimeLine(const QByteArray& line) { return line.size() >= 2 && line[1] == 'F'; }

QString timeLineField(const QByteArray& line)
{
    // The line's head ($F,<laps to go>,) and then the first quoted field.
    QString rest = QString::fromLatin1(line);
    QString field;
    NextQuotedField(rest, field);
    NextQuotedField(rest, field);
    return field;
}

std::optional<QString> networkBoardField(const QString& timeField, std::optional<int> blindSeconds)
{
    QString field = timeField.left(timeField.indexOf(QLatin1Char('.')));
    if (!isClockText(field))
        return std::nullopt;
    if (blindSeconds && clockSeconds(field) <= *blindSeconds)
        return QString(FieldWidth, QLatin1Char(' '));
    if (field.isEmpty())
        field = QStringLiteral("       0");
    if (field.startsWith(QLatin1String("00:0")))
        field = QStringLiteral("R   ") + field.mid(4, 4);
    else if (field.startsWith(QLatin1String("00")))
        field = QStringLiteral("R  ") + field.mid(3, 5);
    else if (field.startsWith(QLatin1Char('0')))
        field = QStringLiteral("R") + field.mid(1, 7);
    return field.rightJustified(FieldWidth, QLatin1Char(' '));
}

std::optional<QByteArray> networkBoardLine(
    const QByteArray& line, QString* problem, std::optional<int> blindSeconds)
{
    if (!isTimeLine(line))
        return std::nullopt;
    const QString time = timeLineField(line);
    const std::optional<QString> field = networkBoardField(time, blindSeconds);
    if (!field) {
        if (problem)
            *problem = QStringLiteral("サーバの時刻を読めません: ") + time.left(40);
        return std::nullopt;
    }
    return boardTimeFrame(field->toLatin1());
}

} // namespace console
