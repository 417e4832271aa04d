#include "BRPageSamples.h"
#include "platform/Clock.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>

using namespace page_samples;

namespace {

qint32 i32(const QByteArray& b, qsizetype at) { return qFromLittleEndian<qint32>(b.constData() + at); }

QByteArray streamBytes(TBRStream& s)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    EXPECT_TRUE(s.SaveToStream(out));
    return out.data();
}

// Record starts found by walking the bytes' chain, independently of the page list.
std::vector<qint64> recordStarts(const QByteArray& file)
{
    std::vector<qint64> starts;
    const int count = i32(file, 8);
    qint64 at = 128;
    for (int n = 1; n <= count; ++n) {
        starts.push_back(at);
        at = i32(file, at + 4);
    }
    return starts;
}

} // namespace

TEST(BRPrntrStream, ExactlyTheLimitStaysInMemoryOneByteMoreSpills)
{
    auto s = TBRStream::CreateInMemory(1000);
    const QByteArray first(1000, 'a');
    EXPECT_EQ(s->Write(first.constData(), first.size()), 1000);
    EXPECT_TRUE(s->inMemory());
    EXPECT_TRUE(s->FileName().isEmpty());
    EXPECT_EQ(s->Write("b", 1), 1);
    EXPECT_FALSE(s->inMemory());
    const QString temp = s->FileName();
    EXPECT_TRUE(QFileInfo(temp).fileName().startsWith(QLatin1String("BRP")));
    EXPECT_EQ(QFileInfo(temp).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
    EXPECT_TRUE(QFile::exists(temp));
    EXPECT_EQ(s->Position(), 1001);
    EXPECT_EQ(streamBytes(*s), first + "b");
    EXPECT_EQ(s->Position(), 1001); // saving keeps the position
    s.reset();
    EXPECT_FALSE(QFile::exists(temp));
}

TEST(BRPrntrStream, ReadWriteSeekInBothModes)
{
    for (qint32 limit : { 1 << 20, 10 }) {
        auto s = TBRStream::CreateInMemory(limit);
        s->Write("0123456789abcdef", 16);
        EXPECT_EQ(s->seek(4), 4);
        char b[4];
        EXPECT_EQ(s->Read(b, 4), 4);
        EXPECT_EQ(QByteArray(b, 4), "4567");
        EXPECT_EQ(s->seek(-2, TBRStream::Origin::End), 14);
        EXPECT_EQ(s->Read(b, 4), 2);
        EXPECT_EQ(s->Read(b, 4), 0);
        EXPECT_EQ(s->seek(-1), -1);
        s->seek(2);
        s->Write("XY", 2);
        EXPECT_EQ(s->Position(), 4);
        EXPECT_EQ(streamBytes(*s), QByteArray("01XY456789abcdef"));
    }
}

TEST(BRPrntrStream, SavesLargeStreamsWhole)
{
    auto s = TBRStream::CreateInMemory(5000);
    QByteArray data;
    for (int i = 0; i < 40000; ++i)
        data.append(static_cast<char>(i * 7));
    s->Write(data.constData(), data.size());
    EXPECT_EQ(streamBytes(*s), data);
}

TEST(BRPrntrStream, FileStreamIsReadOnlyAndMissingFileIsAnError)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("x.BRP"));
    ASSERT_TRUE(WriteFile(name, "hello"));
    auto s = TBRStream::CreateFromFile(name);
    EXPECT_TRUE(s->readOnly());
    EXPECT_EQ(s->MemoryLimit(), 0);
    EXPECT_EQ(s->Write("x", 1), -1);
    EXPECT_EQ(streamBytes(*s), "hello");
    try {
        TBRStream::CreateFromFile(dir.filePath(QStringLiteral("missing.BRP")));
        FAIL() << "no error";
    } catch (const EBRStoreError& e) {
        EXPECT_EQ(e.kind(), EBRStoreError::Kind::OpenFailed);
        EXPECT_TRUE(e.message().contains(QStringLiteral("missing.BRP")));
    }
}

class BRPrntrPageList : public ::testing::TestWithParam<bool> {
protected:
    bool compressed() const { return GetParam(); }

