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
//   7. Printer settings: TBRBin, TBRPrinterSettings, TBandReportPrinterSettings, TPrinterSettings
//      (BRPrntr_settings.cpp).
//   8. Report printer: TBRPrinter (BRPrntr_printer.cpp; printing stored pages and the print job
//      in BRPrntr_print.cpp), the preview interface and the text search of a page.
//
// A page is a QPicture recorded at BRPageDotsPerInch, whose bounding rectangle is the whole
// page; its bytes are the page's payload in the store and in a stored report file (".BRP").

#include "platform/Clock.h"
#include "report/BRUnits.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QPageLayout>
#include <QPointer>
#include <QRect>
#include <QSet>
#include <QString>
#include <QStringList>
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
    const QString& message() const { return m_message; }
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
    qsizetype codeBytesRead() const;

    static QByteArray compress(QByteArrayView data);
    // Decodes exactly `length` bytes; nothing when the code ends early or length is negative.
    static std::optional<QByteArray> expand(QByteArrayView code, qsizetype length);

private:
    // Up to 257 nodes from a leaf to the root, each as parent * 2 + side.
    using Path = std::array<std::uint16_t, 260>;
    void InitTree();
    void Splay(int b);
    template <typename Ups> void splayPath(unsigned leaf, int length, Ups ups);
    void putBits(std::uint64_t bits, int count); // count <= 32
    void putCode(std::uint64_t bits, int count); // count <= 64
    bool refill();
    void flush();

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
    qint64 seek(qint64 offset, Origin origin = Origin::Begin);
    qint64 Position() const;
    qint64 Size() const;

    // Copies the whole stream, from position 0, in chunks of CopyChunk bytes; false when the
    // destination refuses a write. The position is kept.
    bool SaveToStream(QIODevice& destination);
    // Copies bytes [from, to) to the destination; false when the stream ends before `to` or the
    // destination refuses a write.
    bool copyRange(QIODevice& destination, qint64 from, qint64 to);

    bool inMemory() const;
    bool readOnly() const { return m_readOnly; }
    qint32 MemoryLimit() const { return m_memoryLimit; }
    // The temporary file's name after spilling, the opened file's name in file mode.
    QString FileName() const;

private:
    TBRStream() = default;
    void spill();

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
double brDaysFromDateTime(const QDateTime& t);
QDateTime brDateTimeFromDays(double days);

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
    // The list owns its stream; setStream starts an empty list on it.
    void setStream(std::unique_ptr<TBRStream> stream);
    std::unique_ptr<TBRStream> takeStream();
    TBRStream* stream() const;

    bool Compression() const;
    void SetCompression(bool on);
    int PageCount() const;

    // Appends a page (an in-memory stream is made when none is attached). Raises EBRStoreError
    // (WriteFailed) when the stream refuses the bytes; the list is then as before.
    void AddPage(const QPicture& page);
    void addPageData(const QByteArray& pictureBytes);
    // Page n (1 <= n <= PageCount) as a new picture; nothing for other n. Raises EBRStoreError
    // when the record is damaged or holds a Windows metafile; the list stays usable. The stream
    // is left at the next record's start.
    std::unique_ptr<QPicture> GetPage(int n);
    std::optional<QByteArray> getPageData(int n);

    // Put the stream at a record's start; false for a page that does not exist.
    bool SeekToFirstPage();
    bool SeekToLastPage();
    bool SeekToPage(int n);

    // Writes the header with the final page count, dated now (by the list's clock).
    void Finish();
    bool finished() const;
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
    void setClock(const platform::Clock& clock);

private:
    struct Record {
        qint64 start;
        qint64 end;
    };
    void ensureStream();
    void writeHeaderLocked();
    void readHeaderLocked();
    QByteArray readPayload(int n);
    QByteArray headerBytes() const;
    void stampHeaderDate();

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
    void addEntry(const QString& caption, int level, const QRect& rect, int page);
    const QList<TBROutlineEntry>& entries() const { return m_entries; }
    // Remembers the view (not owned) and fills it at once.
    void SetTreeView(QTreeWidget* view);
    QTreeWidget* treeView() const;
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

