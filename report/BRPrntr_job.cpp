#include "report/BRPrntr_job.h"

#include "platform/Clock.h"
#include "platform/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <filesystem>
#include <mutex>
#include <system_error>

// ---------------------------------------------------------------------------------------------
// Handing a finished PDF to CUPS
// ---------------------------------------------------------------------------------------------

namespace {

// libcups is what Qt's own CUPS support loads; it is taken at run time so that a system without
// CUPS still prints to PDF files. The types mirror cups.h.
struct CupsOption {
    char* name;
    char* value;
};
struct CupsDest {
    char* name;
    char* instance;
    int isDefault;
    int numOptions;
    CupsOption* options;
};
using CupsPrintFile
    = int (*)(const char* queue, const char* file, const char* title, int count, CupsOption* options);
using CupsLastError = int (*)();
using CupsLastErrorString = const char* (*)();
using CupsGetNamedDest = CupsDest* (*)(void* http, const char* name, const char* instance);
using CupsFreeDests = void (*)(int count, CupsDest* dests);
using CupsGetOption = const char* (*)(const char* name, int count, CupsOption* options);

// IPP status codes that mean the queue or its server is not there.
constexpr int IppNotFound = 0x0406;
constexpr int IppServiceUnavailable = 0x0503;
// printer-state of a stopped queue.
constexpr const char* IppPrinterStopped = "5";

// What the print server says of the queue: nothing when it cannot be asked or has no such
// queue; else its printer-state ("5" when stopped; empty when this libcups cannot ask).
std::optional<QByteArray> queueState(QLibrary& cups, const QByteArray& queue)
{
    const auto getDest = reinterpret_cast<CupsGetNamedDest>(cups.resolve("cupsGetNamedDest"));
    const auto freeDests = reinterpret_cast<CupsFreeDests>(cups.resolve("cupsFreeDests"));
    const auto getOption = reinterpret_cast<CupsGetOption>(cups.resolve("cupsGetOption"));
    if (!getDest || !freeDests || !getOption)
        return QByteArray();
    CupsDest* dest = getDest(nullptr, queue.constData(), nullptr);
    if (!dest)
        return std::nullopt;
    const QByteArray state(getOption("printer-state", dest->numOptions, dest->options));
    freeDests(1, dest);
    return state;
}

TBRQueueAnswer submitToCups(const TBRQueueJob& job)
{
    using State = TBRQueueAnswer::State;
    QLibrary cups(QStringLiteral("cups"), 2);
    const auto printFile = reinterpret_cast<CupsPrintFile>(cups.resolve("cupsPrintFile"));
    const auto lastError = reinterpret_cast<CupsLastError>(cups.resolve("cupsLastError"));
    const auto lastErrorString = reinterpret_cast<CupsLastErrorString>(cups.resolve("cupsLastErrorString"));
    if (!printFile)
        return { State::Unreachable, QStringLiteral("CUPS のライブラリ (libcups) が見つかりません。") };

    QList<std::pair<QByteArray, QByteArray>> values {
        { "copies", QByteArray::number(std::max(1, job.copies)) },
        { "collate", job.collate ? "true" : "false" },
        { "sides",
            job.duplexCode == BRDuplexLongEdge        ? "two-sided-long-edge"
                : job.duplexCode == BRDuplexShortEdge ? "two-sided-short-edge"
                                                      : "one-sided" },
    };
    // The paper the pages were drawn on, not the queue's default; and, as Qt's own CUPS
    // printing does, the orientation of pages that lie across it.
    if (!job.media.isEmpty())
        values.append(std::pair<QByteArray, QByteArray>("media", job.media.toUtf8()));
    if (job.landscape)
        values.append(std::pair<QByteArray, QByteArray>("orientation-requested", "4"));
    QList<CupsOption> options;
    for (auto& [name, value] : values)
        options.append(CupsOption { name.data(), value.data() });

    // A queue name may carry an instance ("office/draft"); CUPS wants the queue alone.
    const QByteArray queue = job.queue.section(u'/', 0, 0).toLocal8Bit();
    const int id = printFile(queue.constData(), QFile::encodeName(job.fileName).constData(),
        job.title.toUtf8().constData(), static_cast<int>(options.size()), options.data());
    if (id == 0) {
        // A queue removed since it was chosen, or a print server that is not running, leaves only
        // an unrelated system error as the text ("No such file or directory"): whether the
        // server still knows the queue tells a refusal from a queue that cannot be reached.
        const int status = lastError ? lastError() : 0;
        const QString why = lastErrorString ? QString::fromUtf8(lastErrorString()) : QString();
        if (status == IppNotFound || status == IppServiceUnavailable || !queueState(cups, queue))
            return { State::Unreachable, QString(), status };
        return { State::Refused, why, status };
    }
    const std::optional<QByteArray> state = queueState(cups, queue);
    return { state && *state == IppPrinterStopped ? State::Held : State::Printing, QString() };
}

TBRQueueSubmitter& submitterOverride()
{
    static TBRQueueSubmitter submitter;
    return submitter;
}

// The folders of jobs handed to their queues whose hand-over has not returned: a queue that
// never answers would keep them for good, so they go when the program ends.
struct PendingFolders {
    std::mutex lock;
    QSet<QString> paths;
};

PendingFolders& pendingFolders()
{
    // Never destroyed: a hand-over that never returned may still end after the program's end.
    static auto* pending = new PendingFolders;
    return *pending;
}

void registerPendingFolder(const QString& path)
{
    // The program ends when its event loop does (also when a signal ended it), or at the
    // latest when the application object goes.
    static std::once_flag atExit;
    std::call_once(atExit, [] {
        qAddPostRoutine(brRemovePendingJobFiles);
        if (QCoreApplication* app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, &brRemovePendingJobFiles);
    });
    PendingFolders& p = pendingFolders();
    const std::lock_guard guard(p.lock);
    p.paths.insert(path);
}

void unregisterPendingFolder(const QString& path)
{
    PendingFolders& p = pendingFolders();
    const std::lock_guard guard(p.lock);
    p.paths.remove(path);
}

// Hands the job to its queue on a thread of its own while the event loop keeps turning, until
// the queue answers, the answer limit passes or `cancelled` says so (nothing then). The job's
// folder goes with the thread and is removed once the queue has the file.
std::optional<TBRQueueAnswer> awaitAnswer(TBRQueueSubmitter submit, const TBRQueueJob& job,
    std::unique_ptr<QTemporaryDir> folder, const std::function<bool()>& cancelled)
{
    const QString path = folder ? folder->path() : QString();
    if (!path.isEmpty())
        registerPendingFolder(path);
    auto answer = std::make_shared<TBRQueueAnswer>();
    const std::shared_ptr<TBROffThreadCall> call = TBROffThreadCall::start(
        [answer, submit = std::move(submit), job, folder = std::shared_ptr<QTemporaryDir>(std::move(folder)),
            path]() mutable {
            *answer = submit(job);
            folder.reset();
            if (!path.isEmpty())
                unregisterPendingFolder(path);
        });
    if (!call->await(cancelled))
        return std::nullopt;
    return *answer;
}

} // namespace

