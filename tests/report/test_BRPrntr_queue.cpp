#include "BRPrinterTestSupport.h"
#include "report/BRPrgres.h"
#include "report/BRPrntr_job.h"
#include "support/TestSupport.h"
#include "support/WindowInput.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace printer_support;
using Outcome = TBRPrinter::PrintOutcome;

namespace {

// A store of `pages` numbered pages on the paper given, printed to queue "office".
struct QueuePrint {
    explicit QueuePrint(TBRPaperSize paper = TBRPaperSize::A4,
        TPrinterOrientation orientation = TPrinterOrientation::poPortrait, int pages = 2)
    {
        printer.settings().setQueueName(QStringLiteral("office"));
        EXPECT_TRUE(printer.SetSettingsPaperSize(paper));
        printer.setOrientation(orientation);
        printer.setTitle(QStringLiteral("予定表"));
        runPages(printer, pages);
    }
    TBRPrinter printer;
};

} // namespace

TEST(BRPrinterQueueJob, CarriesThePaperTheCopiesAndTheTitleAsItsDocument)
{
    struct Case {
        TBRPaperSize paper;
        TPrinterOrientation orientation;
        int copies;
        int collate;
        int duplex;
        QString title;
        QString media;
        bool landscape;
        QString document;
    };
    const Case cases[] = {
        { TBRPaperSize::Letter, TPrinterOrientation::poPortrait, 3, 1, BRDuplexShortEdge,
            QStringLiteral("予定表"), QStringLiteral("Letter"), false, QStringLiteral("予定表") },
        { TBRPaperSize::A4, TPrinterOrientation::poLandscape, 1, 0, BRDuplexSimplex,
            QStringLiteral("第1/2日"), QStringLiteral("A4"), true, QStringLiteral("第1_2日") },
        { TBRPaperSize::A3, TPrinterOrientation::poPortrait, 2, 0, BRDuplexLongEdge, QString(),
            QStringLiteral("A3"), false, QStringLiteral("report") },
    };
    for (const Case& c : cases) {
        FakeQueue queue;
        QueuePrint t(c.paper, c.orientation);
        t.printer.setCopies(c.copies);
        t.printer.setCollate(c.collate);
        t.printer.setExtendedDuplex(c.duplex);
        t.printer.setTitle(c.title);
        ASSERT_EQ(t.printer.Print(), Outcome::Printed) << t.printer.lastError().toStdString();
        ASSERT_EQ(queue.jobs().size(), 1);
        const TBRQueueJob job = queue.jobs()[0].job;
        EXPECT_EQ(job.queue, QStringLiteral("office"));
        EXPECT_EQ(job.title, c.title);
        EXPECT_EQ(job.media, c.media);
        EXPECT_EQ(job.landscape, c.landscape);
        EXPECT_EQ(job.copies, c.copies);
        EXPECT_EQ(job.collate, c.collate != 0);
        EXPECT_EQ(job.duplexCode, c.duplex);
        EXPECT_EQ(QFileInfo(job.fileName).fileName(), c.document);
        // The queue makes the copies: its file holds the pages once.
        EXPECT_EQ(pdfSeiten(queue.jobs()[0].copy), (QList<int> { 1, 2 })) << c.media.toStdString();
        EXPECT_FALSE(QFileInfo::exists(job.fileName)); // gone once the queue had it
    }
}

TEST(BRPrinterQueueJob, AVanishedQueueOrServerIsSaidAsUnreachable)
{
    // The system's CUPS client, asked for a queue no server has (or with no server running, or
    // no CUPS at all), must not answer with a bare system error.
    QueuePrint t;
    t.printer.settings().setQueueName(QStringLiteral("tavo-test-no-such-queue"));
    EXPECT_EQ(t.printer.Print(), Outcome::Failed);
    const QString error = t.printer.lastError();
    EXPECT_TRUE(error.contains(QStringLiteral("プリントサーバーに接続できません"))) << error.toStdString();
    EXPECT_FALSE(error.contains(QStringLiteral("No such file"))) << error.toStdString();
}

