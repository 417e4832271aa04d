#pragma once

// The report printer's unit: where a report run's pages go and where they come back from.
//
// Sections, in order:
//   1. Errors: EBRError, EBRStoreError.
//   2. Page compression: TBRCompress (BRPrntr_compress.cpp).
//   3. Page stream: TBRStream (BRPrntr_store.cpp).
//   4. Page store and stored report file: TBRPageList, TBRFileHeader (BRPrntr_store.cpp).
//   5. Outline: TBROutline (BRPrntr.cpp).
//   6. Hyperlinks (BRPrntr.cpp).
//
// A page is a QPicture recorded at BRPageDotsPerInch, whose bounding rectangle is the whole
// page; its bytes are the page's payload in the store and in a stored report file (".BRP").

#include "platform/Clock.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QFile;
class QIODevice;
class QObject;
class QPicture;
class QTreeWidget;
class QTreeWidgetItem;

// Stored pages are recorded at this resolution: a page of W x L tenths of a millimetre is a
// picture of W * 96 / 254 by L * 96 / 254 pixels.
constexpr int BRPageDotsPerInch = 96;

// ---------------------------------------------------------------------------------------------
// 1. Errors
// ---------------------------------------------------------------------------------------------

// The report engine's exception: a message for the operator.
class EBRError : public std::exception {
public:
    explicit EBRError(const QString& message);
    const QString& Message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A page store or stored report file that cannot be read or written.
class EBRStoreError : public EBRError {
public:
    enum class Kind {
        OpenFailed, // the file is missing or cannot be opened
        WriteFailed, // a file or the page stream cannot be written
        Damaged, // the bytes do not form a valid store
        ForeignPages, // the pages are Windows metafiles, which this program cannot show
    };
    EBRStoreError(Kind kind, const QString& message)
        : EBRError(message)
        , m_kind(kind)
    {
    }
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

// ---------------------------------------------------------------------------------------------
// 2. Page compression
// ---------------------------------------------------------------------------------------------

// An adaptive prefix code kept in a splay tree: each byte is coded by its path from the root to
// its leaf, and the tree is semi-splayed along that path after each byte, so bytes met often get
// shorter codes. Coder and decoder start from the same tree and make the same moves, so nothing
// but the code bits is stored. Code bits fill each byte from its least significant bit upwards.
class TBRCompress {
public:
    // A coder appending code bytes to `*out`.
    explicit TBRCompress(QByteArray* out);
    // A decoder reading code bytes from `in`, which must outlive it.
    explicit TBRCompress(QByteArrayView in);
    // A coder writes its partly filled last byte (remaining high bits 0).
    ~TBRCompress();
    TBRCompress(const TBRCompress&) = delete;
    TBRCompress& operator=(const TBRCompress&) = delete;

    // Code bytes reach `*out` four at a time, and the last ones when the coder is destroyed.
    void Encode(std::uint8_t b);
    // False when the code bytes end before the byte's code does; b is then unchanged.
    bool Decode(std::uint8_t& b);
    // Code bytes the decoder has used so far.
    qsizetype CodeBytesRead() const;

    static QByteArray Compress(QByteArrayView data);
    // Decodes exactly `length` bytes; nothing when the code ends early or length is negative.
    static std::optional<QByteArray> Expand(QByteArrayView code, qsizetype length);

private:
    // Up to 257 nodes from a leaf to the root, each as parent * 2 + side.
    using Path = std::array<std::uint16_t, 260>;
    void InitTree();
    void Splay(int b);
    template <typename Ups> void SplayPath(unsigned leaf, int length, Ups ups);
    void PutBits(std::uint64_t bits, int count); // count <= 32
    void PutCode(std::uint64_t bits, int count); // count <= 64
    bool Refill();
    void Flush();

    bool m_compressing;
    QByteArray* m_out = nullptr;
    QByteArrayView m_in;
    qsizetype m_inPos = 0;
    std::uint64_t m_bits = 0; // code bits waiting to be written, or fetched and not yet used; first in bit 0
    int m_bitCount = 0;
    std::array<std::array<std::uint16_t, 2>, 256> m_child {}; // [node][0 left, 1 right]
    std::array<std::uint16_t, 513> m_up {}; // parent * 2 + 1 for a right child, + 0 for a left one
};

// ---------------------------------------------------------------------------------------------
// 3. Page stream
// ---------------------------------------------------------------------------------------------

// A byte stream that lives in memory until it grows past MemoryLimit, then moves to a temporary
// file (deleted with the stream); or a read-only stream on an existing file. Every operation is
// guarded, so a preview may read while a run writes.
class TBRStream {
public:
    enum class Origin { Begin, Current, End };
    static constexpr qint32 DefaultMemoryLimit = 250000;
    static constexpr qint64 CopyChunk = 10240;