void registerInternalLinkHandler(const QString& prefix, TBRInternalLinkHandler handler);
void unregisterInternalLinkHandler(const QString& prefix);
// Hands the link to the first handler whose prefix it starts with (case-sensitive); true when one
// took it.
bool DispatchInternalLink(const QString& link, QObject* preview);
// Opens the text with the desktop's handler (a web address, a file).
void OpenExternalLink(const QString& link);
// Replaces how external links are opened (tests); returns the previous opener. An empty opener
// restores the desktop's.
using TBRExternalLinkOpener = std::function<void(const QString& link)>;
TBRExternalLinkOpener setExternalLinkOpener(TBRExternalLinkOpener opener);
// Follows a clicked link: "EXT:" opens the rest outside, "INT:" dispatches the rest to the
// handlers, anything else goes to the handlers and else outside.
void brHandleHyperlink(const QString& link, QObject* preview);

// ---------------------------------------------------------------------------------------------
// 7. Printer settings
// ---------------------------------------------------------------------------------------------

// Declared with the report's units (BandRpt.h); the report's header includes this one.
enum class TBRPaperSize : std::uint8_t;
enum class TPrinterOrientation : std::uint8_t;

class QPrinter;

// Paper sources, in the order the report's form stores them.
enum class TBRBin : std::uint8_t {
    First,
    Upper,
    Lower,
    Middle,
    Manual,
    Envelope,
    EnvManual,
    Auto,
    Tractor,
    SmallFormat,
    LargeFormat,
    LargeCapacity,
    Cassette,
    Last
};
constexpr int BRBinCount = 14;

// The Windows paper-source number of a bin (First and Upper are both 1, Cassette and Last 14).
int brBinToDevMode(TBRBin bin);
// The first bin whose number is `code`; nothing when no bin has it.
std::optional<TBRBin> brBinFromDevMode(int code);

// Duplex codes as the report's settings keep them.
constexpr int BRDuplexSimplex = 1;
constexpr int BRDuplexLongEdge = 2;
constexpr int BRDuplexShortEdge = 3;

// The duplex code of what a printer is set to (automatic counts as long edge).
int brPrinterDuplexCode(const QPrinter& printer);

// A print queue as the print server last listed it.
struct TBRQueueInfo {
    QString name;
    bool isDefault = false;
    TBRPaperSize paper = static_cast<TBRPaperSize>(9); // its default paper; A4 when unknown
    QList<int> paperCodes; // the papers it offers, numbered as Windows drivers did; empty: unknown
};
using TBRQueueList = QList<TBRQueueInfo>;

// What a report's designer chose for printing; the print dialog reads and writes it too.
struct TBRPrinterSettings {
    static constexpr int DefaultMemoryLimit = 250000;
    // A stored form leaves PrintQuality out when it has this value.
    static constexpr int StoredDefaultPrintQuality = 600;

    int Copies = 1;
    TBRBin OutputBin = TBRBin::Auto;
    bool Duplex = false;
    int FirstPage = 0; // 0: from the first page
    int LastPage = 0; // 0: to the last page
    bool UseStandardprinter = false; // kept for stored forms: every report prints the same way
    bool UseCustomBinCode = false;
    int CustomBinCode = 0;
    int ExtendedDuplex = 0; // a duplex code that, when not 0, wins over Duplex
    bool UseCustomPaperCode = false;
    int CustomPaperCode = 0;
    bool PrintMetaFile = false; // print the stored pages instead of running the report again
    int MemoryLimit = DefaultMemoryLimit; // bytes the page store keeps in memory
    int PrintQuality = 0;
    int Collate = 0; // 1: collate copies
    int ColorOption = 0; // 1 monochrome, 2 colour; read from the printer, never written
    // Printers are numbered as the print server lists its queues; -1 is the default queue.
    int PrinterIndex = -1;
    // PDF output: a file name makes every print a PDF file of that name. Without one, printing
    // goes to the chosen queue, or to a PDF file in the data folder when the system has none.
    QString OutputFileName;
    // A CUPS queue by name: without an output file, every print goes to it, whatever
    // PrinterIndex says.
    QString QueueName;

    bool operator==(const TBRPrinterSettings&) const = default;
};

// The report's published PrinterSettings.
struct TBandReportPrinterSettings : TBRPrinterSettings { };

