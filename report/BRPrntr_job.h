#pragma once

// One print job of the report printer: pages are drawn into a temporary PDF file, which only a
// finished job moves into place or hands to its CUPS queue. A PDF writer cannot take back a page
// it has written, so a cancelled or failed job leaves nothing behind.

#include "report/BRPrntr.h"

#include <QString>
#include <memory>

class QPainter;
class QPrinter;
class QTemporaryFile;

// The PDF file printing goes to when no file name was given and the system has no queue:
// the title (or "report") with ".pdf", in the data folder.
QString BRDefaultPdfFileName(const QString& title);

class TBRPrintJob {
public:
    TBRPrintJob();
    ~TBRPrintJob();
    TBRPrintJob(const TBRPrintJob&) = delete;
    TBRPrintJob& operator=(const TBRPrintJob&) = delete;

    // Opens the job on the paper and orientation of `model`; `resolution` 0 takes the model's.
    // A queue gets the job's title, copies, collation and duplex from `options`. False
    // (ErrorString says why) when no file can be made.
    bool Begin(
        const QPrinter& model, const TBRPrintTarget& target, const TBRQueueJob& options, int resolution);
    QPainter* Painter() const;
    int Resolution() const;
    bool Active() const;
    // Moves to the next sheet.
    bool NewPage();
    // Ends the job and removes what it wrote.
    void Abort();
    // Ends the job: the PDF replaces the target file, or goes to the queue. False with
    // ErrorString when that fails (nothing is then left behind).
    bool Finish();
    QString ErrorString() const { return m_error; }

private:
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<QPainter> m_painter;
    std::unique_ptr<QTemporaryFile> m_file;
    TBRPrintTarget m_target;
    TBRQueueJob m_queueJob;
    QString m_error;
};
