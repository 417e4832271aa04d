#pragma once

// The three text files that feed the external monitor program: "Dtime.txt" (the running time and
// a phase letter), "RInfo.txt" (the event's schedule) and "RInfomem.txt" (the information text).
// They are CP932 text with CR LF line ends, as the monitor reads them. Each write replaces the
// whole file in one step, so the monitor never sees an empty or half-written file.

#include <QByteArray>
#include <QChar>
#include <QString>
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
QByteArray DtimeFileBytes(const QString& clockText, QChar letter);
// "RInfo.txt": one line "btime,etime,rmenu" per row; empty without rows.
QByteArray RInfoFileBytes(const std::vector<ScheduleLine>& rows);
// "RInfomem.txt": the memo text and one line end while the information is shown; else empty.
QByteArray RInfomemFileBytes(const QString& memo, bool shown);

// Where the console writes the monitor files. Writes report false on failure; the console goes
// on either way and the monitor keeps the old content.
class MonitorFiles {
public:
    virtual ~MonitorFiles() = default;
    virtual bool WriteTime(const QString& clockText, QChar letter) = 0;
    virtual bool WriteSchedule(const std::vector<ScheduleLine>& rows) = 0;
    virtual bool WriteMemo(const QString& memo, bool shown) = 0;

    // The state the monitor is left in when the console closes: "00:00:00T", no schedule,
    // no information text. True when all three were written.
    bool WriteClosed();
};

// Writes the files into a folder (by default the data folder).
class MonitorFileWriter final : public MonitorFiles {
public:
    MonitorFileWriter();
    explicit MonitorFileWriter(QString folder);

    QString FilePath(const QString& name) const;

    bool WriteTime(const QString& clockText, QChar letter) override;
    bool WriteSchedule(const std::vector<ScheduleLine>& rows) override;
    bool WriteMemo(const QString& memo, bool shown) override;

private:
    bool Replace(const QString& name, const QByteArray& bytes) const;
    QString m_folder;
};

// The open event's schedule rows from table rmenu, by start time.
// Raises platform::DatabaseError when the select fails.
std::vector<ScheduleLine> ReadScheduleLines(platform::Database& db, const QString& eventCode);

// Rewrites "RInfo.txt" from the event's schedule. A failing select raises to the caller; a
// failing file write is ignored (returns false).
bool Writeinfo(platform::Database& db, const QString& eventCode, MonitorFiles& files);

} // namespace console
