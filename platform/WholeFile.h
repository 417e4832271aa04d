#pragma once

// Files the program replaces whole: the settings file, the external monitor's files, a stored
// report. The new content goes to a temporary file beside the old one and takes its place only
// when every write, an explicit flush and the commit succeeded; on any failure the temporary
// file is removed and the old file keeps every byte.
//
// QSaveFile alone does not do this on a full disk: write() only fills Qt's buffer and reports
// the bytes as written, and commit() writes the buffer out without looking at the result, so
// it can put a cut or empty file in place of a good one. The flush before the commit is what
// finds the failure.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

class QFileDevice;
class QIODevice;

namespace platform {

// A whole-file write that did not happen: the file keeps the content it had.
struct FileWriteFailure {
    QString path;
    // What the system said, or a plain description of the step that failed when it said
    // nothing useful ("Unknown error").
    QString reason;

    // For the operator: names the file and says that it was not saved.
    QString text() const;
    bool operator==(const FileWriteFailure&) const = default;
};

// Writes the file at `path` whole with what `fill` writes into the device it is handed;
// `fill` returns false when one of its own writes failed. Nothing when the file was replaced.
std::optional<FileWriteFailure> writeWholeFile(
    const QString& path, const std::function<bool(QIODevice&)>& fill);
std::optional<FileWriteFailure> writeWholeFile(const QString& path, const QByteArray& bytes);

// Writes `bytes` to a file open for writing (a log kept line by line, not replaced whole) and
// flushes them to the system. Nothing when they all went; else the reason, found as for a
// FileWriteFailure.
std::optional<QString> writeFlushed(QFileDevice& file, const QByteArray& bytes);

} // namespace platform
