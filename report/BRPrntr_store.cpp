#include "platform/WholeFile.h"
#include "report/BRPrntr.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPicture>
#include <QTemporaryFile>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using Kind = EBRStoreError::Kind;

// ---------------------------------------------------------------------------------------------
// Errors
// ---------------------------------------------------------------------------------------------

EBRError::EBRError(const QString& message)
    : m_message(message)
    , m_utf8(message.toUtf8())
{
}

// ---------------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------------

namespace {

QString Native(const QString& fileName) { return QDir::toNativeSeparators(fileName); }

[[noreturn]] void damaged(const QString& detail)
{
    throw EBRStoreError(
        Kind::Damaged, QStringLiteral("保存レポートのデータが壊れています（%1）。").arg(detail));
}

[[noreturn]] void writeFailed()
{
    throw EBRStoreError(
        Kind::WriteFailed, QStringLiteral("ページを書き込めません。ディスクの空きを確認してください。"));
}

[[noreturn]] void foreignPages()
{
    throw EBRStoreError(Kind::ForeignPages,
        QStringLiteral("この保存レポートのページは Windows のメタファイル形式のため、"
                       "表示できません。"));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Page stream
// ---------------------------------------------------------------------------------------------

std::unique_ptr<TBRStream> TBRStream::CreateInMemory(qint32 memoryLimit)
{
    std::unique_ptr<TBRStream> s(new TBRStream);
    s->m_memoryLimit = memoryLimit;
    return s;
}

std::unique_ptr<TBRStream> TBRStream::CreateFromFile(const QString& fileName)
{
    std::unique_ptr<TBRStream> s(new TBRStream);
    s->m_file = std::make_unique<QFile>(fileName);
    if (!s->m_file->open(QIODevice::ReadOnly)) {
        throw EBRStoreError(Kind::OpenFailed,
            QStringLiteral("ファイル %1 を開けません。%2").arg(Native(fileName), s->m_file->errorString()));
    }
    s->m_inMemory = false;
    s->m_readOnly = true;
    s->m_memoryLimit = 0;
    return s;
}

TBRStream::~TBRStream() = default; // a QTemporaryFile removes itself

bool TBRStream::inMemory() const
{
    std::lock_guard guard(m_lock);
    return m_inMemory;
}

QString TBRStream::FileName() const
{
    std::lock_guard guard(m_lock);
    return m_file ? m_file->fileName() : QString();
}

qint64 TBRStream::Read(void* data, qint64 count)
{
    std::lock_guard guard(m_lock);
    if (count <= 0)
        return 0;
    if (!m_inMemory)
        return m_file->read(static_cast<char*>(data), count);
    const qint64 n = std::clamp<qint64>(m_memory.size() - m_pos, 0, count);
    if (n > 0)
        std::memcpy(data, m_memory.constData() + m_pos, static_cast<std::size_t>(n));
    m_pos += n;
    return n;
}

qint64 TBRStream::Write(const void* data, qint64 count)
{
    std::lock_guard guard(m_lock);
    if (m_readOnly)
        return -1;
    if (count <= 0)
        return 0;
    if (!m_inMemory)
        return m_file->write(static_cast<const char*>(data), count);
    const qint64 end = m_pos + count;
    if (end > m_memory.size())
        m_memory.resize(end, '\0');
    std::memcpy(m_memory.data() + m_pos, data, static_cast<std::size_t>(count));
    m_pos = end;
    // Exactly the limit stays in memory; one byte more moves everything to a file.
    if (m_memory.size() > m_memoryLimit && !m_spillFailed)
        spill();
    return count;
}

void TBRStream::spill()
{
    auto file = std::make_unique<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("BRPXXXXXX.tmp")));
    file->setAutoRemove(true);
    if (!file->open() || file->write(m_memory) != m_memory.size() || !file->seek(m_pos)) {
        // Without a usable temporary folder the pages simply stay in memory.
        m_spillFailed = true;
        return;
    }
    m_file = std::move(file);
    m_memory = QByteArray();
    m_inMemory = false;
}

qint64 TBRStream::seek(qint64 offset, Origin origin)
{
    std::lock_guard guard(m_lock);
    qint64 base = 0;
    if (origin == Origin::Current)
        base = Position();
    else if (origin == Origin::End)
        base = Size();
    const qint64 target = base + offset;
    if (target < 0)
        return -1;
    if (m_inMemory)
        m_pos = target;
    else if (!m_file->seek(target))
        return -1;
    return target;
}