class TPrinterSettings;
// Sender, Cancel (enters false), the settings being read or applied.
using TBRPrinterEvent = std::function<void(QObject* sender, bool& cancel, TPrinterSettings* settings)>;

// What a print job is opened with: the sheet (full page, no margins), copies, collation and
// duplex.
struct TBRJobSettings {
    QPageLayout layout;
    int copies = 1;
    bool collate = false;
    int duplexCode = BRDuplexSimplex;
};

// Print jobs are drawn at this resolution.
constexpr int BRJobDotsPerInch = 1200;

// The working printer settings of a report printer: plain values, so that a run into the page
// store never asks the print server anything. A queue's papers come from the print server's
// last answer; the job takes the values when it opens. Lengths are tenths of a millimetre.
//
// Copies, collation, duplex (simplex, long edge, short edge), paper and orientation reach CUPS
// and PDF output. Bins, custom bin codes, print quality, custom paper codes Qt does not know and
// duplex codes other than 1..3 are kept here as set.
class TPrinterSettings {
public:
    TPrinterSettings();

    // Takes the papers of `queue` (nullptr: a queue not listed, or PDF output, which takes any
    // paper). The get-settings event may skip it.
    void ReadSettings(const TBRQueueInfo* queue);
    // What a job opens with; the apply-settings event sees the settings first, and Cancel
    // gives the job the default paper upright, one copy, simplex.
    TBRJobSettings ApplySettings();

    // Values as Windows printer drivers numbered them (kept for the stored forms).
    int Copies() const { return m_copies; }
    void setCopies(int copies);
    bool Duplex() const { return m_duplex; }
    void setDuplex(bool on) { m_duplex = on; }
    int ExtendedDuplex() const { return m_extendedDuplex; }
    void setExtendedDuplex(int code) { m_extendedDuplex = code; }
    // The duplex code ApplySettings sends.
    int DuplexCode() const;
    TBRBin OutputBin() const { return m_outputBin; }
    void setOutputBin(TBRBin bin) { m_outputBin = bin; }
    bool UseCustomBinCode() const { return m_useCustomBinCode; }
    void setUseCustomBinCode(bool on) { m_useCustomBinCode = on; }
    int CustomBinCode() const { return m_customBinCode; }
    void setCustomBinCode(int code) { m_customBinCode = code; }
    // The paper source ApplySettings would send (kept only: CUPS takes no bins through Qt).
    int binCode() const;
    bool UseCustomPaperCode() const { return m_useCustomPaperCode; }
    void setUseCustomPaperCode(bool on) { m_useCustomPaperCode = on; }
    int CustomPaperCode() const { return m_customPaperCode; }
    void setCustomPaperCode(int code) { m_customPaperCode = code; }
    int PrintQuality() const { return m_printQuality; }
    void setPrintQuality(int q) { m_printQuality = q; }
    int Collate() const { return m_collate; }
    void setCollate(int c) { m_collate = c; }
    int ColorOption() const { return m_colorOption; }
    void setColorOption(int c) { m_colorOption = c; }
    int MemoryLimit() const { return m_memoryLimit; }
    void setMemoryLimit(int bytes) { m_memoryLimit = bytes; }
    bool PrintMetaFile() const { return m_printMetaFile; }
    void setPrintMetaFile(bool on) { m_printMetaFile = on; }
    bool useStandardPrinter() const { return m_useStandardPrinter; }
    void setUseStandardPrinter(bool on) { m_useStandardPrinter = on; }
    QString outputFileName() const { return m_outputFileName; }
    void setOutputFileName(const QString& name) { m_outputFileName = name; }
    QString queueName() const { return m_queueName; }
    void setQueueName(const QString& name) { m_queueName = name; }

    TPrinterOrientation Orientation() const { return m_orientation; }
    void setOrientation(TPrinterOrientation o) { m_orientation = o; }
    TBRPaperSize PaperSize() const { return m_paperSize; }
    // Taken when the printer has the paper, and always for Default and Custom; false when refused.
    bool setPaperSize(TBRPaperSize paper);
    bool Supported(TBRPaperSize paper) const;
    // Marks the papers the printer lists (nothing listed leaves the marks as they are); Custom
    // is always supported.
    void setSupportedPapers(const QList<int>& windowsPaperCodes);

