#pragma once

// Text the operator types or pastes that goes into SQL text or into the external monitor's
// files. NUL ends SQLite's reading of a statement (it then fails with a raw "unrecognized token"),
// and the other C0 control characters (TAB, LF and CR excepted) are bytes the monitor program
// shows as garbage; none of them belongs in a title, a file name or a statement.

#include <QString>

namespace platform {

class Asker;

// True when the text holds NUL or another C0 control character other than TAB, LF and CR.
bool hasControlCharacters(const QString& text);

// The text without those characters.
QString withoutControlCharacters(const QString& text);

// The operator's message refusing text of the field named (as its label shows it).
QString controlCharacterRefusal(const QString& field);

// Refuses text with those characters before anything is written: tells the operator which
// field holds them and returns false. True when the text may be used.
bool acceptTypedText(Asker& asker, const QString& field, const QString& text);

} // namespace platform