qint64 TBRStream::Position() const
{
    std::lock_guard guard(m_lock);
    return m_inMemory ? m_pos : m_file->pos();
}

qint64 TBRStream::Size() const
{
    std::lock_guard guard(m_lock);
    return m_inMemory ? m_memory.size() : m_file->size();
}

bool TBRStream::copyRange(QIODevice& destination, qint64 from, qint64 to)
{
    std::lock_guard guard(m_lock);
    const qint64 keep = Position();
    bool ok = seek(from) >= 0;
    QByteArray chunk(CopyChunk, Qt::Uninitialized);
    qint64 at = from;
    while (ok && at < to) {
        const qint64 n = Read(chunk.data(), std::min(CopyChunk, to - at));
        if (n <= 0)
            break;
        ok = destination.write(chunk.constData(), n) == n;
        at += n;
    }
    seek(keep);
    // A stream that ends before `to` (a stored file cut short since it was opened) is a
    // failure, not a shorter copy.
    return ok && at >= to;
}

bool TBRStream::SaveToStream(QIODevice& destination)
{
    std::lock_guard guard(m_lock);
    return copyRange(destination, 0, Size());
}

// ---------------------------------------------------------------------------------------------
// Header and date
// ---------------------------------------------------------------------------------------------

namespace {

constexpr int OldHeaderSize = 124;
constexpr int OldestHeaderSize = 96;
constexpr int PageCountOffset = 8;
constexpr int DateOffset = 16;
constexpr int CompressedOffset = 25;
// Page number, next-record position, record-start position.
constexpr int RecordOverhead = 12;
constexpr int LengthFieldSize = 4;

const QDate& dayZero()
{
    static const QDate zero(1899, 12, 30);
    return zero;
}

qint32 getI32(const QByteArray& b, qsizetype at) { return qFromLittleEndian<qint32>(b.constData() + at); }

void putI32(QByteArray& b, qsizetype at, qint32 v) { qToLittleEndian<qint32>(v, b.data() + at); }

QByteArray i32Bytes(qint32 v)
{
    QByteArray b(4, '\0');
    putI32(b, 0, v);
    return b;
}

// Reads exactly `count` bytes at `at`, or nothing.
std::optional<QByteArray> readAt(TBRStream& s, qint64 at, qint64 count)
{
    if (at < 0 || count < 0 || at + count > s.Size() || s.seek(at) < 0)
        return std::nullopt;
    QByteArray b(count, Qt::Uninitialized);
    if (s.Read(b.data(), count) != count)
        return std::nullopt;
    return b;
}

std::optional<qint32> readI32At(TBRStream& s, qint64 at)
{
    auto b = readAt(s, at, 4);
    if (!b)
        return std::nullopt;
    return getI32(*b, 0);
}

bool writeAll(TBRStream& s, const QByteArray& b) { return s.Write(b.constData(), b.size()) == b.size(); }

bool isWindowsMetafile(const QByteArray& payload)
{
    // The EMF header record: type 1, and " EMF" at offset 40.
    return payload.size() >= 44 && getI32(payload, 0) == 1 && payload.mid(40, 4) == " EMF";
}

} // namespace

double brDaysFromDateTime(const QDateTime& t)
{
    const qint64 days = dayZero().daysTo(t.date());
    return static_cast<double>(days) + t.time().msecsSinceStartOfDay() / 86400000.0;
}

QDateTime brDateTimeFromDays(double days)
{
    // A damaged header can hold any double: beyond the dates a calendar keeps there is no date.
    if (!std::isfinite(days) || std::fabs(days) > 1.0e9)
        return QDateTime();
    const double whole = std::floor(days);
    const auto ms = static_cast<int>(std::lround((days - whole) * 86400000.0));
    return QDateTime(dayZero().addDays(static_cast<qint64>(whole)), QTime(0, 0)).addMSecs(ms);
}

int ReportFileHeaderSize(TBRStream& stream)
{
    // The letters EMF sit 49 bytes after the header in an uncompressed first page (8 bytes of
    // record head, then offset 41 of the metafile header).
    const qint64 keep = stream.Position();
    const auto signatureAt = [&](qint64 at) {
        char b[4] = {};
        const bool ok = stream.seek(at) >= 0 && stream.Read(b, 4) > 0;
        return ok && QByteArray(b, static_cast<qsizetype>(strnlen(b, 4))) == "EMF";
    };
    int size = TBRPageList::HeaderSize;
    if (signatureAt(OldHeaderSize + 49))
        size = OldHeaderSize;
    else if (signatureAt(OldestHeaderSize + 49))
        size = OldestHeaderSize;
    stream.seek(keep);
    return size;
}

