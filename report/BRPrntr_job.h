#pragma once

// One print job of the report printer: pages are drawn into a PDF file of the job's own, which
// only a finished job moves into place or hands to its CUPS queue. A PDF writer cannot take back
// a page it has written, so a cancelled or failed job leaves nothing behind.

#include "report/BRPrntr.h"

#include <QList>
#include <QPicture>
#include <QString>
#include <memory>

class QFile;
class QPainter;
class QPdfWriter;
class QTemporaryDir;

// The PDF file printing goes to when no file name was given and the system has no queue:
// the title (or "report") with ".pdf", in the data folder.
QString brDefaultPdfFileName(const QString& title);

// A queue, or its print server, that cannot be reached, naming the queue when it is known.
QString brQueueUnreachableText(const QString& queue);

class TBRPrintJob {
public:
    TBRPrintJob();
    ~TBRPrintJob();
    TBRPrintJob(const TBRPrintJob&) = delete;
    TBRPrintJob& operator=(const TBRPrintJob&) = delete;

    // Opens the job on the sheet of `settings`, at `resolution` dots per inch (0: BRJobDotsPerInch).
    // A queue gets the job's title from `options` and the copies, collation, duplex, paper and
    // orientation of `settings`; a PDF file gets every copy written into it, collated as
    // `settings` says. The PDF is written by QPdfWriter, which asks the print server nothing.
    // A failure (step OpenJob) when no file can be made.
    TBRPrinter::PrintFailure begin(const TBRJobSettings& settings, const TBRPrintTarget& target,
        const TBRQueueJob& options, int resolution);
    // The current sheet's painter.
    QPainter* painter();
    // Puts a whole stored page (recorded at BRPageDotsPerInch) on the current sheet.
    void drawPage(const QPicture& page);
    // Device pixels per inch of the sheets.
    int resolution() const;
    bool active() const;
    // Moves to the next sheet.
    bool NewPage();
    // Ends the job and removes what it wrote.
    void abort();
    // Ends the job: the PDF replaces the target file only when every byte of it was written,
    // or goes to the queue. A failure (step WriteJob or Queue) when that fails (nothing is then
    // left behind, and a file it was to replace stays as it was). Otherwise Notice may say where
    // the PDF went or, with Held, that the queue is stopped and keeps the job. The wait for the
    // queue ends early when `cancelled` says so (a failure too: the queue may still print it).
    TBRPrinter::PrintFailure Finish(const std::function<bool()>& cancelled = {});
    QString notice() const { return m_notice; }
    bool held() const { return m_held; }

private:
    bool recording() const { return m_copies > 1; }
    bool writeSheets();
    TBRPrinter::PrintFailure submit(const std::function<bool()>& cancelled);
    void removeFile();

    std::unique_ptr<QFile> m_file;
    std::unique_ptr<QPdfWriter> m_writer;
    std::unique_ptr<QPainter> m_painter;
    QString m_fileName; // the PDF being written
    std::unique_ptr<QTemporaryDir> m_folder; // a queue job's file lives in a folder of its own
    TBRPrintTarget m_target;
    TBRQueueJob m_queueJob;
    // Copies written into a PDF file: the sheets are recorded first and written once per copy.
    int m_copies = 1;
    bool m_collate = false;
    QList<QPicture> m_sheets;
    std::unique_ptr<QPainter> m_sheetPainter;
    int m_resolution = BRJobDotsPerInch;
    QString m_notice;
    bool m_held = false;
};