    static std::unique_ptr<TBRStream> CreateInMemory(qint32 memoryLimit = DefaultMemoryLimit);
    // Read-only; raises EBRStoreError (OpenFailed) when the file cannot be opened.
    static std::unique_ptr<TBRStream> CreateFromFile(const QString& fileName);
    ~TBRStream();
    TBRStream(const TBRStream&) = delete;
    TBRStream& operator=(const TBRStream&) = delete;

    // Byte counts as done; 0 at the end, -1 on failure (a read-only stream refuses writes).
    qint64 Read(void* data, qint64 count);
    qint64 Write(const void* data, qint64 count);
    // The new position, or -1 when it would lie before the start.
    qint64 Seek(qint64 offset, Origin origin = Origin::Begin);
    qint64 Position() const;
    qint64 Size() const;

    // Copies the whole stream, from position 0, in chunks of CopyChunk bytes; false when the
    // destination refuses a write. The position is kept.
    bool SaveToStream(QIODevice& destination);
    // Copies bytes [from, to) to the destination; false when the stream ends before `to` or the
    // destination refuses a write.
    bool CopyRange(QIODevice& destination, qint64 from, qint64 to);

    bool InMemory() const;
    bool ReadOnly() const { return m_readOnly; }
    qint32 MemoryLimit() const { return m_memoryLimit; }
    // The temporary file's name after spilling, the opened file's name in file mode.
    QString FileName() const;

private:
    TBRStream() = default;
    void Spill();

    mutable std::recursive_mutex m_lock;
    QByteArray m_memory;
    qint64 m_pos = 0;
    std::unique_ptr<QFile> m_file;
    bool m_inMemory = true;
    bool m_readOnly = false;
    bool m_spillFailed = false;
    qint32 m_memoryLimit = DefaultMemoryLimit;
};

// ---------------------------------------------------------------------------------------------
// 4. Page store and stored report file
// ---------------------------------------------------------------------------------------------
//
// Layout (little-endian): a 128-byte header (u16 3, u16 40, reserved to 8, i32 page count at 8,
// reserved to 16, double date at 16, reserved byte, compressed flag at 25, reserved to 128), then
// one record per page: i32 page number, i32 position after the record, payload, i32 position of
// the record's start. A compressed payload is the i32 length of the picture bytes followed by
// their code. Older files have a 124- or 96-byte header.

// Days since 30 December 1899, the fraction being the time of day.
double BRDaysFromDateTime(const QDateTime& t);
QDateTime BRDateTimeFromDays(double days);

// The fields of a stored report file's header.
struct TBRFileHeader {
    int pageCount = 0;
    double dateTime = 0.0; // days since 30 December 1899
    bool compressed = false;
};

// 124, 96 or 128: the header size of the file in the stream, told by where the first page's
// Windows metafile signature lies. The position is kept.
int ReportFileHeaderSize(TBRStream& stream);

class TBROutline;

// The pages of one report, in order, in one page stream.
class TBRPageList {
public:
    static constexpr int HeaderSize = 128;
    // No single page is larger than this; a stored length above it marks a damaged file.
    static constexpr qint64 MaxPageBytes = 256LL * 1024 * 1024;

    TBRPageList();
    ~TBRPageList();
    TBRPageList(const TBRPageList&) = delete;
    TBRPageList& operator=(const TBRPageList&) = delete;

    // Forgets the pages (page count 0); the stream is left as it is and the next page starts
    // it afresh.
    void Clear();
    // The list owns its stream; SetStream starts an empty list on it.
    void SetStream(std::unique_ptr<TBRStream> stream);
    std::unique_ptr<TBRStream> TakeStream();
    TBRStream* Stream() const;

    bool Compression() const;
    void SetCompression(bool on);
    int PageCount() const;