// ---------------------------------------------------------------------------------------------
// Page list
// ---------------------------------------------------------------------------------------------

TBRPageList::TBRPageList()
    : m_outline(std::make_unique<TBROutline>())
    , m_clock(&platform::defaultClock())
    , m_header(HeaderSize, '\0')
{
}

TBRPageList::~TBRPageList() = default;

void TBRPageList::Clear()
{
    std::lock_guard guard(m_lock);
    m_pageCount = 0;
    m_finishedCount = -1;
    m_records.clear();
}

void TBRPageList::setStream(std::unique_ptr<TBRStream> stream)
{
    std::lock_guard guard(m_lock);
    m_stream = std::move(stream);
    m_headerSize = HeaderSize;
    Clear();
}

std::unique_ptr<TBRStream> TBRPageList::takeStream()
{
    std::lock_guard guard(m_lock);
    Clear();
    return std::move(m_stream);
}

TBRStream* TBRPageList::stream() const
{
    std::lock_guard guard(m_lock);
    return m_stream.get();
}

bool TBRPageList::Compression() const
{
    std::lock_guard guard(m_lock);
    return m_compression;
}

void TBRPageList::SetCompression(bool on)
{
    std::lock_guard guard(m_lock);
    m_compression = on;
}

int TBRPageList::PageCount() const
{
    std::lock_guard guard(m_lock);
    return m_pageCount;
}

TBROutline& TBRPageList::Outline() { return *m_outline; }

void TBRPageList::setClock(const platform::Clock& clock)
{
    std::lock_guard guard(m_lock);
    m_clock = &clock;
}

void TBRPageList::ensureStream()
{
    if (!m_stream)
        m_stream = TBRStream::CreateInMemory();
}

TBRFileHeader TBRPageList::Header() const
{
    std::lock_guard guard(m_lock);
    TBRFileHeader h;
    h.pageCount = getI32(m_header, PageCountOffset);
    h.dateTime = qFromLittleEndian<double>(m_header.constData() + DateOffset);
    h.compressed = m_header[CompressedOffset] == 1;
    return h;
}

QByteArray TBRPageList::headerBytes() const
{
    QByteArray h = m_header;
    qToLittleEndian<quint16>(3, h.data());
    qToLittleEndian<quint16>(40, h.data() + 2);
    putI32(h, PageCountOffset, m_pageCount);
    h[CompressedOffset] = m_compression ? 1 : 0;
    return h;
}

void TBRPageList::writeHeaderLocked()
{
    ensureStream();
    m_header = headerBytes();
    const qint64 keep = m_stream->Position();
    if (m_stream->seek(0) < 0 || !writeAll(*m_stream, m_header))
        writeFailed();
    m_stream->seek(keep);
}

void TBRPageList::WriteHeader()
{
    std::lock_guard guard(m_lock);
    writeHeaderLocked();
}

void TBRPageList::stampHeaderDate()
{
    qToLittleEndian<double>(brDaysFromDateTime(m_clock->now()), m_header.data() + DateOffset);
}

void TBRPageList::Finish()
{
    std::lock_guard guard(m_lock);
    // The header carries the date and time the pages were complete, not when the first came.
    stampHeaderDate();
    writeHeaderLocked();
    m_finishedCount = m_pageCount;
}

bool TBRPageList::finished() const
{
    std::lock_guard guard(m_lock);
    return m_finishedCount == m_pageCount;
}

void TBRPageList::AddPage(const QPicture& page) { addPageData(QByteArray(page.data(), page.size())); }

void TBRPageList::addPageData(const QByteArray& pictureBytes)
{
    std::lock_guard guard(m_lock);
    ensureStream();
    const int number = m_pageCount + 1;
    if (number == 1) {
        // A fresh store: the header first, dated now until Finish dates it again.
        m_header.fill('\0');
        stampHeaderDate();
        m_pageCount = 1;
        try {
            writeHeaderLocked();
        } catch (...) {
            m_pageCount = 0;
            throw;
        }
    }

    QByteArray payload;
    if (m_compression) {
        payload = i32Bytes(static_cast<qint32>(pictureBytes.size()));
        payload += TBRCompress::compress(pictureBytes);
    } else {
        payload = pictureBytes;
    }
    // A new record goes right after the last good one, over anything a failed write left.
    const qint64 start = m_records.empty() ? m_headerSize : m_records.back().end;
    const qint64 end = start + RecordOverhead + payload.size();
    if (end > std::numeric_limits<qint32>::max())
        writeFailed();
    QByteArray record;
    record.reserve(payload.size() + RecordOverhead);
    record += i32Bytes(number);
    record += i32Bytes(static_cast<qint32>(end));
    record += payload;
    record += i32Bytes(static_cast<qint32>(start));
    if (m_stream->seek(start) < 0 || !writeAll(*m_stream, record)) {
        m_pageCount = number - 1;
        writeFailed();
    }
    m_records.push_back({ start, end });
    m_pageCount = number;
}

