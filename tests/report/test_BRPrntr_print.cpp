#include "BRPrinterTestSupport.h"
#include "report/BRPrgres.h"
#include "report/BRPrntr_job.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QLabel>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace printer_support;
using Outcome = TBRPrinter::PrintOutcome;

namespace {

QList<int> ints(const QSignalSpy& spy)
{
    QList<int> out;
    for (const QList<QVariant>& args : spy)
        out << args.at(0).toInt();
    return out;
}

class StoredPages : public ::testing::Test {
protected:
    void SetUp() override
    {
        pdf = dir.filePath(QStringLiteral("out.pdf"));
        printer.setOutputFileName(pdf);
        runPages(printer, 5);
    }
    QStringList folderFiles() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir dir;
    QString pdf;
    YieldToEventLoop yield;
    TBRPrinter printer;
};

} // namespace

TEST_F(StoredPages, RangeIsClampedToThePagesThereAre)
{
    struct Case {
        int first, last;
        QList<int> pages;
    };
    const Case cases[] = {
        { 3, 4, { 3, 4 } },
        { 0, 0, { 1, 2, 3, 4, 5 } },
        { 4, 99, { 4, 5 } }, // no blank sheets after the last page
        { 0, 2, { 1, 2 } },
        { 4, 2, {} }, // last below first: nothing, not even a file
        { 7, 0, {} },
    };
    for (const Case& c : cases) {
        QFile::remove(pdf);
        printer.setFirstPage(c.first);
        printer.setLastPage(c.last);
        const Outcome outcome = printer.Print();
        EXPECT_EQ(outcome, c.pages.isEmpty() ? Outcome::NothingToPrint : Outcome::Printed)
            << c.first << "-" << c.last;
        if (c.pages.isEmpty())
            EXPECT_FALSE(QFile::exists(pdf));
        else
            EXPECT_EQ(pdfSeiten(pdf), c.pages) << c.first << "-" << c.last;
    }
    EXPECT_TRUE(folderFiles().isEmpty()); // no temporary file left behind
}

TEST_F(StoredPages, ProgressIsPostedPerPageOfTheRange)
{
    QSignalSpy progress(&printer, &TBRPrinter::progressUpdate);
    printer.setFirstPage(3);
    printer.setLastPage(4);
    ASSERT_EQ(printer.Print(), Outcome::Printed);
    QCoreApplication::processEvents();
    EXPECT_EQ(ints(progress), (QList<int> { 50, 100 }));
}

TEST_F(StoredPages, CancelStopsAfterTheCurrentPageAndLeavesNoFile)
{
    QList<int> pagesAtProgress;
    // The progress of page 1 arrives while page 2 is being sent: page 2 is the last.
    QObject::connect(&printer, &TBRPrinter::progressUpdate, &printer, [&](int) {
        pagesAtProgress << printer.currentPage();
        printer.Cancel();
    });
    EXPECT_EQ(printer.Print(), Outcome::Cancelled);
    EXPECT_EQ(printer.currentPage(), 2);
    EXPECT_TRUE(folderFiles().isEmpty());
    QObject::disconnect(&printer, &TBRPrinter::progressUpdate, nullptr, nullptr);

    // The next print starts afresh and prints every page.
    EXPECT_EQ(printer.Print(), Outcome::Printed);
    EXPECT_EQ(pdfSeiten(pdf), (QList<int> { 1, 2, 3, 4, 5 }));
}