    // A finished store of `count` pages.
    std::unique_ptr<TBRPageList> store(int count, qint32 limit = 1 << 24)
    {
        auto list = std::make_unique<TBRPageList>();
        list->setClock(clock);
        list->setStream(TBRStream::CreateInMemory(limit));
        list->SetCompression(compressed());
        for (int n = 1; n <= count; ++n) {
            pages.push_back(pictureBytes(recordPage(n, n % 5 * 4)));
            list->AddPage(recordPage(n, n % 5 * 4));
        }
        list->Finish();
        return list;
    }

    platform::ManualClock clock { QDateTime(QDate(2024, 3, 9), QTime(9, 0)) };
    std::vector<QByteArray> pages;
    QTemporaryDir dir;
};

TEST_P(BRPrntrPageList, PagesComeBackAsTheyWent)
{
    auto list = store(6);
    EXPECT_EQ(list->PageCount(), 6);
    for (int n : { 1, 2, 3, 4, 5, 6, 3, 1 }) {
        const auto page = list->GetPage(n);
        ASSERT_TRUE(page);
        EXPECT_EQ(pictureBytes(*page), pages[static_cast<std::size_t>(n - 1)]) << n;
        EXPECT_EQ(page->boundingRect(), QRect(QPoint(0, 0), a4Pixels()));
    }
}

TEST_P(BRPrntrPageList, NoPageOutsideTheRange)
{
    auto list = store(2);
    EXPECT_EQ(list->GetPage(0), nullptr);
    EXPECT_EQ(list->GetPage(-5), nullptr);
    EXPECT_EQ(list->GetPage(3), nullptr);
    EXPECT_FALSE(list->SeekToPage(0));
    EXPECT_FALSE(list->SeekToPage(3));
    TBRPageList empty;
    EXPECT_EQ(empty.GetPage(1), nullptr);
    EXPECT_FALSE(empty.SeekToFirstPage());
}

TEST_P(BRPrntrPageList, PagesStayReadableAfterSpilling)
{
    auto list = store(30, 20000);
    EXPECT_FALSE(list->stream()->inMemory());
    const QString temp = list->stream()->FileName();
    EXPECT_TRUE(QFile::exists(temp));
    for (int n = 30; n >= 1; n -= 7)
        EXPECT_EQ(pictureBytes(*list->GetPage(n)), pages[static_cast<std::size_t>(n - 1)]);
    list.reset();
    EXPECT_FALSE(QFile::exists(temp));
}

TEST_P(BRPrntrPageList, SeeksForwardAndBackward)
{
    auto list = store(8);
    const std::vector<qint64> starts = recordStarts(streamBytes(*list->stream()));
    ASSERT_EQ(starts.size(), 8u);
    EXPECT_EQ(starts[0], 128);
    for (int n : { 1, 5, 8, 2, 7, 1, 8, 3 }) {
        ASSERT_TRUE(list->SeekToPage(n));
        EXPECT_EQ(list->stream()->Position(), starts[static_cast<std::size_t>(n - 1)]) << n;
    }
    list->SeekToLastPage();
    EXPECT_EQ(list->stream()->Position(), starts[7]);
    list->SeekToFirstPage();
    EXPECT_EQ(list->stream()->Position(), 128);
    // Getting a page leaves the stream at the next record.
    list->GetPage(4);
    EXPECT_EQ(list->stream()->Position(), starts[4]);
    // The last four bytes are the last record's start.
    const QByteArray bytes = streamBytes(*list->stream());
    EXPECT_EQ(i32(bytes, bytes.size() - 4), starts[7]);
}

TEST_P(BRPrntrPageList, HeaderLayout)
{
    auto list = store(3);
    const QByteArray b = streamBytes(*list->stream());
    EXPECT_EQ(qFromLittleEndian<quint16>(b.constData()), 3);
    EXPECT_EQ(qFromLittleEndian<quint16>(b.constData() + 2), 40);
    EXPECT_EQ(i32(b, 8), 3);
    EXPECT_EQ(b[25], compressed() ? 1 : 0);
    // 9 March 2024 09:00 is day 45360 after 30 December 1899, plus 3/8 of a day.
    EXPECT_DOUBLE_EQ(qFromLittleEndian<double>(b.constData() + 16), 45360.375);
    EXPECT_DOUBLE_EQ(list->Header().dateTime, 45360.375);
    for (int i : { 4, 5, 6, 7, 12, 13, 14, 15, 24 })
        EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(b.mid(26, 102), QByteArray(102, '\0'));
    EXPECT_EQ(i32(b, 128), 1);
}

