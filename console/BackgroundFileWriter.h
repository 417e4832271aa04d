#pragma once

// Replaces whole files on a thread of its own, so that whoever hands a file over (the count-down
// tick, once a second) never waits for the disk.
//
//   BackgroundFileWriter writer;
//   writer.Write(path, bytes);      // returns at once
//   writer.flush(2000);             // waits until all that was handed over is on disk
//
// Per file only the newest content waits: content handed over while an older one of the same file
// still waits takes its place, so a slow disk never builds a backlog and a file never goes back
// to older content. A file's writes reach it in the order they were handed over. The worker
// starts with the first write; destroying the writer waits (bounded) for what is still waiting.

#include "platform/WholeFile.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace console {

// Replaces the file at `path` with `bytes` in one step (a temporary file renamed over it), so
// that a reader sees the old content or the new, never a truncated file. The failure on
// failure; the old content then stays.
std::optional<platform::FileWriteFailure> replaceFile(const QString& path, const QByteArray& bytes);

// Which failed writes of a file are news for the operator: the first, and then the first after
// a write of that file succeeded. A file that fails at every write is said once, not at every
// write. Also keeps which files were left by their last write with their old content.
class FailureNews {
public:
    // Notes how a write of `path` ended (its failure, or none); true when it failed and that is
    // news.
    bool note(const QString& path, const std::optional<platform::FileWriteFailure>& failure);
    // Whether the last write of `path` failed.
    bool failing(const QString& path) const { return m_failing.contains(path); }
    // The failure of each file whose last write failed, by path: news or not.
    std::vector<platform::FileWriteFailure> failures() const;

private:
    std::map<QString, platform::FileWriteFailure> m_failing;
};

class BackgroundFileWriter {
public:
    // How a file is written; replaceFile unless a caller (a test) gives another.
    using WriteFunction = std::function<std::optional<platform::FileWriteFailure>(
        const QString& path, const QByteArray& bytes)>;

    // How long the destructor waits for the writes still waiting, by default.
    static constexpr int DefaultWaitMs = 2000;

    explicit BackgroundFileWriter(WriteFunction write = replaceFile, int endWaitMs = DefaultWaitMs);
    ~BackgroundFileWriter();
    BackgroundFileWriter(const BackgroundFileWriter&) = delete;
    BackgroundFileWriter& operator=(const BackgroundFileWriter&) = delete;

    // Hands the content over and returns at once. False when the last write of this file that
    // has finished failed (the failure of a write is known only after it ran).
    bool Write(const QString& path, const QByteArray& bytes);
    // Waits at most `timeoutMs` until every write handed over so far has run. True when they all
    // ran in time and the last write of each file succeeded; false otherwise (a disk that hangs
    // leaves the writes waiting, and they still run when it wakes).
    bool flush(int timeoutMs);
    // The failures that are news (FailureNews) since the last call, in the order they happened.
    std::vector<platform::FileWriteFailure> takeNewFailures();
    // The failure of each file whose last finished write failed, by path.
    std::vector<platform::FileWriteFailure> failures() const;

private:
    struct State;
    // Shared with the worker: a worker stuck in a write outlives the writer without harm.
    std::shared_ptr<State> m_state;
};

} // namespace console
