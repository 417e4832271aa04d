#include "BRPageSamples.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <chrono>
#include <gtest/gtest.h>
#include <random>

using namespace page_samples;
using Kind = EBRStoreError::Kind;

namespace {

void putI32(QByteArray& b, qsizetype at, qint32 v) { qToLittleEndian<qint32>(v, b.data() + at); }

qint32 i32(const QByteArray& b, qsizetype at) { return qFromLittleEndian<qint32>(b.constData() + at); }

// The bytes of a Windows metafile header record: type 1, size, bounds, then " EMF" at 40.
QByteArray metafileBytes()
{
    QByteArray emf(108, '\0');
    putI32(emf, 0, 1);
    putI32(emf, 4, 108);
    emf.replace(40, 4, " EMF");
    putI32(emf, 44, 0x10000);
    return emf;
}

// A file of the program this one replaces: `headerSize` bytes of header and one uncompressed
// metafile page.
QByteArray oldFile(int headerSize, double date)
{
    QByteArray f(headerSize, '\0');
    qToLittleEndian<quint16>(3, f.data());
    putI32(f, 8, 1);
    if (headerSize == 124) {
        qToLittleEndian<double>(date, f.data() + 12);
        f[21] = 0;
    }
    const QByteArray emf = metafileBytes();
    const qint32 start = headerSize;
    const qint32 end = start + 12 + static_cast<qint32>(emf.size());
    QByteArray rec(8, '\0');
    putI32(rec, 0, 1);
    putI32(rec, 4, end);
    rec += emf;
    rec += QByteArray(4, '\0');
    putI32(rec, rec.size() - 4, start);
    return f + rec;
}

class Damage : public ::testing::TestWithParam<bool> {
protected:
    QByteArray goodFile(int pages = 3)
    {
        TBRPageList list;
        list.SetCompression(GetParam());
        for (int n = 1; n <= pages; ++n)
            list.AddPage(recordPage(n, 3));
        list.Finish();
        list.SaveToFile(path);
        return ReadFile(path);
    }

    // Loads the bytes and reads every page; returns the kind of the error raised, if any.
    std::optional<Kind> loadAll(const QByteArray& bytes)
    {
        EXPECT_TRUE(WriteFile(path, bytes));
        try {
            TBRPageList list;
            list.LoadFromFile(path);
            for (int n = 1; n <= list.PageCount(); ++n)
                list.GetPage(n);
        } catch (const EBRStoreError& e) {
            EXPECT_FALSE(e.message().isEmpty());
            return e.kind();
        }
        return std::nullopt;
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("t.BRP"));
};

} // namespace

TEST_P(Damage, EveryTruncationIsRejected)
{
    const QByteArray good = goodFile(2);
    ASSERT_FALSE(loadAll(good));
    // Every length that cuts into the header or a record; step 7 keeps the loop short.
    for (qsizetype len = 0; len < good.size(); len += (len < 300 ? 1 : 7)) {
        const auto kind = loadAll(good.left(len));
        ASSERT_TRUE(kind) << "length " << len;
        EXPECT_EQ(*kind, Kind::Damaged) << "length " << len;
    }
}

TEST_P(Damage, LoopingAndBackwardRecordsAreRejected)
{
    QByteArray f = goodFile(3);
    const qint32 second = i32(f, 128 + 4);
    const qint32 third = i32(f, second + 4);

    QByteArray self = f;
    putI32(self, second + 4, second); // the second record points at itself
    EXPECT_EQ(loadAll(self), Kind::Damaged);

    QByteArray back = f;
    putI32(back, second + 4, 128); // and back to the first
    EXPECT_EQ(loadAll(back), Kind::Damaged);

    QByteArray beyond = f;
    putI32(beyond, third + 4, f.size() + 100);
    EXPECT_EQ(loadAll(beyond), Kind::Damaged);

    QByteArray number = f;
    putI32(number, second, 7);
    EXPECT_EQ(loadAll(number), Kind::Damaged);

    QByteArray start = f;
    putI32(start, third - 4, 0);
    EXPECT_EQ(loadAll(start), Kind::Damaged);
}

TEST_P(Damage, ImpossibleCountsAndLengthsAreRejected)
{
    const QByteArray f = goodFile(2);
    for (qint32 count : { -1, 3, 1000, 0x7FFFFFFF }) {
        QByteArray c = f;
        putI32(c, 8, count);
        EXPECT_EQ(loadAll(c), Kind::Damaged) << count;
    }
    if (GetParam()) {
        for (qint32 length : { -1, 0x7FFFFFFF, 0x10000000 }) {
            QByteArray c = f;
            putI32(c, 128 + 8, length);
            EXPECT_EQ(loadAll(c), Kind::Damaged) << length;
        }
    }
}