TEST_P(BRPrntrPageList, SaveAndLoadAreByteIdentical)
{
    auto list = store(5);
    const QString a = dir.filePath(QStringLiteral("a.BRP"));
    const QString b = dir.filePath(QStringLiteral("b.BRP"));
    list->SaveToFile(a);
    EXPECT_EQ(ReadFile(a), streamBytes(*list->stream()));

    TBRPageList loaded;
    loaded.LoadFromFile(a);
    EXPECT_EQ(loaded.PageCount(), 5);
    EXPECT_EQ(loaded.Compression(), compressed());
    EXPECT_TRUE(loaded.stream()->readOnly());
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(pictureBytes(*loaded.GetPage(n)), pages[static_cast<std::size_t>(n - 1)]);
    loaded.SaveToFile(b);
    EXPECT_EQ(ReadFile(a), ReadFile(b));
}

TEST_P(BRPrntrPageList, CancelledStoreSavesExactlyItsPages)
{
    auto list = std::make_unique<TBRPageList>();
    list->SetCompression(compressed());
    for (int n = 1; n <= 3; ++n)
        list->AddPage(recordPage(n, 2));
    // Never finished: the header in the stream still counts the first page only.
    EXPECT_FALSE(list->finished());
    EXPECT_EQ(i32(streamBytes(*list->stream()), 8), 1);
    const QString name = dir.filePath(QStringLiteral("cancelled.BRP"));
    list->SaveToFile(name);
    EXPECT_EQ(i32(ReadFile(name), 8), 3);
    TBRPageList loaded;
    loaded.LoadFromFile(name);
    EXPECT_EQ(loaded.PageCount(), 3);
    EXPECT_TRUE(loaded.GetPage(3));
}

TEST_P(BRPrntrPageList, EmptyStoreSavesAHeaderOnly)
{
    TBRPageList list;
    list.SetCompression(compressed());
    const QString name = dir.filePath(QStringLiteral("empty.BRP"));
    list.SaveToFile(name);
    EXPECT_EQ(ReadFile(name).size(), 128);
    TBRPageList loaded;
    loaded.LoadFromFile(name);
    EXPECT_EQ(loaded.PageCount(), 0);
    EXPECT_EQ(loaded.GetPage(1), nullptr);
}

TEST_P(BRPrntrPageList, HeaderIsDatedWhenThePagesAreFinished)
{
    const auto dateAt = [](const QByteArray& b) { return qFromLittleEndian<double>(b.constData() + 16); };
    // 15:00 on 9 March 2024, the first page having come at 9:00.
    const QDateTime afternoon(QDate(2024, 3, 9), QTime(15, 0));
    TBRPageList list;
    list.setClock(clock);
    list.SetCompression(compressed());
    list.AddPage(recordPage(1));
    clock.setNow(afternoon);
    list.Finish();
    EXPECT_DOUBLE_EQ(dateAt(streamBytes(*list.stream())), 45360.625);
    EXPECT_EQ(brDateTimeFromDays(list.Header().dateTime), afternoon);

    // A store without pages is dated too, never 30 December 1899; so is one saved unfinished.
    TBRPageList empty;
    empty.setClock(clock);
    empty.Finish();
    EXPECT_DOUBLE_EQ(empty.Header().dateTime, 45360.625);
    TBRPageList unfinished;
    unfinished.setClock(clock);
    const QString name = dir.filePath(QStringLiteral("unfinished.BRP"));
    unfinished.SaveToFile(name);
    EXPECT_DOUBLE_EQ(dateAt(ReadFile(name)), 45360.625);

    // Saving a finished or loaded store keeps its date.
    clock.setNow(QDateTime(QDate(2024, 3, 10), QTime(8, 0)));
    list.SaveToFile(name);
    TBRPageList loaded;
    loaded.LoadFromFile(name);
    loaded.SaveToFile(name);
    EXPECT_DOUBLE_EQ(dateAt(ReadFile(name)), 45360.625);
}

TEST_P(BRPrntrPageList, ClearStartsAfresh)
{
    auto list = store(4);
    list->Clear();
    EXPECT_EQ(list->PageCount(), 0);
    EXPECT_EQ(list->GetPage(1), nullptr);
    list->AddPage(recordPage(9));
    list->Finish();
    EXPECT_EQ(pictureBytes(*list->GetPage(1)), pictureBytes(recordPage(9)));
    const QString name = dir.filePath(QStringLiteral("again.BRP"));
    list->SaveToFile(name);
    TBRPageList loaded;
    loaded.LoadFromFile(name);
    EXPECT_EQ(loaded.PageCount(), 1);
}