TEST(BRPrinterPdfFile, CopiesAreWrittenIntoTheFileInCollateOrder)
{
    struct Case {
        int copies;
        int collate;
        QList<int> pages;
    };
    const Case cases[] = {
        { 1, 1, { 1, 2, 3 } },
        { 2, 1, { 1, 2, 3, 1, 2, 3 } },
        { 2, 0, { 1, 1, 2, 2, 3, 3 } },
        { 3, 0, { 1, 1, 1, 2, 2, 2, 3, 3, 3 } },
    };
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("予定表.pdf"));
    for (const Case& c : cases) {
        for (const TBRPrinter::Destination d :
            { TBRPrinter::Destination::Store, TBRPrinter::Destination::Printer }) {
            // Stored pages printed afterwards, and a run straight to the file.
            QFile::remove(pdf);
            TBRPrinter printer;
            printer.setOutputFileName(pdf);
            printer.setCopies(c.copies);
            printer.setCollate(c.collate);
            printer.SetDestination(d);
            runPages(printer, 3);
            if (d == TBRPrinter::Destination::Store) {
                ASSERT_EQ(printer.Print(), Outcome::Printed);
            }
            const TBRPrinter::PrintResult& r = printer.lastPrint();
            EXPECT_EQ(r.outcome, Outcome::Printed);
            EXPECT_EQ(pdfSeiten(pdf), c.pages) << c.copies << " " << c.collate << " " << int(d);
            // Where the file went is said.
            EXPECT_TRUE(r.notice.contains(QDir::toNativeSeparators(pdf))) << r.notice.toStdString();
            EXPECT_FALSE(r.held);
        }
    }
    EXPECT_EQ(
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("予定表.pdf") });
}

namespace {

// The file's mode bits (owner, group, others), without the flags Qt derives for the caller.
QFileDevice::Permissions mode(QFileDevice::Permissions p)
{
    return p & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

} // namespace

TEST(BRPrinterPdfFile, GetsTheModeOfANewFileOrKeepsTheModeOfTheFileItReplaces)
{
    QTemporaryDir dir;
    QFile probe(dir.filePath(QStringLiteral("probe")));
    ASSERT_TRUE(probe.open(QIODevice::WriteOnly));
    const QFileDevice::Permissions fresh = probe.permissions(); // as the umask allows
    const QFileDevice::Permissions kept
        = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;

    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    TBRPrinter printer;
    printer.setOutputFileName(pdf);
    runPages(printer, 2);
    ASSERT_EQ(printer.Print(), Outcome::Printed);
    EXPECT_EQ(mode(QFile::permissions(pdf)), mode(fresh));

    ASSERT_TRUE(QFile::setPermissions(pdf, kept));
    ASSERT_EQ(printer.Print(), Outcome::Printed);
    EXPECT_EQ(mode(QFile::permissions(pdf)), kept);
    EXPECT_EQ(pdfSeiten(pdf), (QList<int> { 1, 2 }));
}

TEST(BRPrinterPdfFile, AFileThatCannotBeWrittenIsAFailureNamingIt)
{
    TBRPrinter printer;
    printer.setOutputFileName(QStringLiteral("/nonexistent/folder/out.pdf"));
    runPages(printer, 1);
    EXPECT_EQ(printer.Print(), Outcome::Failed);
    EXPECT_TRUE(printer.lastError().contains(QStringLiteral("/nonexistent/folder/out.pdf")));
}

// Every failure, of stored pages printed and of a run straight to the printer alike, says its
// step and the system's own code where there is one, with words that name the file or queue.
TEST(BRPrinterFailure, SaysItsStepAndTheSystemsCode)
{
    using Step = TBRPrinter::PrintStep;
    using State = TBRQueueAnswer::State;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("a-folder"));
    ASSERT_TRUE(QDir().mkdir(folder));
    struct Case {
        QString queue; // empty: a PDF file
        QString file;
        std::optional<TBRQueueAnswer> answer; // none: the queue never answers
        Step step;
        int code;
        QString says;
    };
    const Case cases[] = {
        { {}, QStringLiteral("/nonexistent/folder/out.pdf"), {}, Step::OpenJob, 0,
            QStringLiteral("/nonexistent/folder/out.pdf") },
        { {}, folder, {}, Step::WriteJob, EISDIR, folder },
        { QStringLiteral("office"), {}, TBRQueueAnswer { State::Refused, QStringLiteral("kaput"), 0x0500 },
            Step::Queue, 0x0500, QStringLiteral("プリンタ office が印刷を受け付けませんでした。kaput") },
        { QStringLiteral("office"), {}, TBRQueueAnswer { State::Unreachable, {}, 0x0406 }, Step::Queue,
            0x0406, QStringLiteral("プリンタ office またはプリントサーバーに接続できません") },
        { QStringLiteral("office"), {}, std::nullopt, Step::Queue, 0,
            QStringLiteral("プリンタ office が応答しません") },
    };
    for (const Case& c : cases) {
        for (const TBRPrinter::Destination d :
            { TBRPrinter::Destination::Store, TBRPrinter::Destination::Printer }) {
            std::optional<FakeQueue> queue;
            std::optional<HurriedQueueClock> clock;
            if (c.answer)
                queue.emplace(*c.answer);
            if (!c.answer && !c.queue.isEmpty()) {
                queue.emplace(FakeQueue::hanging());
                clock.emplace();
            }
            TBRPrinter printer;
            printer.settings().setQueueName(c.queue);
            printer.setOutputFileName(c.file);
            printer.SetDestination(d);
            runPages(printer, 2);
            if (d == TBRPrinter::Destination::Store)
                printer.Print();
            const TBRPrinter::PrintResult& r = printer.lastPrint();
            const std::string at = c.says.toStdString() + " " + std::to_string(int(d));
            EXPECT_EQ(r.outcome, Outcome::Failed) << at;
            EXPECT_EQ(r.failure.step, c.step) << at;
            EXPECT_EQ(r.failure.code, c.code) << at;
            EXPECT_TRUE(r.failure.message.contains(QDir::toNativeSeparators(c.says)))
                << at << " / " << r.failure.message.toStdString();
        }
    }
}