bool TBRPageList::SeekToPage(int n)
{
    std::lock_guard guard(m_lock);
    if (!m_stream || n < 1 || n > m_pageCount)
        return false;
    m_stream->seek(m_records[static_cast<std::size_t>(n - 1)].start);
    return true;
}

bool TBRPageList::SeekToFirstPage() { return SeekToPage(1); }

bool TBRPageList::SeekToLastPage()
{
    std::lock_guard guard(m_lock);
    return SeekToPage(m_pageCount);
}

QByteArray TBRPageList::readPayload(int n)
{
    // The record was checked when it was indexed, but a stored file may change under us (it is
    // opened for others to write): check again, and never read outside the record.
    const Record& r = m_records[static_cast<std::size_t>(n - 1)];
    TBRStream& s = *m_stream;
    const auto head = readAt(s, r.start, 8);
    const auto tail = readI32At(s, r.end - 4);
    if (!head || !tail || getI32(*head, 0) != n || getI32(*head, 4) != r.end || *tail != r.start)
        damaged(QStringLiteral("%1 ページの位置").arg(n));
    const qint64 payloadStart = r.start + 8;
    const qint64 payloadSize = r.end - 4 - payloadStart;
    QByteArray bytes;
    if (!m_compression) {
        auto b = readAt(s, payloadStart, payloadSize);
        if (!b)
            damaged(QStringLiteral("%1 ページ").arg(n));
        bytes = std::move(*b);
    } else {
        const auto length = readI32At(s, payloadStart);
        auto code = readAt(s, payloadStart + LengthFieldSize, payloadSize - LengthFieldSize);
        if (!length || !code || *length < 0 || *length > MaxPageBytes)
            damaged(QStringLiteral("%1 ページの長さ").arg(n));
        auto expanded = TBRCompress::expand(*code, *length);
        if (!expanded)
            damaged(QStringLiteral("%1 ページの圧縮データが途中で切れています").arg(n));
        bytes = std::move(*expanded);
    }
    s.seek(r.end);
    return bytes;
}

std::optional<QByteArray> TBRPageList::getPageData(int n)
{
    std::lock_guard guard(m_lock);
    if (!m_stream || n < 1 || n > m_pageCount)
        return std::nullopt;
    return readPayload(n);
}

std::unique_ptr<QPicture> TBRPageList::GetPage(int n)
{
    const auto bytes = getPageData(n);
    if (!bytes)
        return nullptr;
    if (isWindowsMetafile(*bytes))
        foreignPages();
    auto picture = std::make_unique<QPicture>();
    if (bytes->isEmpty())
        return picture; // a page nobody drew on
    QBuffer buffer;
    buffer.setData(*bytes);
    buffer.open(QIODevice::ReadOnly);
    if (!bytes->startsWith("QPIC") || !picture->load(&buffer))
        damaged(QStringLiteral("%1 ページの内容").arg(n));
    return picture;
}

