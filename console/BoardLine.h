#pragma once

// The display board's time line: "8" and seven blanks, an 8-character time field, five blanks
// and CR (22 bytes; race and over-time lines may carry a prefix in front). Built here as bytes,
// sent by the console through its board port.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace console {

class BoardPort;

enum class BoardLineKind {
    WarmUp, // remaining warm-up time, with the blind field
    Race, // remaining race time, letter "R"
    OverTime, // remaining over-time, letter "O"
    Interval, // remaining interval of automatic operation
    Clock, // time of day while no count-down runs
};

// Everything a board line depends on. Fields that a kind does not use are ignored.
struct BoardLineInput {
    BoardLineKind kind = BoardLineKind::Clock;
    // Count-down kinds: the remaining tenths (negative counts as 0). Clock: tenths since midnight.
    qint64 tenths = 0;
    // Warm-up: the blind time in tenths; a non-empty field at or below it shows blank.
    qint64 blindTenths = 0;
    // Warm-up: the blind-time setting is above 0, so a warm-up at zero shows blank rather than "0".
    bool blindSettingOn = false;
    // Race and over-time: text sent in front of the line (the settings page's prefix box).
    QString prefix;
    // The board selector is ON. Warm-up, interval and clock lines are sent only then; race and
    // over-time lines always go to the port (a closed port drops them).
    bool boardOn = false;
    // Race: the timing server drives the race line, so the count-down sends none.
    bool boardFromNetwork = false;
};

// The bytes to send for `in`, or an empty array when nothing is to be sent at this moment
// (odd tenths of a count-down, board OFF, race line taken by the network).
QByteArray BoardLine(const BoardLineInput& in);

// The 8-character time field of a line for `in`, whether or not the line would be sent now.
QString boardField(const BoardLineInput& in);

// Drops the tenths and the leading zeros and colons of a clock text: "00:05:00.0" -> "5:00",
// "00:00:00.7" -> "".
QString reduceClockText(const QString& clockText);

// The time line around an 8-character field; `prefix` goes in front as it is.
QByteArray boardTimeFrame(const QByteArray& field, const QByteArray& prefix = QByteArray());

// The line that clears the board: 22 blanks and CR.
QByteArray boardBlankLine();

// The frames of the board's settings: brightness and the test patterns. Each is 22 characters
// for the board's positions left to right and CR, but the brightness command ("K", four blanks,
// the level 1-9 and CR).
enum class BoardTestFrame {
    AllNull, // "All Null"
    All8, // "All 8"
    OneToZero, // "1 to 0"
    AllOneToZero, // "All 1 to 0"
    AToZ, // "A to Z"
    Hidden1, // the hidden "Test1"
    Hidden2, // the hidden "Test2"
    AllSegments, // every segment lit, sent after a brightness command
};
QByteArray boardFrame(BoardTestFrame frame);
// The brightness command for a level 1 to 9 (levels outside are brought within).
QByteArray boardBrightnessFrame(int level);

// Sends the line for `in` when there is one; true when something was sent.
bool sendBoardLine(BoardPort& port, const BoardLineInput& in);

} // namespace console
