#include "report/BRPrntr_job.h"

#include "platform/DataFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>

// ---------------------------------------------------------------------------------------------
// Handing a finished PDF to CUPS
// ---------------------------------------------------------------------------------------------

namespace {

// libcups is what Qt's own CUPS support loads; it is taken at run time so that a system without
// CUPS still prints to PDF files.
struct CupsOption {
    char* name;
    char* value;
};
using CupsPrintFile
    = int (*)(const char* queue, const char* file, const char* title, int count, CupsOption* options);
using CupsLastErrorString = const char* (*)();

bool SubmitToCups(const TBRQueueJob& job, QString* error)
{
    QLibrary cups(QStringLiteral("cups"), 2);
    const auto printFile = reinterpret_cast<CupsPrintFile>(cups.resolve("cupsPrintFile"));
    const auto lastError = reinterpret_cast<CupsLastErrorString>(cups.resolve("cupsLastErrorString"));
    if (!printFile) {
        *error
            = QStringLiteral("CUPS のライブラリ (libcups) が見つからないため、プリンタ %1 に印刷できません。")
                  .arg(job.queue);
        return false;
    }
    static const char* const Sides[] = { "one-sided", "two-sided-long-edge", "two-sided-short-edge" };
    const char* sides = job.duplexCode == BRDuplexLongEdge ? Sides[1]
        : job.duplexCode == BRDuplexShortEdge              ? Sides[2]
                                                           : Sides[0];
    QByteArray copies = QByteArray::number(std::max(1, job.copies));
    QByteArray collate = job.collate ? "true" : "false";
    QByteArray sidesValue(sides);
    QByteArray names[] = { "copies", "collate", "sides" };
    CupsOption options[] = {
        { names[0].data(), copies.data() },
        { names[1].data(), collate.data() },
        { names[2].data(), sidesValue.data() },
    };
    const int id = printFile(job.queue.toLocal8Bit().constData(), QFile::encodeName(job.fileName).constData(),
        job.title.toUtf8().constData(), 3, options);
    if (id == 0) {
        const QString why = lastError ? QString::fromLocal8Bit(lastError()) : QString();
        *error = QStringLiteral("プリンタ %1 が印刷を受け付けませんでした。%2").arg(job.queue, why);
        return false;
    }
    return true;
}

TBRQueueSubmitter& Submitter()
{
    static TBRQueueSubmitter submitter;
    return submitter;
}

QString Native(const QString& name) { return QDir::toNativeSeparators(name); }

} // namespace

TBRQueueSubmitter SetQueueSubmitter(TBRQueueSubmitter submitter)
{
    return std::exchange(Submitter(), std::move(submitter));
}

QString BRDefaultPdfFileName(const QString& title)
{
    QString name = title.trimmed();
    // A title is no file name: keep it to characters every file system takes.
    static const QString Forbidden = QStringLiteral("/\\:*?\"<>|");
    for (QChar& c : name)
        if (Forbidden.contains(c) || c.unicode() < 0x20)
            c = u'_';
    if (name.isEmpty() || name.startsWith(u'.'))
        name.prepend(QStringLiteral("report"));
    return platform::DataFilePath(name + QStringLiteral(".pdf"));
}

// ---------------------------------------------------------------------------------------------
// Print job
// ---------------------------------------------------------------------------------------------

TBRPrintJob::TBRPrintJob() = default;

TBRPrintJob::~TBRPrintJob() { Abort(); }

bool TBRPrintJob::Begin(
    const QPrinter& model, const TBRPrintTarget& target, const TBRQueueJob& options, int resolution)
{
    m_target = target;
    // The PDF is written next to its final place, so that moving it there replaces the old file
    // in one step; a queue's PDF goes to the temporary folder.
    const QString folder = target.IsPdf() ? QFileInfo(target.fileName).absolutePath() : QDir::tempPath();
    m_file
        = std::make_unique<QTemporaryFile>(QDir(folder).filePath(QStringLiteral(".tavo-print-XXXXXX.pdf")));
    if (target.IsPdf() && target.fileName.isEmpty()) {
        m_error = QStringLiteral("PDF の出力ファイル名がありません。");
        return false;
    }
    if (!m_file->open()) {
        m_error = QStringLiteral("PDF ファイル %1 を書き込めません。%2")
                      .arg(Native(target.IsPdf() ? target.fileName : m_file->fileTemplate()),
                          m_file->errorString());
        m_file.reset();
        return false;
    }
    m_file->close();

    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrinter& p = *m_printer;
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(m_file->fileName());
    p.setResolution(resolution > 0 ? resolution : model.resolution());
    p.setPageLayout(model.pageLayout());
    p.setFullPage(true); // after the layout, which brings its own mode
    p.setDocName(options.title);
    p.setCreator(QStringLiteral("Tavo"));
    p.setColorMode(model.colorMode());
    m_queueJob = options;
    m_queueJob.queue = target.queue;
    m_queueJob.fileName = m_file->fileName();
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(&p)) {
        m_error = QStringLiteral("PDF ファイル %1 を書き込めません。").arg(Native(m_file->fileName()));
        Abort();
        return false;
    }
    return true;
}

QPainter* TBRPrintJob::Painter() const { return m_painter.get(); }

int TBRPrintJob::Resolution() const { return m_printer ? m_printer->resolution() : 0; }

bool TBRPrintJob::Active() const { return m_painter && m_painter->isActive(); }

bool TBRPrintJob::NewPage() { return m_printer && m_printer->newPage(); }

void TBRPrintJob::Abort()
{
    if (m_painter && m_painter->isActive())
        m_painter->end();
    m_painter.reset();
    m_printer.reset();
    m_file.reset(); // removes the temporary file
}

bool TBRPrintJob::Finish()
{
    if (!m_painter)
        return false;
    const bool written = m_painter->end() && m_printer->printerState() != QPrinter::Error;
    m_painter.reset();
    m_printer.reset();
    if (!written) {
        m_error = QStringLiteral("PDF ファイル %1 を書き込めません。").arg(Native(m_file->fileName()));
        m_file.reset();
        return false;
    }
    if (!m_target.IsPdf()) {
        const TBRQueueSubmitter& submit = Submitter();
        const bool ok = submit ? submit(m_queueJob, &m_error) : SubmitToCups(m_queueJob, &m_error);
        m_file.reset();
        return ok;
    }
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(m_file->fileName()).toStdString(),
        QFile::encodeName(m_target.fileName).toStdString(), ec);
    if (ec) {
        m_error = QStringLiteral("PDF ファイル %1 を書き込めません。%2")
                      .arg(Native(m_target.fileName), QString::fromLocal8Bit(ec.message().c_str()));
        m_file.reset();
        return false;
    }
    m_file->setAutoRemove(false);
    m_file.reset();
    return true;
}
