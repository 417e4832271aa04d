#pragma once

// The timing server's text lines: cutting received blocks into lines, and turning the time
// lines into the display board's race line.
//
// The server sends ASCII lines ended by CR LF, about one time line a second among many others:
//   $F,14,"00:12:45","13:34:23","00:09:47","Green "
// A line whose second character is "F" is a time line; its first quoted field is the running
// time HH:MM:SS, maybe followed by "." and fractions. Every other line is only shown and logged.

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <optional>

namespace console {

// Joins the blocks of a TCP stream into lines. A stream splits lines wherever it likes, so the
// unfinished end of a block waits for the next one.
class TimeServerLineBuffer {
public:
    // The most a line may hold, without its CR LF. A longer one is no line of the server's: it is
    // dropped, and so is the rest of it up to its CR LF.
    static constexpr qsizetype MaxLineBytes = 8192;

    struct Lines {
        QByteArrayList complete; // in order, without their CR LF
        int dropped = 0; // over-long lines dropped while taking this block
    };

    Lines take(const QByteArray& block);
    qsizetype pending() const { return m_pending.size(); }
    // The unfinished line the stream ended with (the connection is gone: its CR LF never comes),
    // without a CR that waited for its LF; empty when there is none or it was too long. The
    // buffer is empty afterwards.
    QByteArray takeRest();

private:
    QByteArray m_pending;
    // Inside an over-long line: everything up to the next CR LF is dropped.
    bool m_skipping = false;
};

// Cuts the next field off a time line: `rest` without a double quote is the last field (`rest`
// stays); a quote first gives an empty field and drops two characters; otherwise the field is
// the text before the first quote, commas removed, and `rest` the text after that quote.
void NextQuotedField(QString& Rest, QString& Field);

// True for a time line (its second character is "F").
bool isTimeLine(const QByteArray& line);

// The time field of a time line: the first quoted field, as the server sent it.
QString timeLineField(const QByteArray& line);

// The board's 8-character race field for a time field: fractions dropped, "00:0", "00" or "0" in
// front replaced by the letter R and blanks (00:01:23 -> "R   1:23", 00:12:34 -> "R  12:34",
// 01:23:45 -> "R1:23:45"), an empty field "       0", right-aligned. While the warm-up runs,
// `blindSeconds` is the blind time: a field showing that many seconds or fewer is blank.
// Nothing for a field that is not a clock text (digits and colons, at most eight characters).
std::optional<QString> networkBoardField(const QString& timeField, std::optional<int> blindSeconds = {});

// The board line for a received line while the network drives the race display: "8", seven
// blanks, the field, five blanks and CR. Nothing for a line that is not a time line; nothing and
// `problem` set for a time line whose time cannot be read.
std::optional<QByteArray> networkBoardLine(
    const QByteArray& line, QString* problem, std::optional<int> blindSeconds = {});

} // namespace console