// A print server that takes connections and never answers, asked for its queues (a print to the
// default queue) or handed the job: the wait ends within the answer limit with the reason said,
// and the event loop turned all along. The job's file, still held by the hand-over, goes when
// the program ends.
TEST(BRPrinterQueueWait, AServerThatNeverAnswersIsGivenUpOnWhileTheWindowsRunOn)
{
    const QueueAnswerLimit limit(300);
    struct Case {
        QString queue; // empty: the default queue, which needs the queue list
        QString says;
    };
    const Case cases[] = {
        { QString(), QStringLiteral("プリントサーバーが応答しません") },
        { QStringLiteral("office"), QStringLiteral("プリンタ office が応答しません") },
    };
    for (const Case& c : cases) {
        std::optional<FakeLister> lister;
        std::optional<FakeQueue> queue;
        if (c.queue.isEmpty()) {
            lister.emplace(FakeLister::hanging());
        } else {
            lister.emplace(FakeLister::office());
            queue.emplace(FakeQueue::hanging());
        }
        TBRPrinter printer;
        printer.settings().setQueueName(c.queue);
        runPages(printer, 2);
        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(20);
        QElapsedTimer waited;
        waited.start();
        EXPECT_EQ(printer.Print(), Outcome::Failed);
        EXPECT_LT(waited.elapsed(), 5000);
        EXPECT_GE(ticks, 5) << "the GUI thread kept its events going";
        EXPECT_TRUE(printer.lastError().contains(c.says)) << printer.lastError().toStdString();
        if (queue) {
            ASSERT_EQ(queue->jobs().size(), 1);
            const QString folder = QFileInfo(queue->jobs()[0].job.fileName).absolutePath();
            EXPECT_TRUE(QFileInfo::exists(folder));
            brRemovePendingJobFiles();
            EXPECT_FALSE(QFileInfo::exists(folder));
        } else {
            EXPECT_EQ(lister->calls(), 1);
        }
    }

    // With the whole minute to wait, each wait shows the progress form saying what it waits for,
    // and its Cancel ends the wait: the queue list of a print to the default queue and of printer
    // setup (nothing is said), and the hand-over of a job (which may yet print: said).
    const QueueAnswerLimit minute(BRQueueAnswerLimitMs);
    enum class Wait { PrintsQueueList, SetupsQueueList, HandOver };
    struct Waiting {
        Wait wait;
        QString says;
    };
    const Waiting waits[] = {
        { Wait::PrintsQueueList, QString() },
        { Wait::SetupsQueueList, QString() },
        { Wait::HandOver, QStringLiteral("プリンタ office の応答を待つのをやめました") },
    };
    struct Owner : TBRPrinterOwner {
        TBandReportPrinterSettings s;
        const TBRPrinterSettings& ownerPrinterSettings() const override { return s; }
    } owner;
    for (const Waiting& w : waits) {
        const testing_support::ScriptedAsker asker;
        std::optional<FakeLister> server;
        std::optional<FakeQueue> queue;
        if (w.wait == Wait::HandOver) {
            server.emplace(FakeLister::office());
            queue.emplace(FakeQueue::hanging());
        } else {
            server.emplace(FakeLister::hanging());
        }
        QString shown;
        QTimer::singleShot(200, [&] {
            auto* form = qobject_cast<TBRProgressForm*>(QApplication::activeModalWidget());
            ASSERT_TRUE(form && form->isVisible());
            shown = form->Info->text();
            if (w.wait == Wait::HandOver)
                testing_support::saveGrab(form, QStringLiteral("BRPrgres_server_wait"));
            testing_support::userClick(form->CancelButton);
        });
        QElapsedTimer waited;
        waited.start();
        if (w.wait == Wait::SetupsQueueList) {
            TBandReport report;
            EXPECT_FALSE(report.PrinterSetup());
        } else {
            TBRPrinter printer(&owner);
            runPages(printer, 1);
            EXPECT_EQ(printer.Print(), w.says.isEmpty() ? Outcome::Cancelled : Outcome::Failed);
            EXPECT_TRUE(printer.lastError().contains(w.says)) << printer.lastError().toStdString();
        }
        EXPECT_LT(waited.elapsed(), 5000);
        EXPECT_EQ(shown, QStringLiteral("プリントサーバーの応答を待っています…"));
        EXPECT_TRUE(asker.errors().isEmpty() && asker.messages().isEmpty());
        brRemovePendingJobFiles();
    }
}

