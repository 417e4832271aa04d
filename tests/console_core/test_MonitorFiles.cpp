#include "ConsoleFakes.h"
#include "console/MonitorFiles.h"
#include "console/Utaikai_time.h"
#include "platform/DataFolder.h"
#include "platform/TextCodec.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

using namespace console;
using testing_support::readFileBytes;

namespace {

QByteArray cp932(const char* utf8) { return platform::toCp932(QString::fromUtf8(utf8)); }

TEST(MonitorFileBytes, TimeFileIsEightCharactersLetterAndCrLf)
{
    EXPECT_EQ(dtimeFileBytes(TenthsToHMST(2990), QLatin1Char('B')), QByteArray("00:04:59B\r\n"));
    EXPECT_EQ(dtimeFileBytes(TenthsToHMST(-7), QLatin1Char('R')), QByteArray("00:00:00R\r\n"));
    EXPECT_EQ(dtimeFileBytes(SecondsToHMS(180), QLatin1Char('W')), QByteArray("00:03:00W\r\n"));
    EXPECT_EQ(dtimeFileBytes(QStringLiteral("00:00:00"), QLatin1Char('T')), QByteArray("00:00:00T\r\n"));
}

TEST(MonitorFileBytes, ScheduleLinesInCp932)
{
    const std::vector<ScheduleLine> rows {
        { QStringLiteral("9:30:00"), QStringLiteral("9:45:00"), QStringLiteral("予選①ラウンド") },
        { QStringLiteral("9:45:00"), QStringLiteral("10:00:00"), QStringLiteral("決勝、A～B") },
    };
    const QByteArray expected = QByteArray("9:30:00,9:45:00,") + cp932("予選①ラウンド") + "\r\n"
        + "9:45:00,10:00:00," + cp932("決勝、A～B") + "\r\n";
    EXPECT_EQ(rInfoFileBytes(rows), expected);
    // ① and ～ are CP932 characters that plain Shift-JIS lacks: the bytes must be Windows' own.
    EXPECT_TRUE(expected.contains(QByteArray("\x87\x40")));
    EXPECT_TRUE(expected.contains(QByteArray("\x81\x60")));
    EXPECT_EQ(rInfoFileBytes({}), QByteArray());
    // Text stored before line breaks were refused keeps its item on one line.
    EXPECT_EQ(rInfoFileBytes({ { "9:00:00", "9:10:00", "a\tb\r\nc\rd\ne\n\nf" } }),
        QByteArray("9:00:00,9:10:00,a\tb c d e  f\r\n"));
}

TEST(MonitorFileBytes, MemoEndsEveryLineWithCrLf)
{
    EXPECT_EQ(rInfomemFileBytes(QStringLiteral("A"), true), QByteArray("A\r\n"));
    EXPECT_EQ(rInfomemFileBytes(QStringLiteral("お知らせ\n本日は晴天"), true),
        cp932("お知らせ") + "\r\n" + cp932("本日は晴天") + "\r\n");
    EXPECT_EQ(rInfomemFileBytes(QStringLiteral("a\r\nb"), true), QByteArray("a\r\nb\r\n"));
    EXPECT_EQ(rInfomemFileBytes(QStringLiteral("A"), false), QByteArray());
}

class MonitorFileWriterTest : public ::testing::Test {
protected:
    testing_support::TempHome home;
    MonitorFileWriter writer;
};

TEST_F(MonitorFileWriterTest, WritesIntoTheDataFolder)
{
    EXPECT_EQ(writer.filePath(DtimeFileName), platform::dataFilePath(QStringLiteral("Dtime.txt")));
    ASSERT_TRUE(writer.writeTime(TenthsToHMST(12340), QLatin1Char('B')));
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(readFileBytes(home.file(QStringLiteral("Dtime.txt"))), QByteArray("00:20:34B\r\n"));
    ASSERT_TRUE(writer.writeSchedule(
        { { QStringLiteral("9:00:00"), QStringLiteral("9:10:00"), QStringLiteral("練習走行") } }));
    EXPECT_EQ(readFileBytes(home.file(QStringLiteral("RInfo.txt"))),
        QByteArray("9:00:00,9:10:00,") + cp932("練習走行") + "\r\n");
    ASSERT_TRUE(writer.writeMemo(QStringLiteral("ピット閉鎖"), true));
    EXPECT_EQ(readFileBytes(home.file(QStringLiteral("RInfomem.txt"))), cp932("ピット閉鎖") + "\r\n");
}

TEST_F(MonitorFileWriterTest, ClosingLeavesTimeTAndEmptyScheduleAndMemo)
{
    // The time writes of the last seconds may still wait when the console closes: none of them
    // may land after the closing line.
    for (int tenths = 600; tenths > 0; tenths -= 10)
        writer.writeTime(TenthsToHMST(tenths), QLatin1Char('Y'));
    writer.writeSchedule({ { QStringLiteral("9:00:00"), QStringLiteral("9:10:00"), QStringLiteral("x") } });
    writer.writeMemo(QStringLiteral("memo"), true);
    ASSERT_TRUE(writer.writeClosed());
    EXPECT_EQ(readFileBytes(home.file(QStringLiteral("Dtime.txt"))), QByteArray("00:00:00T\r\n"));
    EXPECT_EQ(readFileBytes(home.file(QStringLiteral("RInfo.txt"))), QByteArray());
    EXPECT_EQ(readFileBytes(home.file(QStringLiteral("RInfomem.txt"))), QByteArray());
}

// The monitor may have the file open while the console rewrites it: the content it is reading
// must stay whole, and the next open must see the whole new content. A rewrite in place
// (truncate, then write) would show the reader an empty or partial file.
TEST_F(MonitorFileWriterTest, RewriteReplacesTheFileInOneStep)
{
    ASSERT_TRUE(writer.writeTime(QStringLiteral("00:05:00.0"), QLatin1Char('R')));
    ASSERT_TRUE(writer.flush());
    QFile reader(home.file(QStringLiteral("Dtime.txt")));
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));

    ASSERT_TRUE(writer.writeTime(QStringLiteral("00:04:59.0"), QLatin1Char('R')));
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(reader.readAll(), QByteArray("00:05:00R\r\n"));
    EXPECT_EQ(readFileBytes(home.file(QStringLiteral("Dtime.txt"))), QByteArray("00:04:59R\r\n"));
    // No temporary files are left beside the monitor files.
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files), QStringList { QStringLiteral("Dtime.txt") });
}