    // The paper's width and length in the settings' own terms: from the paper table for table
    // papers (portrait), the sheet set for Default (at first the default queue's paper) and
    // Custom.
    int PaperWidth() const;
    int PaperLength() const;
    void setPaperWidth(int tenths) { m_paperWidth = tenths; }
    void setPaperLength(int tenths) { m_paperLength = tenths; }
    int XResolution() const { return m_xResolution; }
    int YResolution() const { return m_yResolution; }
    // Where the printer's drawing origin lies from the sheet's corner (0 in full-page mode).
    int TopOffset() const { return m_topOffset; }
    int LeftOffset() const { return m_leftOffset; }

    void SetGetSettingsEvent(TBRPrinterEvent e) { m_onGetSettings = std::move(e); }
    void SetApplySettingsEvent(TBRPrinterEvent e) { m_onApplySettings = std::move(e); }
    // The Sender the two events are given (the report printer).
    void setEventSender(QObject* sender) { m_sender = sender; }

    // Copies the designer's choices (not the printer-bound values) from a report's settings.
    void assign(const TBRPrinterSettings& s);

private:
    QObject* m_sender = nullptr;
    int m_copies = 1;
    bool m_duplex = false;
    int m_extendedDuplex = 0;
    bool m_printMetaFile = false;
    bool m_useStandardPrinter = false;
    TBRPrinterEvent m_onGetSettings;
    TBRPrinterEvent m_onApplySettings;
    bool m_useCustomBinCode = false;
    int m_customBinCode = 0;
    int m_printQuality = 0;
    int m_collate = 0;
    int m_colorOption = 0;
    int m_memoryLimit = TBRPrinterSettings::DefaultMemoryLimit;
    bool m_useCustomPaperCode = false;
    int m_customPaperCode = 0;
    QString m_outputFileName;
    QString m_queueName;
    TPrinterOrientation m_orientation;
    TBRBin m_outputBin = TBRBin::Auto;
    TBRPaperSize m_paperSize;
    std::array<bool, 70> m_supported {};
    int m_paperWidth = 2100;
    int m_paperLength = 2970;
    int m_xResolution = BRJobDotsPerInch;
    int m_yResolution = BRJobDotsPerInch;
    int m_topOffset = 0;
    int m_leftOffset = 0;
};

// ---------------------------------------------------------------------------------------------
// 8. Report printer
// ---------------------------------------------------------------------------------------------

class QPainter;
class QWidget;
class TBRPrinter;
class TBRPrintJob;

// The program's shared printer object, for the print dialog. Made on first use, which asks the
// print server for its default queue: only once the server has answered a listing.
QPrinter& brStandardPrinter();

// What a report printer needs from the report that owns it.
class TBRPrinterOwner {
public:
    virtual ~TBRPrinterOwner() = default;
    // UseStandardprinter and MemoryLimit are taken from here when the printer is made.
    virtual const TBRPrinterSettings& ownerPrinterSettings() const = 0;
    // Printing stored pages shows the progress form when this is true.
    virtual bool ownerShowProgress() const { return true; }
};

// Opens a preview window for a report printer. The preview form registers a subclass; without
// one the report printer shows nothing.
class TBRPreviewInterface {
public:
    virtual ~TBRPreviewInterface() = default;
    // Shows the preview with the given modality and returns at once. A preview opened while a
    // modal window is up takes input only when it is application-modal itself.
    virtual QWidget* show(TBRPrinter*, Qt::WindowModality) { return nullptr; }
    virtual QWidget* ShowModal(TBRPrinter*) { return nullptr; }
};
using TBRPreviewInterfaceFactory = std::function<std::unique_ptr<TBRPreviewInterface>()>;
// Registers the preview interface class; returns the one registered before.
TBRPreviewInterfaceFactory setPreviewInterfaceClass(TBRPreviewInterfaceFactory factory);

// Where a print job goes: a CUPS queue or a PDF file.
struct TBRPrintTarget {
    QString queue; // a CUPS queue name; empty for PDF output
    QString fileName; // the PDF file, when queue is empty
    bool isPdf() const { return queue.isEmpty(); }
};