TEST_F(StoredPages, PrintedPagesKeepTheirSizeAndOrientation)
{
    const auto check = [&](TBRPaperSize paper, TPrinterOrientation o, QSizeF points) {
        TBRPrinter p;
        p.setOutputFileName(pdf);
        ASSERT_TRUE(p.SetSettingsPaperSize(paper));
        p.setOrientation(o);
        runPages(p, 2);
        ASSERT_EQ(p.Print(), Outcome::Printed);
        const QList<QSizeF> sizes = pdfPageSizes(pdf);
        ASSERT_EQ(sizes.size(), 2);
        for (const QSizeF& s : sizes) {
            EXPECT_NEAR(s.width(), points.width(), 1.0);
            EXPECT_NEAR(s.height(), points.height(), 1.0);
        }
    };
    check(TBRPaperSize::A4, TPrinterOrientation::poLandscape, { 841.9, 595.3 });
    check(TBRPaperSize::Letter, TPrinterOrientation::poPortrait, { 612, 792 });
    // A designer's landscape sheet is printed as it was laid out, not turned again.
    TBRPrinter custom;
    custom.setOutputFileName(pdf);
    custom.SetSettingsPaperSize(TBRPaperSize::Custom);
    custom.setPaperWidth(2540);
    custom.setPaperLength(1270);
    custom.setOrientation(TPrinterOrientation::poLandscape);
    runPages(custom, 1);
    ASSERT_EQ(custom.Print(), Outcome::Printed);
    ASSERT_EQ(pdfPageSizes(pdf).size(), 1);
    EXPECT_NEAR(pdfPageSizes(pdf)[0].width(), 720, 1.0);
    EXPECT_NEAR(pdfPageSizes(pdf)[0].height(), 360, 1.0);
}

TEST_F(StoredPages, WhilePrintingPrintLoadAndCloseWait)
{
    QTemporaryDir other;
    const QString stored = other.filePath(QStringLiteral("s.BRP"));
    printer.Save(stored);
    QList<Outcome> nested;
    bool loaded = true;
    QSignalSpy closed(&printer, &TBRPrinter::clientClosed);
    int closedDuringPrint = -1;
    QObject::connect(&printer, &TBRPrinter::progressUpdate, &printer, [&](int percent) {
        if (percent != 20)
            return;
        nested << printer.Print();
        loaded = printer.Load(stored);
        printer.NotifyClientClosed();
        printer.Cleanup();
        closedDuringPrint = static_cast<int>(closed.size());
    });
    EXPECT_EQ(printer.Print(), Outcome::Printed);
    EXPECT_EQ(nested, QList<Outcome> { Outcome::Refused });
    EXPECT_FALSE(loaded);
    EXPECT_EQ(closedDuringPrint, 0);
    EXPECT_EQ(pdfSeiten(pdf).size(), 5);
    // What was asked during the print happens once it is over.
    EXPECT_EQ(closed.size(), 1);
    EXPECT_EQ(printer.getStatus(), TBRPrinter::Status::Idle);
}

TEST_F(StoredPages, AStoreMadeForTheScreenAsksTheReportToRunAgain)
{
    QObject report;
    printer.setClient(&report);
    QSignalSpy requested(&printer, &TBRPrinter::printRequested);
    EXPECT_EQ(printer.Print(), Outcome::Requested);
    EXPECT_TRUE(requested.isEmpty()); // posted
    QCoreApplication::processEvents();
    EXPECT_EQ(requested.size(), 1);
    EXPECT_FALSE(QFile::exists(pdf));
    printer.setComplete(true);
    EXPECT_EQ(printer.Print(), Outcome::Printed);
}

