#pragma once

// Text the operator types or pastes that goes into SQL text or into the external monitor's
// files. NUL ends SQLite's reading of a statement (it then fails with a raw "unrecognized token"),
// and the other C0 control characters (TAB excepted) are bytes the monitor program shows as
// garbage; none of them belongs in a title, a file name or a statement. A line break belongs
// only in a text of several lines (the memo, a statement): in a one-line text (a schedule
// item, a title) it splits the monitor's line of that item in two.

#include <QString>

namespace platform {

class Asker;

// Whether line breaks (CR, LF) belong in the text.
enum class TextLines { One, Many };

// True when the text holds NUL or another C0 control character other than TAB, or, in a
// one-line text, CR or LF.
bool hasControlCharacters(const QString& text, TextLines lines = TextLines::One);

// The text without those characters.
QString withoutControlCharacters(const QString& text, TextLines lines = TextLines::One);

// A stored text shown or printed on one line (a schedule item on the monitor, on the page, on
// the console): each CR LF, lone CR and lone LF one blank, the other refused characters left
// out. A text stored with line breaks (by an older program) keeps every word.
QString oneLineText(const QString& text);

// The operator's message refusing text of the field named (as its label shows it).
QString controlCharacterRefusal(const QString& field);

// Refuses text with those characters before anything is written: tells the operator which
// field holds them and returns false. True when the text may be used.
bool acceptTypedText(
    Asker& asker, const QString& field, const QString& text, TextLines lines = TextLines::One);

} // namespace platform