// A finished PDF handed to a CUPS queue.
struct TBRQueueJob {
    QString queue;
    QString fileName; // named after the title: the queue shows it as the document's name
    QString title;
    int copies = 1;
    bool collate = false;
    int duplexCode = BRDuplexSimplex;
    QString media; // the paper the pages were drawn on, as CUPS names it ("A4", "Letter")
    bool landscape = false; // the pages lie across the paper
};
// What became of a job handed to its queue.
struct TBRQueueAnswer {
    enum class State {
        Printing, // the queue took the job
        Held, // the queue took the job but is stopped: the job waits in it
        Refused, // the queue turned the job away
        Unreachable, // no such queue, or no print server to ask
    };
    State state = State::Printing;
    QString reason; // the print system's own words, when it gave any
    int status = 0; // the print system's status code (IPP), when it gave one
};
// Hands a job to its queue. It may take long, or never return: the report printer calls it on a
// thread of its own and stops waiting after BRQueueAnswerLimitMs.
using TBRQueueSubmitter = std::function<TBRQueueAnswer(const TBRQueueJob& job)>;
// Replaces how jobs reach CUPS (tests); returns the previous submitter. An empty one restores
// the system's (libcups).
TBRQueueSubmitter setQueueSubmitter(TBRQueueSubmitter submitter);
// How long a print waits for its queue to answer; the windows stay responsive meanwhile.
constexpr std::int64_t BRQueueAnswerLimitMs = 60000;
// The clock that times that wait (tests); nullptr restores the system's. Returns the previous.
const platform::Clock* setQueueClock(const platform::Clock* clock);
// Replaces that limit (tests), in milliseconds of the queue clock; returns the previous one.
std::int64_t setQueueAnswerLimit(std::int64_t ms);
std::int64_t brQueueAnswerLimitMs();

// Every call into the print server (libcups, Qt's print plug-in) runs on a thread of its own:
// a server that takes connections and never answers holds a call for minutes. The GUI thread
// waits for one by turning the event loop, so the windows paint, timers run and a Cancel is
// taken, and gives up after the answer limit.
class TBROffThreadCall {
public:
    // Starts `call` on a thread of its own.
    static std::shared_ptr<TBROffThreadCall> start(std::function<void()> call);
    // Waits until the call has returned (true), or until the answer limit has passed on the
    // queue clock or `cancelled` says so (false; the call goes on alone).
    bool await(const std::function<bool()>& cancelled = {});
    bool done() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// Lists the print server's queues. It may take long, or never return: the program calls it on a
// thread of its own.
using TBRQueueLister = std::function<TBRQueueList()>;
// Replaces how queues are listed (tests); returns the previous lister. An empty one restores the
// system's (Qt's print plug-in).
TBRQueueLister setQueueLister(TBRQueueLister lister);
// Asks for the queues and waits as TBROffThreadCall::await does; nothing when no answer came.
// A listing still under way is waited for rather than asked again.
std::optional<TBRQueueList> brListQueues(const std::function<bool()>& cancelled = {});
// Starts a listing that nobody waits for; its answer is remembered as every answer is.
void brRefreshQueues();
// The queues of the last answer (empty until one has come).
TBRQueueList brKnownQueues();
// The default queue's paper in the last answer: A4 until one has come, or when it has none.
TBRPaperSize brDefaultQueuePaper();
// True once an answer in this run of the program has named a default queue.
bool brDefaultQueueSeen();
// Forgets every answer (tests).
void brForgetQueues();
// Removes the files of jobs still being handed to their queues (done when the program ends).
void brRemovePendingJobFiles();

// Lets the windows breathe during a long run or print: the report run, its controllers and the
// printer call brYield between rows and pages, so that a cancel button is taken and the preview
// shows new pages. The engine itself never runs the event loop: the program's preview start-up
// (brPrevStartUp) installs a hook that handles pending events; without one brYield does nothing.
using TBRYieldHook = std::function<void()>;
// Replaces the hook; returns the previous one. An empty hook makes brYield do nothing.
TBRYieldHook setBRYieldHook(TBRYieldHook hook);
void brYield();

// The output side of a report run: pages into the page store (for preview, printing, saving)
// or straight to a printer. Messages to the preview, the progress form and the owning report
// are signals; pageAvailable, progressUpdate and printRequested are always delivered later from the
// event loop, as posted messages were.
class TBRPrinter : public QObject {
    Q_OBJECT
public:
    enum class Status : std::uint8_t { Idle = 0, Busy = 1, Ready = 2 };
    enum class Destination : std::uint8_t { Store = 0, Printer = 1 };
    enum class PrintOutcome {
        Printed, // every page of the range reached the printer
        Requested, // the owning report was asked to run itself again for the printer
        NothingToPrint, // the range holds no page
        Cancelled,
        Refused, // not ready, or a print is already running
        Failed, // the file or queue refused the job: lastError() says why
    };
    // Where a print or a run to the printer failed.
    enum class PrintStep {
        None, // nothing failed
        OpenJob, // the job's file could not be made (the PDF beside its target, a queue's folder)
        Pages, // the pages could not be put on the job (the engine's error)
        WriteJob, // the PDF could not be written or moved into its place
        Queue, // the queue refused the job, could not be reached or did not answer
    };
    // Why a print failed: at which step, with the system's code where it gave one, and the
    // words for the operator.
    struct PrintFailure {
        PrintStep step = PrintStep::None;
        int code = 0; // errno for a file, the print system's status for a queue; 0 when none
        QString message; // what went wrong, naming the queue or the file
        bool failed() const { return step != PrintStep::None; }
    };
    // How the last print or run to the printer ended, in words for the operator.
    struct PrintResult {
        PrintOutcome outcome = PrintOutcome::NothingToPrint;
        PrintFailure failure; // Failed: why
        QString notice; // Printed: where the PDF file went, or that a stopped queue holds the job
        bool held = false; // the notice needs the operator: the queue is stopped
    };