void brRemovePendingJobFiles()
{
    PendingFolders& p = pendingFolders();
    const std::lock_guard guard(p.lock);
    for (const QString& path : std::as_const(p.paths))
        QDir(path).removeRecursively();
    p.paths.clear();
}

namespace {

QString Native(const QString& name) { return QDir::toNativeSeparators(name); }

QString cannotWrite(const QString& file, const QString& why = QString())
{
    return QStringLiteral("PDF ファイル %1 を書き込めません。%2").arg(Native(file), why);
}

using Failure = TBRPrinter::PrintFailure;
using Step = TBRPrinter::PrintStep;

// A title as a file name: characters every file system takes; "report" when nothing is left.
QString safeFileName(const QString& title)
{
    QString name = title.trimmed();
    static const QString Forbidden = QStringLiteral("/\\:*?\"<>|");
    for (QChar& c : name)
        if (Forbidden.contains(c) || c.unicode() < 0x20)
            c = u'_';
    if (name.isEmpty() || name.startsWith(u'.'))
        name.prepend(QStringLiteral("report"));
    return name;
}

// An empty file beside `target` for the PDF to be written into, named so that nobody takes it
// for the finished file. It already has the mode the finished file is to have: that of the file
// it replaces, or that of any new file (QFile creates files as the umask allows); empty when it
// cannot be made.
QString newFileBeside(const QString& target, Failure* failure)
{
    const QFileInfo info(target);
    const QDir folder = info.absoluteDir();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString name
            = folder.filePath(QStringLiteral(".tavo-print-%1.pdf")
                                  .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(name))
                continue;
            *failure = { Step::OpenJob, 0, cannotWrite(target, file.errorString()) };
            return QString();
        }
        if (info.exists() && !file.setPermissions(info.permissions())) {
            *failure = { Step::OpenJob, 0, cannotWrite(target, file.errorString()) };
            file.remove();
            return QString();
        }
        return name;
    }
    *failure = { Step::OpenJob, 0, cannotWrite(target) };
    return QString();
}

} // namespace

