#include "console/MonitorFiles.h"

#include "console/Utaikai_time.h"
#include "platform/DataFolder.h"
#include "platform/TextCodec.h"
#include "platform/TypedText.h"

#include <QDir>

namespace console {
namespace {

const QString LineEnd = QStringLiteral("\r\n");

// Every line of `text` ended by CR LF, whatever line ends it came with.
QString withCrLf(QString text)
{
    text.replace(LineEnd, QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), LineEnd);
    return text;
}

} // namespace

QByteArray dtimeFileBytes(const QString& clockText, QChar letter)
{
    return platform::toCp932(clockText.left(8) + letter + LineEnd);
}

QByteArray rInfoFileBytes(const std::vector<ScheduleLine>& rows)
{
    QString text;
    for (const ScheduleLine& row : rows)
        text += row.btime + QLatin1Char(',') + row.etime + QLatin1Char(',') + row.rmenu + LineEnd;
    // A row stored before its text was checked must not put control bytes before the monitor.
    return platform::toCp932(platform::withoutControlCharacters(text));
}

QByteArray rInfomemFileBytes(const QString& memo, bool shown)
{
    // The memo is stored as typed (its field is bound); the monitor gets it without NUL and the
    // other control bytes.
    return shown ? platform::toCp932(withCrLf(platform::withoutControlCharacters(memo)) + LineEnd)
                 : QByteArray();
}

bool MonitorFiles::writeClosed()
{
    const bool time = writeTime(QStringLiteral("00:00:00"), QLatin1Char('T'));
    const bool schedule = writeSchedule({});
    const bool memo = writeMemo(QString(), false);
    const bool written = flush();
    return time && schedule && memo && written;
}

MonitorFileWriter::MonitorFileWriter()
    : MonitorFileWriter(platform::dataFolder())
{
}

MonitorFileWriter::MonitorFileWriter(QString folder)
    : m_folder(std::move(folder))
    , m_timePath(filePath(DtimeFileName))
{
}

QString MonitorFileWriter::filePath(const QString& name) const { return QDir(m_folder).filePath(name); }

bool MonitorFileWriter::writeTime(const QString& clockText, QChar letter)
{
    // Replacing a file waits for the disk to have it (tens of milliseconds on a busy machine):
    // never on the tick.
    return m_background.Write(m_timePath, dtimeFileBytes(clockText, letter));
}

bool MonitorFileWriter::writeSchedule(const std::vector<ScheduleLine>& rows)
{
    return replaceFile(filePath(RInfoFileName), rInfoFileBytes(rows));
}

bool MonitorFileWriter::writeMemo(const QString& memo, bool shown)
{
    return replaceFile(filePath(RInfomemFileName), rInfomemFileBytes(memo, shown));
}

bool MonitorFileWriter::flush() { return m_background.flush(FlushWaitMs); }

} // namespace console
