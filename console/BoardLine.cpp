#include "console/BoardLine.h"

#include "console/ConsoleDevices.h"
#include "console/Utaikai_time.h"
#include "platform/TextCodec.h"

#include <algorithm>

namespace console {
namespace {

constexpr qsizetype FieldWidth = 8;
const QString ZeroField = QStringLiteral("       0");

QString rightAlign(const QString& field) { return field.rightJustified(FieldWidth, QLatin1Char(' ')); }

// Count-down lines go out only when the tenths digit of the clock text is even, at most five
// times a second. A time past its end reads "00:00:00.0" and so counts as even.
bool evenTenths(qint64 tenths) { return tenths < 0 || tenths % 2 == 0; }

QString warmUpField(const BoardLineInput& in, const QString& clockText)
{
    const QString reduced = reduceClockText(clockText);
    if (reduced.isEmpty())
        return in.blindSettingOn ? QString(FieldWidth, QLatin1Char(' ')) : ZeroField;
    if (in.tenths <= in.blindTenths)
        return rightAlign(QStringLiteral(" "));
    return rightAlign(reduced);
}

QString letteredField(QChar letter, const QString& clockText)
{
    const QString reduced = reduceClockText(clockText);
    if (reduced.isEmpty())
        return ZeroField;
    if (reduced.size() >= FieldWidth)
        return reduced;
    return letter + QString(FieldWidth - 1 - reduced.size(), QLatin1Char(' ')) + reduced;
}

QString plainField(const QString& clockText)
{
    const QString reduced = reduceClockText(clockText);
    return reduced.isEmpty() ? ZeroField : rightAlign(reduced);
}

} // namespace

QString reduceClockText(const QString& clockText)
{
    QString t = clockText.left(clockText.indexOf(QLatin1Char('.')));
    qsizetype skip = 0;
    while (skip < t.size() && (t[skip] == QLatin1Char('0') || t[skip] == QLatin1Char(':')))
        ++skip;
    return t.mid(skip);
}

QByteArray boardTimeFrame(const QByteArray& field, const QByteArray& prefix)
{
    // A field never widens the frame: the board reads its characters by position.
    return prefix + QByteArrayLiteral("8       ") + field.right(FieldWidth) + QByteArrayLiteral("     \r");
}

QByteArray boardBlankLine() { return QByteArray(22, ' ') + '\r'; }

QByteArray boardFrame(BoardTestFrame frame)
{
    switch (frame) {
    case BoardTestFrame::AllNull:
        return boardBlankLine();
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
    return boardBlankLine();
}

QByteArray boardBrightnessFrame(int level)
{
    return QByteArrayLiteral("K    ") + char('0' + std::clamp(level, 1, 9)) + '\r';
}

QString boardField(const BoardLineInput& in)
{
    if (in.kind == BoardLineKind::Clock)
        return plainField(SecondsToHMS(in.tenths / 10));
    const QString clockText = TenthsToHMST(in.tenths);
    switch (in.kind) {
    case BoardLineKind::WarmUp:
        return warmUpField(in, clockText);
    case BoardLineKind::Race:
        return letteredField(QLatin1Char('R'), clockText);
    case BoardLineKind::OverTime:
        return letteredField(QLatin1Char('O'), clockText);
    case BoardLineKind::Interval:
    case BoardLineKind::Clock:
        break;
    }
    return plainField(clockText);
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
    if (in.kind != BoardLineKind::Clock && !evenTenths(in.tenths))
        return {};
    return boardTimeFrame(boardField(in).toLatin1(), lettered ? platform::toCp932(in.prefix) : QByteArray());
}

bool sendBoardLine(BoardPort& port, const BoardLineInput& in)
{
    const QByteArray line = BoardLine(in);
    if (line.isEmpty())
        return false;
    port.SendString(line);
    return true;
}

} // namespace console