void TBRPageList::readHeaderLocked()
{
    TBRStream& s = *m_stream;
    const qint64 size = s.Size();
    const int headerSize = ReportFileHeaderSize(s);
    const auto raw = readAt(s, 0, headerSize);
    if (!raw)
        damaged(QStringLiteral("ヘッダーが短すぎます"));

    QByteArray header(HeaderSize, '\0');
    bool compressed = false;
    if (headerSize == HeaderSize) {
        header = *raw;
        compressed = header[CompressedOffset] == 1;
    } else if (headerSize == OldHeaderSize) {
        // The older layout kept the date 4 bytes earlier; pages were never compressed then.
        std::memcpy(header.data(), raw->constData(), 5);
        std::memcpy(header.data() + PageCountOffset, raw->constData() + PageCountOffset, 4);
        std::memcpy(header.data() + DateOffset, raw->constData() + 12, 8);
        header[24] = (*raw)[20];
        header[25] = (*raw)[21];
        std::memcpy(header.data() + 26, raw->constData() + 22, 101);
    } else {
        std::memcpy(header.data() + PageCountOffset, raw->constData() + PageCountOffset, 4);
    }

    const qint32 count = getI32(header, PageCountOffset);
    // Every record takes at least its 12 bytes of positions: a larger count cannot be right.
    if (count < 0 || count > (size - headerSize) / RecordOverhead)
        damaged(QStringLiteral("ページ数 %1").arg(count));

    // Walk the chain once, strictly forwards, checking every field against the file.
    std::vector<Record> records;
    records.reserve(static_cast<std::size_t>(count));
    const int minimum = RecordOverhead + (compressed ? LengthFieldSize : 0);
    qint64 at = headerSize;
    for (qint32 n = 1; n <= count; ++n) {
        const auto head = readAt(s, at, 8);
        if (!head)
            damaged(QStringLiteral("%1 ページがありません").arg(n));
        const qint32 number = getI32(*head, 0);
        const qint64 next = getI32(*head, 4);
        if (number != n)
            damaged(QStringLiteral("%1 ページの番号 %2").arg(n).arg(number));
        if (next < at + minimum || next > size)
            damaged(QStringLiteral("%1 ページの次の位置 %2").arg(n).arg(next));
        const auto start = readI32At(s, next - 4);
        if (!start || *start != at)
            damaged(QStringLiteral("%1 ページの開始位置").arg(n));
        if (compressed) {
            const auto length = readI32At(s, at + 8);
            const qint64 codeBytes = next - at - minimum;
            if (!length || *length < 0 || *length > MaxPageBytes || *length / 8 > codeBytes)
                damaged(QStringLiteral("%1 ページの長さ %2").arg(n).arg(length.value_or(-1)));
        }
        records.push_back({ at, next });
        at = next;
    }

    m_header = header;
    m_headerSize = headerSize;
    m_compression = compressed;
    m_pageCount = count;
    m_finishedCount = count;
    m_records = std::move(records);
}

void TBRPageList::ReadHeader()
{
    std::lock_guard guard(m_lock);
    ensureStream();
    readHeaderLocked();
}

void TBRPageList::LoadFromFile(const QString& fileName)
{
    std::lock_guard guard(m_lock);
    // Read into a list of its own, so that a file that fails leaves the current pages alone.
    TBRPageList loaded;
    loaded.m_stream = TBRStream::CreateFromFile(fileName);
    try {
        loaded.readHeaderLocked();
        // Reading the last page finds a truncated or foreign file at once.
        loaded.GetPage(loaded.m_pageCount);
    } catch (const EBRStoreError& e) {
        if (e.kind() != Kind::Damaged)
            throw;
        throw EBRStoreError(Kind::Damaged, QStringLiteral("%1\n%2").arg(Native(fileName), e.message()));
    }
    m_stream = std::move(loaded.m_stream);
    m_header = loaded.m_header;
    m_headerSize = loaded.m_headerSize;
    m_compression = loaded.m_compression;
    m_pageCount = loaded.m_pageCount;
    m_finishedCount = loaded.m_finishedCount;
    m_records = std::move(loaded.m_records);
}

void TBRPageList::SaveToFile(const QString& fileName)
{
    std::lock_guard guard(m_lock);
    // Only complete records are written, under a header that counts exactly them, whether or
    // not the run that made them was finished; pages not finished are dated as they are saved.
    if (m_finishedCount != m_pageCount)
        stampHeaderDate();
    // A file that cannot be written whole keeps the content it had.
    const auto failure = platform::writeWholeFile(fileName, [this](QIODevice& file) {
        const qint64 end = m_records.empty() ? 0 : m_records.back().end;
        if (!m_stream || end <= 0)
            return file.write(headerBytes()) == HeaderSize;
        QByteArray head = headerBytes().left(m_headerSize);
        if (m_headerSize != HeaderSize) {
            // Keep an older header as it was, with the count in its unchanged place.
            head = readAt(*m_stream, 0, m_headerSize).value_or(QByteArray());
            if (head.size() == m_headerSize)
                putI32(head, PageCountOffset, m_pageCount);
        }
        return head.size() == m_headerSize && file.write(head) == head.size()
            && m_stream->copyRange(file, m_headerSize, end);
    });
    if (failure)
        throw EBRStoreError(Kind::WriteFailed, failure->text());
}