TEST_P(Damage, RandomMutationsNeverEscape)
{
    const QByteArray good = goodFile(3);
    std::mt19937 rng(GetParam() ? 2024 : 1999);
    // QPicture warns about bad checksums; keep the log readable.
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const auto started = std::chrono::steady_clock::now();
    int rejected = 0;
    for (int i = 0; i < 400; ++i) {
        QByteArray bad = good;
        const int changes = 1 + static_cast<int>(rng() % 4);
        for (int c = 0; c < changes; ++c)
            bad[static_cast<qsizetype>(rng() % static_cast<unsigned>(bad.size()))] = static_cast<char>(rng());
        if (rng() % 5 == 0)
            bad.truncate(static_cast<qsizetype>(rng() % static_cast<unsigned>(bad.size())));
        if (loadAll(bad))
            ++rejected;
    }
    qInstallMessageHandler(previous);
    EXPECT_GT(rejected, 100);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
}

TEST(BRPrntrDamage, ShortCodeInsideASoundRecordIsReported)
{
    TBRPageList list;
    list.SetCompression(true);
    list.AddPage(recordPage(1, 3));
    list.Finish();
    // Claim more bytes than the code holds, within what the code could hold at best.
    TBRStream& s = *list.stream();
    s.seek(128 + 8);
    char b[4];
    s.Read(b, 4);
    const qint32 length = qFromLittleEndian<qint32>(b) + 500;
    qToLittleEndian<qint32>(length, b);
    s.seek(128 + 8);
    s.Write(b, 4);
    try {
        list.GetPage(1);
        FAIL() << "no error";
    } catch (const EBRStoreError& e) {
        EXPECT_EQ(e.kind(), Kind::Damaged);
        EXPECT_TRUE(e.message().contains(QStringLiteral("途中で切れています"))) << e.what();
    }
    // The list stays usable.
    EXPECT_EQ(list.PageCount(), 1);
    EXPECT_EQ(list.GetPage(2), nullptr);
}

TEST_P(Damage, MetafilePagesAreRefusedClearly)
{
    TBRPageList list;
    list.SetCompression(GetParam());
    list.addPageData(metafileBytes());
    list.Finish();
    list.SaveToFile(path);
    EXPECT_EQ(loadAll(ReadFile(path)), Kind::ForeignPages);
}

TEST_P(Damage, OtherPayloadsAreDamage)
{
    TBRPageList list;
    list.SetCompression(GetParam());
    list.addPageData("not a picture at all");
    list.Finish();
    list.SaveToFile(path);
    EXPECT_EQ(loadAll(ReadFile(path)), Kind::Damaged);
}

INSTANTIATE_TEST_SUITE_P(Compression, Damage, ::testing::Bool(),
    [](const auto& info) { return info.param ? "Compressed" : "Plain"; });

TEST(BRPrntrOldHeaders, HeaderSizeIsToldByTheMetafileSignature)
{
    for (int size : { 124, 96 }) {
        const QByteArray f = oldFile(size, 40000.5);
        auto s = TBRStream::CreateInMemory();
        s->Write(f.constData(), f.size());
        s->seek(17);
        EXPECT_EQ(ReportFileHeaderSize(*s), size);
        EXPECT_EQ(s->Position(), 17);
    }
    // Our own files, compressed or not, have the 128-byte header.
    for (bool compressed : { false, true }) {
        TBRPageList list;
        list.SetCompression(compressed);
        list.AddPage(recordPage(1));
        EXPECT_EQ(ReportFileHeaderSize(*list.stream()), 128);
    }
    auto empty = TBRStream::CreateInMemory();
    EXPECT_EQ(ReportFileHeaderSize(*empty), 128);
}

TEST(BRPrntrOldHeaders, OlderHeadersAreReadAndTheirPagesRefused)
{
    {
        TBRPageList list;
        auto s = TBRStream::CreateInMemory();
        const QByteArray f = oldFile(124, 40000.5);
        s->Write(f.constData(), f.size());
        list.setStream(std::move(s));
        list.ReadHeader();
        EXPECT_EQ(list.PageCount(), 1);
        EXPECT_FALSE(list.Compression());
        EXPECT_DOUBLE_EQ(list.Header().dateTime, 40000.5);
        EXPECT_EQ(list.getPageData(1), metafileBytes());
        EXPECT_THROW(list.GetPage(1), EBRStoreError);
    }
    {
        TBRPageList list;
        auto s = TBRStream::CreateInMemory();
        const QByteArray f = oldFile(96, 0);
        s->Write(f.constData(), f.size());
        list.setStream(std::move(s));
        list.ReadHeader();
        EXPECT_EQ(list.PageCount(), 1);
        EXPECT_EQ(list.Header().dateTime, 0.0);
        EXPECT_EQ(list.getPageData(1), metafileBytes());
    }
    QTemporaryDir dir;
    for (int size : { 124, 96 }) {
        const QString name = dir.filePath(QStringLiteral("old%1.BRP").arg(size));
        ASSERT_TRUE(WriteFile(name, oldFile(size, 40000.5)));
        TBRPageList list;
        try {
            list.LoadFromFile(name);
            FAIL() << "loaded";
        } catch (const EBRStoreError& e) {
            EXPECT_EQ(e.kind(), Kind::ForeignPages) << size;
            EXPECT_TRUE(e.message().contains(QStringLiteral("メタファイル")));
        }
    }
}
