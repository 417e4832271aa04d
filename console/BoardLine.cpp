#include "console/BoardLine.h"

#include "console/ConsoleDevices.h"
#include "console/Utaikai_time.h"
#include "platform/TextCodec.h"

#include <algorithm>

namespace console {
namespace {

constexpr qsizetype FieldWidth = 8;
const QString ZeroField = QStringLiteral("       0");

QString RightAlign(const QString& field) { return field.rightJustified(FieldWidth, QLatin1Char(' ')); }

// Count-down lines go out only when the tenths digit of the clock text is even, at most five
// times a second. A time past its end reads "00:00:00.0" and so counts as even.
bool EvenTenths(qint64 tenths) { return tenths < 0 || tenths % 2 == 0; }

QString WarmUpField(const BoardLineInput& in, const QString& clockText)
{
    const QString reduced = ReduceClockText(clockText);
    if (reduced.isEmpty())
        return in.blindSettingOn ? QString(FieldWidth, QLatin1Char(' ')) : ZeroField;
    if (in.tenths <= in.blindTenths)
        return RightAlign(QStringLiteral(" "));
    return RightAlign(reduced);
}

QString LetteredField(QChar letter, const QString& clockText)
{
    const QString reduced = ReduceClockText(clockText);
    if (reduced.isEmpty())
        return ZeroField;
    if (reduced.size() >= FieldWidth)
        return reduced;
    return letter + QString(FieldWidth - 1 - reduced.size(), QLatin1Char(' ')) + reduced;
}

QString PlainField(const QString& clockText)
{
    const QString reduced = ReduceClockText(clockText);
    return reduced.isEmpty() ? ZeroField : RightAlign(reduced);
}

} // namespace

QString ReduceClockText(const QString& clockText)
{
    QString t = clockText.left(clockText.indexOf(QLatin1Char('.')));
    qsizetype skip = 0;
    while (skip < t.size() && (t[skip] == QLatin1Char('0') || t[skip] == QLatin1Char(':')))
        ++skip;
    return t.mid(skip);
}

QByteArray BoardTimeFrame(const QByteArray& field, const QByteArray& prefix)
{
    // A field never widens the frame: the board reads its characters by position.
    return prefix + QByteArrayLiteral("8       ") + field.right(FieldWidth) + QByteArrayLiteral("     \r");
}

QByteArray BoardBlankLine() { return QByteArray(22, ' ') + '\r'; }

QByteArray BoardFrame(BoardTestFrame frame)
{
    switch (frame) {
    case BoardTestFrame::AllNull:
        return BoardBlankLine();
    case BoardTestFrame::All8:
        return QByteArrayLiteral("8888888888:88:88.88 88\r");
    case BoardTestFrame::OneToZero:
        return QByteArrayLiteral("0000000012:34:56.78 90\r");
    case BoardTestFrame::AllOneToZero:
        return QByteArrayLiteral("0000000000:00:00.00 00\r");
    case BoardTestFrame::AToZ:
        return QByteArrayLiteral("8ABCDEFGAB:CD:EF.GH 88\r");
    case BoardTestFrame::Hidden1:
        return QByteArrayLiteral("888     00:00:08.88 00\r");
    case BoardTestFrame::Hidden2:
        return QByteArrayLiteral("        00:00:0 .   00\r");
    case BoardTestFrame::AllSegments:
        return QByteArrayLiteral("888     88:88:88.88 88\r");
    }
    return BoardBlankLine();
}

QByteArray BoardBrightnessFrame(int level)
{
    return QByteArrayLiteral("K    ") + char('0' + std::clamp(level, 1, 9)) + '\r';
}

QString BoardField(const BoardLineInput& in)
{
    if (in.kind == BoardLineKind::Clock)
        return PlainField(SecondsToHMS(in.tenths / 10));
    const QString clockText = TenthsToHMST(in.tenths);
    switch (in.kind) {
    case BoardLineKind::WarmUp:
        return WarmUpField(in, clockText);
    case BoardLineKind::Race:
        return LetteredField(QLatin1Char('R'), clockText);
    case BoardLineKind::OverTime:
        return LetteredField(QLatin1Char('O'), clockText);
    case BoardLineKind::Interval:
    case BoardLineKind::Clock:
        break;
    }
    return PlainField(clockText);
}

QByteArray BoardLine(const BoardLineInput& in)
{
    const bool lettered = in.kind == BoardLineKind::Race || in.kind == BoardLineKind::OverTime;
    // The board selector gates every line but the count-down's race and over-time lines, which
    // go to the port whatever it says (a closed port drops them).
    if (!lettered && !in.boardOn)
        return {};
    if (in.kind == BoardLineKind::Race && in.boardFromNetwork)
        return {};
    if (in.kind != BoardLineKind::Clock && !EvenTenths(in.tenths))
        return {};
    return BoardTimeFrame(BoardField(in).toLatin1(), lettered ? platform::ToCp932(in.prefix) : QByteArray());
}

bool SendBoardLine(BoardPort& port, const BoardLineInput& in)
{
    const QByteArray line = BoardLine(in);
    if (line.isEmpty())
        return false;
    port.SendString(line);
    return true;
}

} // namespace console