// The default queue, seen in this run of the program, fails: its print server stops answering or
// is gone (its queue list hangs or comes back empty), or the queue itself hangs or cannot be
// reached. Each failure names the queue the last listing named, and nothing is quietly printed
// into a file. Never having seen a queue, the print goes to the PDF file in the data folder.
TEST(BRPrinterQueueWait, AVanishedDefaultQueueIsSaid)
{
    enum class Fails { ListHangs, ListIsEmpty, JobHangs, JobUnreachable };
    struct Case {
        Fails fails;
        QString says;
    };
    const Case cases[] = {
        { Fails::ListHangs,
            QStringLiteral("プリントサーバーが応答しません。プリンタ office に印刷できませんでした") },
        { Fails::ListIsEmpty, QStringLiteral("プリンタ office またはプリントサーバーに接続できません") },
        { Fails::JobHangs, QStringLiteral("プリンタ office が応答しません") },
        { Fails::JobUnreachable, QStringLiteral("プリンタ office またはプリントサーバーに接続できません") },
    };
    const QString pdf = brDefaultPdfFileName(QStringLiteral("予定表"));
    for (const Case& c : cases) {
        FakeLister lister(FakeLister::office());
        std::optional<FakeQueue> queue(std::in_place);
        TBRPrinter printer;
        printer.setTitle(QStringLiteral("予定表"));
        runPages(printer, 1);
        ASSERT_EQ(printer.Print(), Outcome::Printed) << printer.lastError().toStdString();
        ASSERT_EQ(queue->jobs().size(), 1);
        EXPECT_EQ(queue->jobs()[0].job.queue, QStringLiteral("office"));

        std::optional<HurriedQueueClock> clock;
        switch (c.fails) {
        case Fails::ListHangs:
            lister.hangFromNow();
            clock.emplace();
            break;
        case Fails::ListIsEmpty:
            lister.answer({});
            break;
        case Fails::JobHangs:
            queue.reset();
            queue.emplace(FakeQueue::hanging());
            clock.emplace();
            break;
        case Fails::JobUnreachable:
            queue.reset();
            queue.emplace(TBRQueueAnswer { TBRQueueAnswer::State::Unreachable, {}, 0x0406 });
            break;
        }
        EXPECT_EQ(printer.Print(), Outcome::Failed);
        EXPECT_TRUE(printer.lastError().contains(c.says)) << printer.lastError().toStdString();
        EXPECT_FALSE(QFile::exists(pdf));
        brRemovePendingJobFiles();
    }

    const FakeLister none; // a run of the program that never saw a queue
    TBRPrinter printer;
    printer.setTitle(QStringLiteral("予定表"));
    runPages(printer, 1);
    EXPECT_EQ(printer.Print(), Outcome::Printed);
    EXPECT_TRUE(printer.lastPrint().notice.contains(QDir::toNativeSeparators(pdf)));
    EXPECT_TRUE(QFile::remove(pdf));
}

// A disk that fills up while the PDF is written (a file size limit in a child process): the print
// fails naming the file, and the file it was to replace stays as it was, with nothing beside it.
TEST(BRPrinterPdfFile, AFullDiskKeepsTheFileItWasToReplace)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    TBRPrinter printer;
    printer.setOutputFileName(pdf);
    runPages(printer, 3);
    ASSERT_EQ(printer.Print(), Outcome::Printed);
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();

    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { static_cast<rlim_t>(good.size() / 2), static_cast<rlim_t>(good.size() / 2) };
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool said = printer.Print() == Outcome::Failed && printer.lastError().contains(pdf);
        _exit(said ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), good);
    EXPECT_EQ(
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("out.pdf") });
}