    explicit TBRPrinter(TBRPrinterOwner* owner = nullptr, QObject* parent = nullptr);
    ~TBRPrinter() override;

    TBRPrinterOwner* owner() const { return m_owner; }
    Status getStatus() const { return m_status; }
    Destination getDestination() const { return m_destination; }
    void SetDestination(Destination d) { m_destination = d; }
    int PageCount() const { return m_pageCount; }
    int currentPage() const { return m_currentPage; }
    bool SetCurrentPage(int n);
    int progress() const { return m_progress; }
    bool Cancelled() const { return m_cancel; }
    int FirstPage() const { return m_firstPage; }
    int LastPage() const { return m_lastPage; }
    void setFirstPage(int n) { m_firstPage = n; }
    void setLastPage(int n) { m_lastPage = n; }
    bool complete() const { return m_complete; }
    void setComplete(bool on) { m_complete = on; }
    QString title() const { return m_title; }
    void setTitle(const QString& title) { m_title = title; }
    QString lastError() const { return m_last.failure.message; }
    const PrintResult& lastPrint() const { return m_last; }

    // Device pixels per tenth of a millimetre on the current page.
    double horizontalFactor() const { return m_factorX; }
    double verticalFactor() const { return m_factorY; }
    int ToDeviceX(double tenths) const;
    int ToDeviceY(double tenths) const;
    int ToDeviceWidth(double tenths) const;
    int ToDeviceHeight(double tenths) const;
    // The sheet in tenths of a millimetre as the pages are drawn: a table paper turned for
    // landscape; Default and Custom sheets as they stand.
    int PaperWidth() const;
    int PaperLength() const;

    // A document: BeginDoc, NewPage for every page (the first included), drawing on Canvas(),
    // then EndDoc, or FinishPage when the run was cancelled.
    void BeginDoc();
    void NewPage();
    QPainter* Canvas() const { return m_canvas; }
    void EndDoc();
    // Ends a cancelled run: a printer job is dropped; the open page goes into the store unless
    // dropOpenPage.
    void FinishPage(bool dropOpenPage = false);
    void Cancel() { m_cancel = true; }
    // Tells the preview or progress form how far the run or print is (percent), from the event
    // loop.
    void NotifyProgress(int percent);
    void Cleanup();
    bool InPrintRange() const;