TBRQueueSubmitter setQueueSubmitter(TBRQueueSubmitter submitter)
{
    return std::exchange(submitterOverride(), std::move(submitter));
}

QString brQueueUnreachableText(const QString& queue)
{
    return QStringLiteral("%1またはプリントサーバーに接続できません。プリンタが削除されていないか、"
                          "印刷サービス (CUPS) が動いているかを確かめてください。")
        .arg(queue.isEmpty() ? QStringLiteral("プリンタ") : QStringLiteral("プリンタ %1 ").arg(queue));
}

QString brDefaultPdfFileName(const QString& title)
{
    return platform::dataFilePath(safeFileName(title) + QStringLiteral(".pdf"));
}

// ---------------------------------------------------------------------------------------------
// Print job
// ---------------------------------------------------------------------------------------------

TBRPrintJob::TBRPrintJob() = default;

TBRPrintJob::~TBRPrintJob() { abort(); }

Failure TBRPrintJob::begin(
    const TBRJobSettings& settings, const TBRPrintTarget& target, const TBRQueueJob& options, int resolution)
{
    m_target = target;
    m_queueJob = options;
    m_queueJob.queue = target.queue;
    m_queueJob.copies = settings.copies;
    m_queueJob.collate = settings.collate;
    m_queueJob.duplexCode = settings.duplexCode;
    if (target.isPdf()) {
        // Written next to its final place, so that moving it there replaces the old file in one
        // step. Only a file gets the copies written into it; a queue makes its own.
        if (target.fileName.isEmpty())
            return { Step::OpenJob, 0, QStringLiteral("PDF の出力ファイル名がありません。") };
        Failure failure;
        m_fileName = newFileBeside(target.fileName, &failure);
        if (m_fileName.isEmpty())
            return failure;
        m_copies = std::max(1, settings.copies);
        m_collate = settings.collate;
    } else {
        m_folder = std::make_unique<QTemporaryDir>(
            QDir(QDir::tempPath()).filePath(QStringLiteral("tavo-print-XXXXXX")));
        if (!m_folder->isValid()) {
            const QString why = m_folder->errorString();
            m_folder.reset();
            return { Step::OpenJob, 0,
                QStringLiteral("プリンタ %1 に送る一時ファイルを作れません。%2").arg(target.queue, why) };
        }
        m_fileName = m_folder->filePath(safeFileName(options.title));
    }
    m_queueJob.fileName = m_fileName;

    const QString shownName = target.isPdf() ? target.fileName : m_fileName;
    m_file = std::make_unique<QFile>(m_fileName);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QString message = cannotWrite(shownName, m_file->errorString());
        abort();
        return { Step::OpenJob, 0, message };
    }
    m_writer = std::make_unique<QPdfWriter>(m_file.get());
    QPdfWriter& w = *m_writer;
    // Recorded sheets are pictures at the stored pages' resolution, replayed as they are.
    m_resolution = recording() ? BRPageDotsPerInch : resolution > 0 ? resolution : BRJobDotsPerInch;
    w.setResolution(m_resolution);
    // The whole sheet is drawn on, from its corner.
    QPageLayout layout = settings.layout;
    layout.setMinimumMargins(QMarginsF());
    layout.setMargins(QMarginsF());
    w.setPageLayout(layout);
    w.setTitle(options.title);
    w.setCreator(QStringLiteral("Tavo"));
    m_queueJob.media = layout.pageSize().key();
    m_queueJob.landscape = layout.orientation() == QPageLayout::Landscape;
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(&w)) {
        const QString message = cannotWrite(shownName);
        abort();
        return { Step::OpenJob, 0, message };
    }
    if (recording())
        m_sheets.append(QPicture());
    return {};
}

QPainter* TBRPrintJob::painter()
{
    if (!recording() || !m_painter)
        return m_painter.get();
    if (!m_sheetPainter)
        m_sheetPainter = std::make_unique<QPainter>(&m_sheets.last());
    return m_sheetPainter.get();
}

void TBRPrintJob::drawPage(const QPicture& page)
{
    if (recording()) {
        m_sheetPainter.reset();
        m_sheets.last() = page;
    } else if (m_painter) {
        m_painter->drawPicture(0, 0, page);
    }
}

int TBRPrintJob::resolution() const { return m_writer ? m_resolution : 0; }

