#include "console/MonitorFiles.h"

#include "console/Utaikai_time.h"
#include "platform/DataFolder.h"
#include "platform/TextCodec.h"
#include "platform/TypedText.h"

#include <QDir>
#include <QFileInfo>

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
    // A row stored before its text was checked must not put control bytes before the monitor,
    // nor split its line in two: each of its line breaks is one blank.
    QString text;
    for (const ScheduleLine& row : rows)
        text += platform::oneLineText(row.btime + QLatin1Char(',') + row.etime + QLatin1Char(',') + row.rmenu)
            + LineEnd;
    return platform::toCp932(text);
}

QByteArray rInfomemFileBytes(const QString& memo, bool shown)
{
    // The memo is stored as typed (its field is bound); the monitor gets it without NUL and the
    // other control bytes.
    return shown ? platform::toCp932(
               withCrLf(platform::withoutControlCharacters(memo, platform::TextLines::Many)) + LineEnd)
                 : QByteArray();
}

QString monitorFileFailureText(const platform::FileWriteFailure& failure)
{
    return QStringLiteral("外部モニタのファイル %1 を保存できませんでした（%2）")
        .arg(QFileInfo(failure.path).fileName(), failure.reason);
}

void MonitorFiles::tellFailure(const platform::FileWriteFailure& failure) const
{
    if (m_reporter)
        m_reporter(monitorFileFailureText(failure));
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
    // never on the tick. Its failures are known when the worker has tried.
    const bool ok = m_background.Write(m_timePath, dtimeFileBytes(clockText, letter));
    tellTimeFailures();
    return ok;
}

bool MonitorFileWriter::writeSchedule(const std::vector<ScheduleLine>& rows)
{
    return replaceNow(RInfoFileName, rInfoFileBytes(rows));
}

bool MonitorFileWriter::writeMemo(const QString& memo, bool shown)
{
    return replaceNow(RInfomemFileName, rInfomemFileBytes(memo, shown));
}

bool MonitorFileWriter::flush()
{
    const bool ok = m_background.flush(FlushWaitMs);
    tellTimeFailures();
    return ok;
}

std::vector<platform::FileWriteFailure> MonitorFileWriter::failingFiles() const
{
    std::vector<platform::FileWriteFailure> all = m_background.failures();
    for (const platform::FileWriteFailure& failure : m_news.failures())
        all.push_back(failure);
    return all;
}

bool MonitorFileWriter::replaceNow(const QString& name, const QByteArray& bytes)
{
    const QString path = filePath(name);
    const std::optional<platform::FileWriteFailure> failure = replaceFile(path, bytes);
    if (m_news.note(path, failure))
        tellFailure(*failure);
    return !failure;
}

void MonitorFileWriter::tellTimeFailures()
{
    for (const platform::FileWriteFailure& failure : m_background.takeNewFailures())
        tellFailure(failure);
}

} // namespace console