    // Stored page n as a new picture; nothing unless busy or ready and 1 <= n <= PageCount.
    std::unique_ptr<QPicture> GetPage(int n);
    // Page n as GetPage gives it, or nothing when it cannot be read: a damaged page is announced
    // once (pageDamaged) and skipped quietly from then on, so that paging, thumbnails, search
    // and printing go on with the other pages.
    std::unique_ptr<QPicture> readPage(int n);
    bool pageDamagedBefore(int n) const { return m_damagedPages.contains(n); }
    TBRPageList& pageList() { return *m_pageList; }
    void SetCompression(bool on);

    // A stored report file. Save needs a ready store; both raise EBRStoreError on failure.
    // Load refuses (false) while a print runs.
    void Save(const QString& fileName);
    bool Load(const QString& fileName);

    // Prints the ready pages (or asks the owning report to run again for the printer).
    PrintOutcome Print();
    bool printing() const { return m_printing; }
    // Shows the preview: the preview event when set, else the registered preview interface,
    // with the given modality.
    void StartPreview(Qt::WindowModality modality = Qt::NonModal);
    QWidget* previewForm() const;

    // The preview that shows this store tells when it starts (true) and stops (false) showing
    // it; stopping cancels a busy run and calls the preview-closed event.
    void CancelIfRequested(bool showing);
    bool previewShowing() const { return m_previewShowing; }
    // The preview window closed: tells the owning report (clientClosed), after a running print.
    void NotifyClientClosed();
    // The owning report, which runs itself again for the printer on printRequested.
    void setClient(QObject* client);
    QObject* client() const;
    // The preview or progress form that shows this printer's pages and progress.
    void setMessageReceiver(QObject* receiver);
    QObject* messageReceiver() const;
    void SetOutlineTarget(QTreeWidget* view);

    // Settings pass-through, each into the working settings.
    TPrinterSettings& settings() { return *m_settings; }
    const TPrinterSettings& settings() const { return *m_settings; }
    void setCopies(int n) { m_settings->setCopies(n); }
    void setOutputBin(TBRBin bin) { m_settings->setOutputBin(bin); }
    void setDuplex(bool on) { m_settings->setDuplex(on); }
    void setExtendedDuplex(int code) { m_settings->setExtendedDuplex(code); }
    void setUseCustomBinCode(bool on) { m_settings->setUseCustomBinCode(on); }
    void setCustomBinCode(int code) { m_settings->setCustomBinCode(code); }
    void setUseCustomPaperCode(bool on) { m_settings->setUseCustomPaperCode(on); }
    void setCustomPaperCode(int code) { m_settings->setCustomPaperCode(code); }
    void setPrintQuality(int q) { m_settings->setPrintQuality(q); }
    void setCollate(int c) { m_settings->setCollate(c); }
    void setColorOption(int c) { m_settings->setColorOption(c); }
    bool SetSettingsPaperSize(TBRPaperSize paper) { return m_settings->setPaperSize(paper); }
    void setPaperWidth(int tenths) { m_settings->setPaperWidth(tenths); }
    void setPaperLength(int tenths) { m_settings->setPaperLength(tenths); }
    void setOrientation(TPrinterOrientation o) { m_settings->setOrientation(o); }
    void setPrintMetaFile(bool on) { m_settings->setPrintMetaFile(on); }
    void setUseStandardPrinter(bool on) { m_settings->setUseStandardPrinter(on); }
    void setOutputFileName(const QString& name) { m_settings->setOutputFileName(name); }
    // Copies every designer's choice of a report's settings, the page range included.
    void assignSettings(const TBRPrinterSettings& s);
    // Selects printer i (-1 the default queue) as the print server last listed it, with its
    // papers; asks the server nothing.
    void SetPrinterIndex(int i);
    int printerIndex() const { return m_printerIndex; }
    void SetGetSettingsEvent(TBRPrinterEvent e) { m_settings->SetGetSettingsEvent(std::move(e)); }
    void SetApplySettingsEvent(TBRPrinterEvent e) { m_settings->SetApplySettingsEvent(std::move(e)); }
    // The queue or file a print goes to, as far as it is known without asking the print server:
    // the default queue of the last answer, or the PDF file when none has named one.
    TBRPrintTarget target() const;
    // Decides where the print goes. Only the default queue needs the print server, asked off
    // the GUI thread (see brListQueues): a failure when it does not answer, or when it has no
    // default queue although the print was meant for one (a queue named by index, or a default
    // queue seen earlier in this run of the program). Without any queue the print goes to the
    // PDF file.
    PrintFailure resolveTarget();