TEST_F(MonitorFileWriterTest, AFailedWriteIsReportedAndLeavesNothingBehind)
{
    MonitorFileWriter missing(home.file(QStringLiteral("no-such-folder")));
    missing.writeTime(QStringLiteral("00:00:00"), QLatin1Char('T'));
    EXPECT_FALSE(missing.flush());
    EXPECT_FALSE(missing.writeTime(QStringLiteral("00:00:00"), QLatin1Char('T'))) << "said at the next write";
    EXPECT_FALSE(missing.writeClosed());
    EXPECT_FALSE(QDir(home.file(QStringLiteral("no-such-folder"))).exists());

    // A folder in the place of the file: the old entry stays as it was.
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("RInfo.txt")));
    EXPECT_FALSE(writer.writeSchedule({}));
    EXPECT_TRUE(QFileInfo(home.file(QStringLiteral("RInfo.txt"))).isDir());
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files), QStringList());
}

// A disk that fills during a race: each monitor file keeps the content it had, and a failure
// is told once, then again only after a write of that file succeeded in between.
TEST_F(MonitorFileWriterTest, AFullDiskKeepsEachFileAndTellsItsFailureOnceUntilAWriteSucceeds)
{
    std::vector<ScheduleLine> day;
    for (int hour = 9; hour < 17; ++hour)
        day.push_back({ QStringLiteral("%1:00:00").arg(hour), QStringLiteral("%1:30:00").arg(hour),
            QStringLiteral("予選 %1 ヒート 1").arg(hour) });
    ASSERT_TRUE(writer.writeSchedule(day));
    ASSERT_TRUE(writer.writeTime(QStringLiteral("00:05:00"), QLatin1Char('B')));
    ASSERT_TRUE(writer.flush());
    const QByteArray schedule = readFileBytes(home.file(RInfoFileName));
    const QByteArray time = readFileBytes(home.file(DtimeFileName));

    const QString transcript = testing_support::inChildWithFileSizeLimit(4, [&] {
        QStringList lines;
        MonitorFileWriter files;
        // Without the system's reason, which follows the machine's language.
        files.setProblemReporter([&](const QString& text) { lines << text.section(u'（', 0, 0); });
        auto step
            = [&](const char* what, bool ok) { lines << QLatin1String(what) + (ok ? " ok" : " failed"); };
        step("schedule", files.writeSchedule(day));
        step("schedule", files.writeSchedule(day));
        files.writeTime(QStringLiteral("00:04:59"), QLatin1Char('B'));
        step("time", files.flush());
        files.writeTime(QStringLiteral("00:04:58"), QLatin1Char('B'));
        step("time", files.flush());
        lines << (readFileBytes(home.file(RInfoFileName)) == schedule ? "schedule kept" : "schedule lost");
        step("no schedule", files.writeSchedule({}));
        step("schedule", files.writeSchedule(day));
        return lines.join(u'\n');
    });
    EXPECT_EQ(transcript,
        QStringLiteral("外部モニタのファイル RInfo.txt を保存できませんでした\n"
                       "schedule failed\nschedule failed\n"
                       "外部モニタのファイル Dtime.txt を保存できませんでした\n"
                       "time failed\ntime failed\nschedule kept\nno schedule ok\n"
                       "外部モニタのファイル RInfo.txt を保存できませんでした\n"
                       "schedule failed"));
    EXPECT_EQ(readFileBytes(home.file(DtimeFileName)), time);
    EXPECT_EQ(readFileBytes(home.file(RInfoFileName)), QByteArray()) << "the empty schedule fits";
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden),
        QStringList({ DtimeFileName, RInfoFileName }));
}

