#pragma once

// The three text files that feed the external monitor program: "Dtime.txt" (the running time and
// a phase letter), "RInfo.txt" (the event's schedule) and "RInfomem.txt" (the information text).
// They are CP932 text with CR LF line ends, as the monitor reads them. Each write replaces the
// whole file in one step, so the monitor never sees an empty or half-written file.

#include "console/BackgroundFileWriter.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <functional>
#include <vector>

namespace platform {
class Database;
}

namespace console {

inline const QString DtimeFileName = QStringLiteral("Dtime.txt");
inline const QString RInfoFileName = QStringLiteral("RInfo.txt");
inline const QString RInfomemFileName = QStringLiteral("RInfomem.txt");

// One line of the schedule file: start time, end time (H:MM:SS) and the content text.
struct ScheduleLine {
    QString btime;
    QString etime;
    QString rmenu;
    bool operator==(const ScheduleLine&) const = default;
};

// Contents of the three files, as bytes.
// "Dtime.txt": the first eight characters of the clock text, the letter, CR LF.
QByteArray dtimeFileBytes(const QString& clockText, QChar letter);
// "RInfo.txt": one line "btime,etime,rmenu" per row; empty without rows.
QByteArray rInfoFileBytes(const std::vector<ScheduleLine>& rows);
// "RInfomem.txt": the memo text and one line end while the information is shown; else empty.
QByteArray rInfomemFileBytes(const QString& memo, bool shown);

// The console's line for a monitor file that could not be written: names the file.
QString monitorFileFailureText(const platform::FileWriteFailure& failure);

// Where the console writes the monitor files. Writes report false on failure; the console goes
// on either way and the monitor keeps the old content. A failure is also told to the problem
// reporter, on the thread that calls the writes: once per file, and again only after a write of
// that file succeeded in between.
class MonitorFiles {
public:
    using ProblemReporter = std::function<void(const QString& text)>;

    virtual ~MonitorFiles() = default;
    void setProblemReporter(ProblemReporter reporter) { m_reporter = std::move(reporter); }

    // The time file, written ten times a second at most: it may be written after the call
    // returns, and a failure is then reported by a later call (or by flush).
    virtual bool writeTime(const QString& clockText, QChar letter) = 0;
    virtual bool writeSchedule(const std::vector<ScheduleLine>& rows) = 0;
    virtual bool writeMemo(const QString& memo, bool shown) = 0;
    // Waits (bounded) until every write handed over has reached its file; true when they did
    // and none failed.
    virtual bool flush() { return true; }

    // The state the monitor is left in when the console closes: "00:00:00T", no schedule,
    // no information text, on disk when it returns, so that no earlier time write can follow
    // it. True when all three were written.
    bool writeClosed();
    // The failure of each file whose last finished write failed (it holds older content than
    // the monitor was last given), whether or not the reporter was told of it.
    virtual std::vector<platform::FileWriteFailure> failingFiles() const { return {}; }

protected:
    void tellFailure(const platform::FileWriteFailure& failure) const;

private:
    ProblemReporter m_reporter;
};

// Writes the files into a folder (by default the data folder). The time file is replaced on a
// thread of its own, so that the count-down's tick never waits for the disk; the schedule and
// the information text, written when the operator changes them, are replaced at once.
class MonitorFileWriter final : public MonitorFiles {
public:
    // How long Flush (and so closing the console) waits for a disk that does not answer.
    static constexpr int FlushWaitMs = BackgroundFileWriter::DefaultWaitMs;

    MonitorFileWriter();
    explicit MonitorFileWriter(QString folder);

    QString filePath(const QString& name) const;

    bool writeTime(const QString& clockText, QChar letter) override;
    bool writeSchedule(const std::vector<ScheduleLine>& rows) override;
    bool writeMemo(const QString& memo, bool shown) override;
    bool flush() override;
    std::vector<platform::FileWriteFailure> failingFiles() const override;

private:
    bool replaceNow(const QString& name, const QByteArray& bytes);
    void tellTimeFailures();

    QString m_folder;
    // The time file's path, made once: the count-down writes the file at its ticks.
    QString m_timePath;
    BackgroundFileWriter m_background;
    FailureNews m_news; // of the files replaced at once
};

// The open event's schedule rows from table rmenu, by start time.
// Raises platform::DatabaseError when the select fails.
std::vector<ScheduleLine> readScheduleLines(platform::Database& db, const QString& eventCode);

// Rewrites "RInfo.txt" from the event's schedule. A failing select raises to the caller; a
// failing file write is ignored (returns false).
bool Writeinfo(platform::Database& db, const QString& eventCode, MonitorFiles& files);

} // namespace console