    // Events, installed by the owning report; each is called only when set.
    std::function<void(TBRPrinter*)> OnPreview;
    std::function<void()> OnAfterPrint;
    std::function<void()> OnPreviewClosed;
    std::function<void()> OnSetup;
    std::function<void()> OnExport;

signals:
    // Percent done of a run or print.
    void progressUpdate(int percent);
    // A print starts (true) or ends (false) waiting for the print server: for its queue list or
    // for its queue to take the job (delivered at once).
    void serverWaiting(bool waiting);
    // A new page is in the store (or the count at the end of a run).
    void pageAvailable(int pageCount);
    // Asks the owning report to print by running itself again.
    void printRequested();
    // The preview closed (delivered at once).
    void clientClosed(TBRPrinter* printer);
    // Page n of the store cannot be read (delivered at once, once per page and store).
    void pageDamaged(int page, const QString& message);

private:
    void post(std::function<void()> emitter);
    void announcePage();
    void NewMetafilePage();
    void storePage();
    void dropPage();
    bool StartPrinterPage();
    void EndPrinterPage();
    void abortJob();
    // Ends the job; lastPrint keeps its failure, or its notice and whether the queue holds it.
    PrintOutcome finishJob(TBRPrintJob& job);
    void setFactors(double dotsPerInchX, double dotsPerInchY);
    void guessPaper();
    TBRQueueJob queueOptions() const;
    PrintOutcome printPages(int from, int to);

    TBRPrinterOwner* m_owner;
    int m_printerIndex = -1;
    QString m_indexQueue; // the queue printer m_printerIndex was in the last answer
    std::optional<TBRPrintTarget> m_resolved; // where the job being run or printed goes
    Status m_status = Status::Idle;
    Destination m_destination = Destination::Store;
    int m_pageCount = 0;
    int m_currentPage = 0;
    int m_pagesAnnounced = 0;
    int m_progress = 0;
    bool m_cancel = false;
    bool m_previewShowing = false;
    int m_firstPage = 0;
    int m_lastPage = 0;
    double m_factorX = BRPageDotsPerInch / BRTenthsPerInch;
    double m_factorY = BRPageDotsPerInch / BRTenthsPerInch;
    int m_leftOffset = 0;
    int m_topOffset = 0;
    std::unique_ptr<TBRPageList> m_pageList;
    std::unique_ptr<QPicture> m_page;
    std::unique_ptr<QPainter> m_pagePainter; // on m_page
    QPainter* m_canvas = nullptr; // the page painter or the print job's
    std::unique_ptr<TBRPrintJob> m_job;
    QString m_title;
    QPointer<QObject> m_receiver;
    QPointer<QObject> m_client;
    QPointer<QWidget> m_previewForm;
    bool m_complete = false;
    QSet<int> m_damagedPages;
    bool m_printing = false;
    bool m_closeAfterPrint = false;
    bool m_cleanupAfterPrint = false;
    PrintResult m_last;
    std::unique_ptr<TPrinterSettings> m_settings;
};

// What the operator is told when a print or preview is asked for while an earlier one still
// runs or waits for the print server.
QString brEarlierPrintRunningText();

// Tells the operator how a print ended: a failure as an error, a job held by a stopped queue as
// a message, where a PDF file went through `status` (a message when there is none), a print
// refused because an earlier one still runs, or one whose range held no page, as a message.
// Only a print the operator cancelled says nothing.
void brTellPrintResult(
    const TBRPrinter::PrintResult& result, const std::function<void(const QString&)>& status = {});

// True when one of the page's drawn texts holds `text` (a line drawn in several runs counts as
// one text). Without case sensitivity, case is folded for every script.
bool SearchMetafileText(const QString& text, const QPicture& page, bool caseSensitive);
// The texts drawn on a page, one per drawn line, in drawing order.
QStringList pageTexts(const QPicture& page);
// A line drawn on a page and its text cell (ascent to descent) in page pixels.
struct BRDrawnLine {
    QString text;
    QRectF cell;
};
QList<BRDrawnLine> pageLines(const QPicture& page);