bool TBRPrintJob::active() const { return m_painter && m_painter->isActive(); }

bool TBRPrintJob::NewPage()
{
    if (!m_writer)
        return false;
    if (!recording())
        return m_writer->newPage();
    // The painter works on the last sheet: it ends before the list grows.
    m_sheetPainter.reset();
    m_sheets.append(QPicture());
    return true;
}

bool TBRPrintJob::writeSheets()
{
    m_sheetPainter.reset();
    const int sheets = static_cast<int>(m_sheets.size());
    // Collated: 1..n, 1..n, ...; otherwise each sheet's copies together: 1, 1, 2, 2, ...
    for (int i = 0; i < sheets * m_copies; ++i) {
        const int sheet = m_collate ? i % sheets : i / m_copies;
        if (i > 0 && !m_writer->newPage())
            return false;
        m_painter->drawPicture(0, 0, m_sheets[sheet]);
    }
    return true;
}

void TBRPrintJob::removeFile()
{
    if (m_folder)
        m_folder.reset();
    else if (!m_fileName.isEmpty())
        QFile::remove(m_fileName);
    m_fileName.clear();
}

void TBRPrintJob::abort()
{
    m_sheetPainter.reset();
    m_sheets.clear();
    if (m_painter && m_painter->isActive())
        m_painter->end();
    m_painter.reset();
    m_writer.reset();
    m_file.reset();
    removeFile();
}

Failure TBRPrintJob::Finish(const std::function<bool()>& cancelled)
{
    if (!m_painter)
        return { Step::WriteJob, 0, QString() };
    bool written = !recording() || writeSheets();
    written = m_painter->end() && written;
    m_sheets.clear();
    m_painter.reset();
    m_writer.reset();
    // The writer says nothing of a write that failed (a full disk): the file does.
    written = written && m_file->flush() && m_file->error() == QFileDevice::NoError;
    const QString why = m_file->errorString();
    m_file->close();
    written = written && m_file->error() == QFileDevice::NoError;
    m_file.reset();
    if (!written) {
        const QString message = cannotWrite(m_target.isPdf() ? m_target.fileName : m_fileName, why);
        removeFile();
        return { Step::WriteJob, 0, message };
    }
    if (!m_target.isPdf())
        return submit(cancelled);
    std::error_code ec;
    std::filesystem::rename(
        QFile::encodeName(m_fileName).toStdString(), QFile::encodeName(m_target.fileName).toStdString(), ec);
    if (ec) {
        removeFile();
        return { Step::WriteJob, ec.value(),
            cannotWrite(m_target.fileName, QString::fromLocal8Bit(ec.message().c_str())) };
    }
    m_fileName.clear(); // it is the target now
    m_notice = QStringLiteral("PDF ファイル %1 に印刷しました。").arg(Native(m_target.fileName));
    return {};
}

Failure TBRPrintJob::submit(const std::function<bool()>& cancelled)
{
    using State = TBRQueueAnswer::State;
    const QString& queue = m_queueJob.queue;
    const TBRQueueSubmitter& replacement = submitterOverride();
    // The job's folder goes with the submission: the file stays until the queue has read it.
    const std::optional<TBRQueueAnswer> answer
        = awaitAnswer(replacement ? replacement : TBRQueueSubmitter(submitToCups), m_queueJob,
            std::move(m_folder), cancelled);
    m_fileName.clear();
    if (!answer && cancelled && cancelled())
        return { Step::Queue, 0,
            QStringLiteral("プリンタ %1 の応答を待つのをやめました。印刷されるかどうかは、"
                           "プリンタのキューで確かめてください。")
                .arg(queue) };
    if (!answer)
        return { Step::Queue, 0,
            QStringLiteral(
                "プリンタ %1 が応答しません。印刷されるかどうかは、プリンタのキューで確かめてください。")
                .arg(queue) };
    switch (answer->state) {
    case State::Printing:
        return {};
    case State::Held:
        m_held = true;
        m_notice = QStringLiteral("プリンタ %1 は停止しています。印刷はプリンタのキューで待っていて、"
                                  "プリンタを再開すると始まります。")
                       .arg(queue);
        return {};
    case State::Refused:
        return { Step::Queue, answer->status,
            QStringLiteral("プリンタ %1 が印刷を受け付けませんでした。%2").arg(queue, answer->reason) };
    case State::Unreachable:
        return { Step::Queue, answer->status, brQueueUnreachableText(queue) + answer->reason };
    }
    return { Step::Queue, answer->status, QString() };
}