TEST_F(StoredPages, PrintedTextIsReadableAtItsSize)
{
    ASSERT_EQ(printer.Print(), Outcome::Printed);
    const QStringList texts = pdfPageTexts(pdf);
    ASSERT_EQ(texts.size(), 5);
    EXPECT_TRUE(texts[4].contains(QStringLiteral("予選ヒート 5")));
    const QString png = dir.filePath(QStringLiteral("page"));
    printer_support::run(QStringLiteral("pdftoppm"),
        { QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-f"),
            QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"), pdf, png });
    QImage page(png + QStringLiteral("-1.png"));
    ASSERT_EQ(page.size(), QSize(794, 1123));
    // 12-point text at 96 dpi is about 16 pixels high: dark pixels only in its band.
    const int baseline = static_cast<int>(300 * 96 / 254.0);
    int inBand = 0, below = 0;
    for (int y = 0; y < baseline + 30; ++y)
        for (int x = 60; x < 300; ++x)
            if (qGray(page.pixel(x, y)) < 128)
                ++(y > baseline - 18 && y <= baseline + 4 ? inBand : below);
    EXPECT_GT(inBand, 50);
    EXPECT_EQ(below, 0);
    const QString saved
        = qEnvironmentVariable("TAVO_TEST_PNG_DIR", QDir::current().filePath(QStringLiteral("test-png")));
    QDir().mkpath(saved);
    page.save(QDir(saved).filePath(QStringLiteral("BRPrntr_printed_page.png")));
}

TEST(BRProgressForm, UpdatesEveryFivePercentAndAlwaysAtTheEnd)
{
    struct Case {
        QList<int> reports;
        QList<int> shown;
    };
    QList<int> pages23;
    for (int k = 1; k <= 23; ++k)
        pages23 << static_cast<int>(std::lround(k * 100.0 / 23));
    const Case cases[] = {
        { { 3, 5, 7, 10 }, { 5, 10 } },
        { { 33, 67, 100 }, { 33, 67, 100 } },
        { { 50, 100 }, { 50, 100 } },
        { { 98, 100 }, { 98, 100 } },
    };
    for (const Case& c : cases) {
        TBRProgressForm form(nullptr);
        QList<int> shown;
        for (int p : c.reports) {
            const int before = form.shown();
            form.updateProgress(p);
            if (form.shown() != before)
                shown << form.shown();
        }
        EXPECT_EQ(shown, c.shown);
    }
    TBRProgressForm form(nullptr);
    for (int p : pages23)
        form.updateProgress(p);
    EXPECT_EQ(form.Gauge->value(), 100);
    EXPECT_EQ(form.Info->text(), QStringLiteral("100%  Completed"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Printing progress"));
}

TEST(BRProgressForm, CancelButtonCancelsThePrinter)
{
    TBRPrinter printer;
    TBRProgressForm form(&printer);
    printer.BeginDoc();
    form.CancelButton->click();
    EXPECT_TRUE(printer.Cancelled());
    form.show();
    emit printer.progressUpdate(45);
    testing_support::saveGrab(&form, QStringLiteral("BRPrgres_progress_form"));
}

TEST(BRPrinterQueue, PrintsToARealQueue)
{
    const QString queue = qEnvironmentVariable("TAVO_TEST_PRINTER");
    if (queue.isEmpty())
        GTEST_SKIP() << "no print queue: set TAVO_TEST_PRINTER to a CUPS queue to run";
    const testing_support::MachinePrintServer machine;
    const std::optional<TBRQueueList> printers = brListQueues();
    ASSERT_TRUE(printers) << "the print server does not answer";
    int index = -1;
    for (int i = 0; i < printers->size(); ++i)
        if (printers->at(i).name == queue)
            index = i;
    ASSERT_GE(index, 0) << "no such queue";
    TBRPrinter printer;
    printer.SetPrinterIndex(index);
    EXPECT_EQ(printer.target().queue, queue);
    EXPECT_TRUE(printer.settings().Supported(TBRPaperSize::Custom));
    printer.setTitle(QStringLiteral("Tavo test page"));
    runPages(printer, 1);
    EXPECT_EQ(printer.Print(), Outcome::Printed) << printer.lastError().toStdString();
}

TEST(BRPrinter, PrintShowsTheProgressFormWhenTheReportAsks)
{
    YieldToEventLoop yield;
    struct Owner : TBRPrinterOwner {
        TBandReportPrinterSettings s;
        const TBRPrinterSettings& ownerPrinterSettings() const override { return s; }
        bool ownerShowProgress() const override { return true; }
    } owner;
    QTemporaryDir dir;
    TBRPrinter printer(&owner);
    printer.setOutputFileName(dir.filePath(QStringLiteral("p.pdf")));
    runPages(printer, 3);
    QObject preview;
    printer.setMessageReceiver(&preview);
    int whileFormShown = 0;
    QObject::connect(&printer, &TBRPrinter::progressUpdate, &printer,
        [&] { whileFormShown += qobject_cast<TBRProgressForm*>(printer.messageReceiver()) != nullptr; });
    EXPECT_EQ(printer.Print(), Outcome::Printed);
    // Reports of pages 1 and 2 arrive while the form shows; the last one after it has gone.
    EXPECT_EQ(whileFormShown, 2);
    EXPECT_EQ(printer.messageReceiver(), &preview);
}