TEST_P(BRPrntrPageList, FailedLoadKeepsTheCurrentPages)
{
    auto list = store(2);
    const QString bad = dir.filePath(QStringLiteral("bad.BRP"));
    ASSERT_TRUE(WriteFile(bad, QByteArray(300, 'z')));
    EXPECT_THROW(list->LoadFromFile(bad), EBRStoreError);
    EXPECT_THROW(list->LoadFromFile(dir.filePath(QStringLiteral("none.BRP"))), EBRStoreError);
    EXPECT_EQ(list->PageCount(), 2);
    EXPECT_EQ(pictureBytes(*list->GetPage(2)), pages[1]);
}

TEST_P(BRPrntrPageList, SavingToAnUnwritablePlaceIsAnError)
{
    auto list = store(1);
    try {
        list->SaveToFile(dir.filePath(QStringLiteral("no/such/folder/x.BRP")));
        FAIL() << "no error";
    } catch (const EBRStoreError& e) {
        EXPECT_EQ(e.kind(), EBRStoreError::Kind::WriteFailed);
    }
}

TEST_P(BRPrntrPageList, SavingAStoredFileCutShortSinceLoadingIsAnError)
{
    const QString original = dir.filePath(QStringLiteral("a.BRP"));
    const QString copy = dir.filePath(QStringLiteral("b.BRP"));
    store(3)->SaveToFile(original);
    TBRPageList loaded;
    loaded.LoadFromFile(original);
    // Another program cuts the file while it is shown: saving must not write a shorter copy.
    ASSERT_TRUE(QFile::resize(original, QFileInfo(original).size() - 10));
    try {
        loaded.SaveToFile(copy);
        FAIL() << "no error";
    } catch (const EBRStoreError& e) {
        EXPECT_EQ(e.kind(), EBRStoreError::Kind::WriteFailed);
    }
    EXPECT_FALSE(QFile::exists(copy));
}

INSTANTIATE_TEST_SUITE_P(Compression, BRPrntrPageList, ::testing::Bool(),
    [](const auto& info) { return info.param ? "Compressed" : "Plain"; });

TEST(BRPrntrDate, DaysSinceTheEndOf1899)
{
    EXPECT_DOUBLE_EQ(brDaysFromDateTime(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_DOUBLE_EQ(brDaysFromDateTime(QDateTime(QDate(1900, 1, 1), QTime(12, 0))), 2.5);
    const QDateTime t(QDate(2024, 3, 9), QTime(18, 30, 15));
    EXPECT_EQ(brDateTimeFromDays(brDaysFromDateTime(t)), t);
    // A damaged header's date is no date, never a trap.
    for (double bad : { std::nan(""), HUGE_VAL, -HUGE_VAL, 1.0e300, -1.0e300 })
        EXPECT_FALSE(brDateTimeFromDays(bad).isValid()) << bad;
}

TEST(BRPrntrPaperGuess, StoredPageSizeGivesTheCommonPaper)
{
    // A Letter page and a landscape A4 page, as the printer records them.
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("sizes.BRP"));
    {
        TBRPageList list;
        for (QSize size : { QSize(816, 1056), QSize(1123, 794) }) {
            QPicture pic;
            pic.setBoundingRect(QRect(QPoint(0, 0), size));
            QPainter p(&pic);
            p.drawRect(10, 10, 100, 100);
            p.end();
            list.AddPage(pic);
        }
        list.Finish();
        list.SaveToFile(name);
    }
    TBRPageList loaded;
    loaded.LoadFromFile(name);
    const QSize letter = loaded.GetPage(1)->boundingRect().size();
    const QSize a4 = loaded.GetPage(2)->boundingRect().size();
    EXPECT_EQ(brPaperCandidates(letter.width(), letter.height(), BRPageDotsPerInch).front(),
        (TBRPaperGuess { TBRPaperSize::Letter, TPrinterOrientation::poPortrait }));
    EXPECT_EQ(brPaperCandidates(a4.width(), a4.height(), BRPageDotsPerInch).front(),
        (TBRPaperGuess { TBRPaperSize::A4, TPrinterOrientation::poLandscape }));
}