    // Appends a page (an in-memory stream is made when none is attached). Raises EBRStoreError
    // (WriteFailed) when the stream refuses the bytes; the list is then as before.
    void AddPage(const QPicture& page);
    void AddPageData(const QByteArray& pictureBytes);
    // Page n (1 <= n <= PageCount) as a new picture; nothing for other n. Raises EBRStoreError
    // when the record is damaged or holds a Windows metafile; the list stays usable. The stream
    // is left at the next record's start.
    std::unique_ptr<QPicture> GetPage(int n);
    std::optional<QByteArray> GetPageData(int n);

    // Put the stream at a record's start; false for a page that does not exist.
    bool SeekToFirstPage();
    bool SeekToLastPage();
    bool SeekToPage(int n);

    // Writes the header with the final page count, dated now (by the list's clock).
    void Finish();
    bool Finished() const;
    // Reads the header and the chain of records from the stream; raises EBRStoreError (Damaged)
    // when any position, page number or length is out of place.
    void ReadHeader();
    void WriteHeader();
    TBRFileHeader Header() const;

    // Replaces the pages by the file's. Raises EBRStoreError and keeps the current pages when
    // the file cannot be opened, is damaged or holds Windows metafile pages.
    void LoadFromFile(const QString& fileName);
    // Writes the finished pages, with a header that counts exactly them; raises EBRStoreError
    // (WriteFailed) when the file cannot be written (an existing file is then left unchanged).
    void SaveToFile(const QString& fileName);

    TBROutline& Outline();
    void SetClock(const platform::Clock& clock);

private:
    struct Record {
        qint64 start;
        qint64 end;
    };
    void EnsureStream();
    void WriteHeaderLocked();
    void ReadHeaderLocked();
    QByteArray ReadPayload(int n);
    QByteArray HeaderBytes() const;
    void StampHeaderDate();

    mutable std::recursive_mutex m_lock;
    bool m_compression = false;
    int m_pageCount = 0;
    int m_finishedCount = -1;
    std::unique_ptr<TBRStream> m_stream;
    std::unique_ptr<TBROutline> m_outline;
    const platform::Clock* m_clock;
    QByteArray m_header; // the header in the 128-byte layout
    int m_headerSize = HeaderSize; // as found in the stream
    std::vector<Record> m_records; // where each page's record lies
};

// ---------------------------------------------------------------------------------------------
// 5. Outline
// ---------------------------------------------------------------------------------------------

struct TBROutlineEntry {
    QString caption;
    int level = 0;
    QRect rect;
    int page = 0;
    QTreeWidgetItem* node = nullptr;
};

// Outline entries of a report, shown in the preview's tree view.
class TBROutline {
public:
    static constexpr int MaxLevels = 32;

    void Clear();
    void AddEntry(const QString& caption, int level, const QRect& rect, int page);
    const QList<TBROutlineEntry>& Entries() const { return m_entries; }
    // Remembers the view (not owned) and fills it at once.
    void SetTreeView(QTreeWidget* view);
    QTreeWidget* TreeView() const;
    void FillTreeView();
    // The page of the entry shown by `node` (its rectangle into *rect); 0 when none matches.
    int FindEntry(const QTreeWidgetItem* node, QRect* rect = nullptr) const;

private:
    QList<TBROutlineEntry> m_entries;
    QPointer<QTreeWidget> m_view;
};

// ---------------------------------------------------------------------------------------------
// 6. Hyperlinks
// ---------------------------------------------------------------------------------------------

// A handler for links that start with its prefix: gets the rest of the link and the preview.
using TBRInternalLinkHandler = std::function<void(const QString& rest, QObject* preview)>;

void RegisterInternalLinkHandler(const QString& prefix, TBRInternalLinkHandler handler);
void UnregisterInternalLinkHandler(const QString& prefix);
// Hands the link to the first handler whose prefix it starts with (case-sensitive); true when one
// took it.
bool DispatchInternalLink(const QString& link, QObject* preview);
// Opens the text with the desktop's handler (a web address, a file).
void OpenExternalLink(const QString& link);
// Replaces how external links are opened (tests); returns the previous opener. An empty opener
// restores the desktop's.
using TBRExternalLinkOpener = std::function<void(const QString& link)>;
TBRExternalLinkOpener SetExternalLinkOpener(TBRExternalLinkOpener opener);
// Follows a clicked link: "EXT:" opens the rest outside, "INT:" dispatches the rest to the
// handlers, anything else goes to the handlers and else outside.
void BRHandleHyperlink(const QString& link, QObject* preview);