// The disk behind a background writer: it keeps each write as "path=bytes", and can hang (a write
// waits until the disk is let go) or refuse (a write fails). Shared with the writer's worker,
// which may outlive the writer.
class FakeDisk {
public:
    std::optional<platform::FileWriteFailure> Write(const QString& path, const QByteArray& bytes)
    {
        std::unique_lock lock(m_mutex);
        ++m_begun;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return !m_hanging; });
        if (m_refusing)
            return platform::FileWriteFailure { path, QStringLiteral("refused") };
        m_written << path + QLatin1Char('=') + QString::fromLatin1(bytes);
        m_changed.notify_all();
        return std::nullopt;
    }
    void set(bool hanging, bool refusing)
    {
        std::lock_guard lock(m_mutex);
        m_hanging = hanging;
        m_refusing = refusing;
        m_changed.notify_all();
    }
    // Waits (bounded, in case of a fault) until `n` writes have begun or have been kept.
    bool begun(int n)
    {
        return waitFor([&] { return m_begun >= n; });
    }
    bool kept(int n)
    {
        return waitFor([&] { return m_written.size() >= n; });
    }
    QStringList written()
    {
        std::lock_guard lock(m_mutex);
        return m_written;
    }
    static BackgroundFileWriter::WriteFunction of(const std::shared_ptr<FakeDisk>& disk)
    {
        return [disk](const QString& path, const QByteArray& bytes) { return disk->Write(path, bytes); };
    }

private:
    template <class Pred> bool waitFor(Pred pred)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), pred);
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_written;
    int m_begun = 0;
    bool m_hanging = false;
    bool m_refusing = false;
};

constexpr int kLongWaitMs = 10000; // only a fault waits this long

TEST(BackgroundFileWriter, EachFileGoesForwardInOrderAndOnlyItsNewestContentWaits)
{
    const auto disk = std::make_shared<FakeDisk>();
    disk->set(true, false);
    BackgroundFileWriter writer(FakeDisk::of(disk));
    EXPECT_TRUE(writer.Write(QStringLiteral("A"), "1"));
    ASSERT_TRUE(disk->begun(1));
    // While the disk hangs in the first write, every hand-over still returns at once.
    const std::pair<const char*, const char*> later[]
        = { { "A", "2" }, { "B", "1" }, { "A", "3" }, { "B", "2" }, { "C", "1" } };
    for (const auto& [path, bytes] : later)
        EXPECT_TRUE(writer.Write(QString::fromLatin1(path), bytes));
    EXPECT_FALSE(writer.flush(0)) << "the disk hangs";
    disk->set(false, false);
    ASSERT_TRUE(writer.flush(kLongWaitMs));
    EXPECT_EQ(disk->written(), QStringList({ "A=1", "A=3", "B=2", "C=1" }));
}

TEST(BackgroundFileWriter, AFailedWriteIsSaidByFlushAndByTheFilesNextWrite)
{
    const auto disk = std::make_shared<FakeDisk>();
    disk->set(false, true);
    BackgroundFileWriter writer(FakeDisk::of(disk));
    EXPECT_TRUE(writer.Write(QStringLiteral("A"), "1")) << "not known before it ran";
    EXPECT_FALSE(writer.flush(kLongWaitMs));
    disk->set(false, false);
    EXPECT_FALSE(writer.Write(QStringLiteral("A"), "2"));
    EXPECT_TRUE(writer.Write(QStringLiteral("B"), "1")) << "another file's failure is not B's";
    EXPECT_TRUE(writer.flush(kLongWaitMs));
    EXPECT_TRUE(writer.Write(QStringLiteral("A"), "3"));
    EXPECT_TRUE(writer.flush(kLongWaitMs));
    EXPECT_EQ(disk->written(), QStringList({ "A=2", "B=1", "A=3" }));
}

TEST(BackgroundFileWriter, AWriterGoesWithoutWaitingLongerThanToldForADiskThatHangs)
{
    const auto disk = std::make_shared<FakeDisk>();
    disk->set(true, false);
    {
        BackgroundFileWriter writer(FakeDisk::of(disk), 0);
        writer.Write(QStringLiteral("A"), "1");
        ASSERT_TRUE(disk->begun(1));
        writer.Write(QStringLiteral("A"), "2");
    }
    // The worker finishes what it was given once the disk wakes, with the writer gone.
    disk->set(false, false);
    ASSERT_TRUE(disk->kept(2));
    EXPECT_EQ(disk->written(), QStringList({ "A=1", "A=2" }));
}

TEST(MonitorFiles, ClosedStateGoesThroughTheInterface)
{
    testing_support::FakeMonitorFiles files;
    EXPECT_TRUE(files.writeClosed());
    EXPECT_EQ(files.times, QStringList { QStringLiteral("00:00:00T") });
    ASSERT_EQ(files.schedules.size(), 1u);
    EXPECT_TRUE(files.schedules[0].empty());
    EXPECT_EQ(files.memos, QStringList { QString() });
    files.failing = true;
    EXPECT_FALSE(files.writeClosed());
    EXPECT_EQ(files.times.size(), 2); // a failing file does not stop the others
    EXPECT_EQ(files.memos.size(), 2);
}

} // namespace
