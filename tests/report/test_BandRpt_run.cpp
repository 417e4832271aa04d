#include "BRPrinterTestSupport.h"
#include "BandRptTestSupport.h"
#include "report/BRPrgres.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <stdexcept>

using namespace band_samples;

namespace {

// A report over rows given by OnNeedData: page header, detail, page footer with "n/N".
struct ListReport {
    explicit ListReport(int rows, double detailHeight = 60)
        : rowCount(rows)
    {
        TBRReportBuilder b(report);
        a4(b);
        header = b.band(TBRBandType::rbPageHeader, 200);
        b.label(header, QStringLiteral("レース スケジュール"),
            { .top = 20, .pointSize = 14, .alignment = TAlignment::taCenter, .alignToBand = true });
        detail = b.band(TBRBandType::rbDetail, detailHeight);
        text = b.label(detail, QString(), { .left = 0, .top = 5, .pointSize = 9 });
        footer = b.band(TBRBandType::rbPageFooter, 80);
        pageLabel = b.label(footer, QString(),
            { .left = 1900, .top = 10, .pointSize = 9, .alignment = TAlignment::taRightJustify });
        b.Finish();
        report.OnNeedData = [this](QObject*, bool& more) { more = ++row <= rowCount; };
        text->OnPrint
            = [this](TBRCustomLabel*, QString& v) { v = QStringLiteral("行 %1 予選ヒート").arg(row); };
        pageLabel->OnPrint = [this](TBRCustomLabel*, QString& v) {
            v = QStringLiteral("%1/%2").arg(report.PageNumber()).arg(pages);
        };
    }
    void run()
    {
        row = 0;
        report.Prepare();
    }
    TBandReport report;
    TBRBand* header;
    TBRBand* detail;
    TBRBand* footer;
    TBRLabel* text;
    TBRLabel* pageLabel;
    int row = 0;
    int rowCount;
    int pages = 0;
};

} // namespace

TEST(BandRptRun, PrepareGivesThePageCountAndShowsNothing)
{
    ListReport r(100);
    bool previewed = false;
    r.report.OnPreview = [&](TBRPrinter*) { previewed = true; };
    r.run();
    ASSERT_TRUE(r.report.BRPrinter());
    // 2770 - 200 header - 80 footer = 2490 per page: 41 rows of 60.
    EXPECT_EQ(r.report.BRPrinter()->PageCount(), 3);
    EXPECT_FALSE(previewed);
    r.pages = r.report.BRPrinter()->PageCount();
    r.run();
    const QList<QImage> pages = pageImages(r.report);
    ASSERT_EQ(pages.size(), 3);
    for (int i = 0; i < pages.size(); ++i)
        savePage(pages[i], QStringLiteral("BandRpt_list_page%1").arg(i + 1));
    EXPECT_TRUE(pageTexts(r.report, 3).contains(QStringLiteral("3/3")));
    EXPECT_TRUE(pageTexts(r.report, 1).contains(QStringLiteral("行 1 予選ヒート")));
}

TEST(BandRptRun, ColumnsStepByTheirWidthOrTheDetailBands)
{
    TBandReport report;
    QStringList starts;
    {
        TBRReportBuilder b(report);
        a4(b);
        b.Columns(3, 50);
        TBRBand* title = b.band(TBRBandType::rbTitle, 60);
        b.label(title, QStringList(400, QStringLiteral("行")).join(u'\r'),
            { .width = 500, .autoSize = false, .autoStretch = true });
        b.band(TBRBandType::rbColumnHeader, 40)->BeforePrint = [&](TBRCustomBand*, bool&) {
            starts << QStringLiteral("p%1 c%2 x%3")
                          .arg(report.PageNumber())
                          .arg(report.CurrentColumn())
                          .arg(report.CurrentX());
        };
    }
    int rows = 0;
    report.OnNeedData = [&](QObject*, bool& more) { more = ++rows <= 1; };
    report.Prepare();
    // No detail band: (1900 - 2 * 50) div 3 = 600 a column. (Column 1 of page 1 gets its column
    // header from the controller, after the title, which here runs on over several columns.)
    EXPECT_EQ(starts.mid(0, 3), (QStringList { "p1 c2 x750", "p1 c3 x1400", "p2 c1 x100" }));

    // A detail band narrower than the page: columns step by its width and the column space.
    auto* detail = report.CreateBand(TBRBandType::rbDetail);
    detail->Size().setUnits(TBRUnit::Native);
    detail->Size().setWidth(500);
    detail->Size().setHeight(0);
    starts.clear();
    rows = 0;
    report.Prepare();
    EXPECT_EQ(starts.mid(0, 3), (QStringList { "p1 c2 x650", "p1 c3 x1200", "p2 c1 x100" }));
    savePage(pageImages(report).first(), QStringLiteral("BandRpt_columns"));
}

TEST(BandRptRun, AColumnThatWouldStartOffTheSheetStartsOnTheNextPage)
{
    // Three columns of 50 apart on A4 (right margin at 2000), one record of 1500 a column.
    struct Case {
        double width;
        QStringList places;
    };
    for (const Case& c : { // As wide as the page: column 2 would start at 2050; every record has a page.
             Case { 1900, { "p1 x100", "p2 x100", "p3 x100", "p4 x100", "p5 x100" } },
             // Column 3 would start right at the margin, 2000.
             Case { 900, { "p1 x100", "p1 x1050", "p2 x100", "p2 x1050", "p3 x100" } },
             Case { 600, { "p1 x100", "p1 x750", "p1 x1400", "p2 x100", "p2 x750" } } }) {
        TBandReport report;
        TBRBand* detail;
        {
            TBRReportBuilder b(report);
            a4(b);
            b.Columns(3, 50);
            detail = b.band(TBRBandType::rbDetail, 1500);
        }
        detail->Size().setUnits(TBRUnit::Native);
        detail->Size().setWidth(c.width);
        QStringList places;
        detail->AfterPrint = [&](TBRCustomBand*, bool) {
            places << QStringLiteral("p%1 x%2").arg(report.PageNumber()).arg(report.CurrentX());
            EXPECT_LE(report.CurrentX() + c.width, 2100);
        };
        int rows = 0;
        report.OnNeedData = [&](QObject*, bool& more) { more = ++rows <= 5; };
        report.Prepare();
        EXPECT_EQ(places, c.places) << c.width;
    }
}

TEST(BandRptRun, WithoutOptionsNoHeaderOnPageOneAndNoFooterOnTheLast)
{
    ListReport r(100);
    Transcript t;
    t.attach(r.report, r.header);
    t.attach(r.report, r.footer);
    r.report.Options = {};
    r.run();
    ASSERT_EQ(r.report.BRPrinter()->PageCount(), 3);
    EXPECT_EQ(t.lines,
        (QStringList { "PageFooterBand1 p1 y2790-2870", "PageHeaderBand1 p2 y100-300",
            "PageFooterBand1 p2 y2790-2870", "PageHeaderBand1 p3 y100-300" }));
}

TEST(BandRptRun, AvailableSpaceIsZeroOutsideTheRunAndARunInsideARunDoesNothing)
{
    ListReport r(10);
    EXPECT_EQ(r.report.AvailableSpace(), 0);
    QList<int> seen;
    r.header->BeforePrint = [&](TBRCustomBand*, bool&) {
        seen << r.report.AvailableSpace();
        // Every public operation refuses while the report runs.
        TBRPrinter* store = r.report.BRPrinter();
        r.report.Prepare();
        r.report.Print();
        EXPECT_EQ(r.report.BRPrinter(), store);
    };
    r.run();
    // The header is printed once the page has begun: 2970 - 100 - 80 - 100.
    EXPECT_EQ(seen, QList<int> { 2690 });
    EXPECT_EQ(r.report.AvailableSpace(), 0);
    EXPECT_EQ(r.report.BRPrinter()->PageCount(), 1);
}

TEST(BandRptRun, AHandlerThatThrowsLeavesTheReportUsable)
{
    ListReport r(100);
    r.report.setUnits(TBRUnit::MM);
    r.text->OnPrint = [&](TBRCustomLabel*, QString&) {
        if (r.row == 50)
            throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(r.run(), std::runtime_error);
    EXPECT_TRUE(r.report.Available());
    EXPECT_EQ(r.report.Units(), TBRUnit::MM);
    EXPECT_FALSE(r.text->IsPrinting());
    // The pages made before the failure are kept; the next run starts afresh and completes.
    EXPECT_EQ(r.report.BRPrinter()->PageCount(), 2);
    r.text->OnPrint = nullptr;
    r.run();
    EXPECT_EQ(r.report.BRPrinter()->PageCount(), 3);
}

TEST(BandRptRun, BandsAndTheFooterGoByThePaperThePageStoreUses)
{
    ListReport r(100);
    Transcript t;
    t.attach(r.report, r.footer);
    // The page names a sheet of its own length, then leaves the paper to the printer: the
    // store records the printer's sheet, and the footer stands at its foot.
    TBRPage& page = r.report.Page();
    page.setUnits(TBRUnit::Native);
    page.setPaperSize(TBRPaperSize::Custom);
    page.setLength(1500);
    page.setPaperSize(TBRPaperSize::Default);
    r.run();
    const int sheet = r.report.BRPrinter()->PaperLength();
    ASSERT_NE(sheet, 1500);
    EXPECT_EQ(t.lines.first(), QStringLiteral("PageFooterBand1 p1 y%1-%2").arg(sheet - 180).arg(sheet - 100));
    EXPECT_EQ(pageImages(r.report).first().height(), px(sheet));
}

TEST(BandRptRun, ThePreviousPageStoreIsFreedWhenANewRunReplacesIt)
{
    QPointer<TBRPrinter> first;
    QString spilled;
    {
        ListReport r(300);
        r.report.PrinterSettings.MemoryLimit = 1000;
        r.run();
        first = r.report.BRPrinter();
        ASSERT_TRUE(first);
        spilled = first->pageList().stream()->FileName();
        ASSERT_FALSE(spilled.isEmpty());
        EXPECT_TRUE(QFile::exists(spilled));
        r.run();
        EXPECT_FALSE(first);
        EXPECT_FALSE(QFile::exists(spilled));
        first = r.report.BRPrinter();
        spilled = first->pageList().stream()->FileName();
    }
    // And when the report goes.
    EXPECT_FALSE(first);
    EXPECT_FALSE(QFile::exists(spilled));
}

TEST(BandRptRun, StraightToThePrinterOnlyTheRangeReachesThePdf)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("range.pdf"));
    ListReport r(180); // five pages
    r.pages = 5;
    r.report.ShowProgress = false;
    r.report.PrinterSettings.FirstPage = 3;
    r.report.PrinterSettings.LastPage = 4;
    r.report.PrinterSettings.OutputFileName = pdf;
    int afterPrint = 0;
    r.report.AfterPrint = [&](TCustomBandReport*) { ++afterPrint; };
    r.row = 0;
    r.report.Print();
    EXPECT_EQ(afterPrint, 1);
    EXPECT_FALSE(r.report.BRPrinter()); // no store was kept: there was none before
    const QStringList texts = printer_support::pdfPageTexts(pdf);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains(QStringLiteral("3/5")));
    EXPECT_TRUE(texts[0].contains(QStringLiteral("行 83 予選ヒート")));
    EXPECT_TRUE(texts[1].contains(QStringLiteral("4/5")));
    const QList<QSizeF> sizes = printer_support::pdfPageSizes(pdf);
    ASSERT_EQ(sizes.size(), 2);
    EXPECT_NEAR(sizes[0].width(), 595.3, 1); // A4 in points
    EXPECT_NEAR(sizes[0].height(), 841.9, 1);
    printer_support::run(QStringLiteral("pdftoppm"),
        { QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-f"),
            QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"), pdf,
            dir.filePath(QStringLiteral("range")) });
    const QImage page(dir.filePath(QStringLiteral("range-1.png")));
    ASSERT_FALSE(page.isNull());
    savePage(page, QStringLiteral("BandRpt_printer_page3"));
    // The same layout as in the store: the title centred at the top, rows from the left margin,
    // and nothing shifted by the printer's unprintable margins.
    EXPECT_GT(darkPixels(page, QRect(300, 40, 200, 30)), 50);
    EXPECT_GT(darkPixels(page, QRect(36, 110, 100, 20)), 20);
    r.row = 0;
    r.run();
    const QList<QImage> stored = pageImages(r.report);
    ASSERT_EQ(stored.size(), 5);
    const QRect want = darkBounds(stored[2]);
    const QRect got = darkBounds(page);
    EXPECT_NEAR(got.left(), want.left(), 1);
    EXPECT_NEAR(got.top(), want.top(), 1);
}

TEST(BandRptRun, PrintPutsThePreviousStoreBack)
{
    QTemporaryDir dir;
    ListReport r(10);
    r.run();
    TBRPrinter* store = r.report.BRPrinter();
    r.report.ShowProgress = true;
    r.report.PrinterSettings.OutputFileName = dir.filePath(QStringLiteral("again.pdf"));
    r.row = 0;
    r.report.Print();
    EXPECT_EQ(r.report.BRPrinter(), store);
    EXPECT_EQ(printer_support::pdfPageSizes(dir.filePath(QStringLiteral("again.pdf"))).size(), 1);
}

TEST(BandRptRun, CancelFromTheProgressFormAbortsAStraightPrint)
{
    // Both ways a run is cancelled: the progress form's button, which only sets the printer's
    // flag, and the report's own request (the preview closing).
    for (const bool byProgressForm : { true, false }) {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("cancelled.pdf"));
        ListReport r(500);
        r.report.ShowProgress = true;
        r.report.PrinterSettings.OutputFileName = pdf;
        int afterPrint = 0;
        r.report.AfterPrint = [&](TCustomBandReport*) { ++afterPrint; };
        r.text->OnPrint = [&](TBRCustomLabel*, QString& v) {
            v = QString::number(r.row);
            if (r.row != 60)
                return;
            if (byProgressForm) {
                auto* form = qobject_cast<TBRProgressForm*>(r.report.BRPrinter()->messageReceiver());
                ASSERT_TRUE(form);
                form->CancelButton->click();
            } else {
                r.report.cancelRun();
            }
        };
        r.report.Print();
        EXPECT_LT(r.row, 70) << byProgressForm;
        EXPECT_FALSE(QFile::exists(pdf)) << byProgressForm; // the job was aborted, not finished
        EXPECT_EQ(afterPrint, 0) << byProgressForm;
        EXPECT_TRUE(r.report.Available());
    }
}

TEST(BandRptRun, PreviewModalWaitsForThePreviewToClose)
{
    ListReport r(60);
    int afterPreview = 0;
    int pagesSeen = 0;
    r.report.AfterPreview = [&](TCustomBandReport*) { ++afterPreview; };
    QTimer closer;
    r.report.OnPreview = [&](TBRPrinter* printer) {
        printer->CancelIfRequested(true);
        // The operator closes the preview once the run is over.
        QObject::connect(&closer, &QTimer::timeout, printer, [&, printer] {
            if (!r.report.Available())
                return;
            closer.stop();
            pagesSeen = printer->PageCount();
            printer->NotifyClientClosed();
        });
        closer.start(1);
    };
    r.row = 0;
    r.report.PreviewModal();
    EXPECT_EQ(pagesSeen, 2); // the run had finished when the preview was closed
    EXPECT_EQ(afterPreview, 1);
    EXPECT_FALSE(r.report.BRPrinter());
}

TEST(BandRptRun, ClosingThePreviewDuringTheRunCancelsIt)
{
    ListReport r(500);
    r.report.OnPreview = [&](TBRPrinter* printer) { printer->CancelIfRequested(true); };
    r.text->OnPrint = [&](TBRCustomLabel*, QString& v) {
        v = QString::number(r.row);
        if (r.row == 60)
            r.report.BRPrinter()->NotifyClientClosed();
    };
    int afterPreview = 0;
    r.report.AfterPreview = [&](TCustomBandReport*) { ++afterPreview; };
    r.row = 0;
    r.report.PreviewModal();
    EXPECT_EQ(afterPreview, 1);
    EXPECT_LT(r.row, 70);
    EXPECT_FALSE(r.report.BRPrinter());
    EXPECT_TRUE(r.report.Available());
}

TEST(BandRptRun, PrinterSetupTakesTheDialogsChoicesOrNothing)
{
    ListReport r(100);
    r.run();
    TCustomBandReport::TBRSetupChoice offered;
    bool confirm = false;
    const auto previous
        = TCustomBandReport::setPrintDialogRunner([&](TBRPrinter*, TCustomBandReport::TBRSetupChoice& c) {
              offered = c;
              if (!confirm)
                  return false;
              c.Copies = 3;
              c.PrinterIndex = 0;
              c.Orientation = TPrinterOrientation::poLandscape;
              c.PageRange = true;
              c.FromPage = 2;
              c.ToPage = 3;
              c.Duplex = true;
              c.BinCode = 256 + 4; // Manual
              return true;
          });
    const TBandReportPrinterSettings before = r.report.PrinterSettings;
    EXPECT_FALSE(r.report.PrinterSetup());
    EXPECT_EQ(r.report.Tag, 1);
    EXPECT_EQ(r.report.PrinterSettings, before);
    // A finished run offers its own pages.
    EXPECT_TRUE(offered.PageNumbersEnabled);
    EXPECT_EQ(offered.MaxPage, 3);

    confirm = true;
    EXPECT_TRUE(r.report.PrinterSetup());
    EXPECT_EQ(r.report.Tag, 0);
    EXPECT_EQ(r.report.PrinterSettings.Copies, 3);
    EXPECT_EQ(r.report.PrinterSettings.PrinterIndex, 0);
    EXPECT_EQ(r.report.PrinterSettings.FirstPage, 2);
    EXPECT_EQ(r.report.PrinterSettings.LastPage, 3);
    EXPECT_EQ(r.report.Page().Orientation(), TPrinterOrientation::poLandscape);
    EXPECT_EQ(r.report.setupResult().OutputBin, TBRBin::Manual);
    EXPECT_TRUE(r.report.setupResult().Duplex);
    TCustomBandReport::setPrintDialogRunner(previous);

    // The standard dialog, opened once the print server has listed its queues: the operator
    // cancels it.
    QTimer operatorCancels;
    QObject::connect(&operatorCancels, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    operatorCancels.start(10);
    EXPECT_FALSE(r.report.PrinterSetup());
    EXPECT_EQ(r.report.Tag, 1);
    EXPECT_EQ(r.report.PrinterSettings.Copies, 3);
}

// The run and the print give way to the windows through the yield hook alone: with a hook that
// only counts, an event posted before them is still waiting afterwards.
TEST(BandRptRun, TheRunAndThePrintTakeEventsOnlyThroughTheYieldHook)
{
    int yields = 0;
    const TBRYieldHook previous = setBRYieldHook([&] { ++yields; });
    bool delivered = false;
    QTimer::singleShot(0, [&] { delivered = true; });
    ListReport r(100);
    r.run();
    EXPECT_GE(yields, 100) << "at least once a row";
    QTemporaryDir dir;
    TBRPrinter printer;
    printer.setOutputFileName(dir.filePath(QStringLiteral("out.pdf")));
    printer_support::runPages(printer, 3);
    yields = 0;
    EXPECT_EQ(printer.Print(), TBRPrinter::PrintOutcome::Printed);
    EXPECT_GE(yields, 3) << "at least once a page";
    EXPECT_FALSE(delivered);
    setBRYieldHook(previous);
    QCoreApplication::processEvents();
    EXPECT_TRUE(delivered);
}

// Making a report, running it into the page store and printing it to a PDF file ask the print
// server nothing, even one that would never answer; the paper of a new report is the default
// queue's as the server last named it, A4 before.
TEST(BandRptRun, NeitherARunNorAPdfPrintAsksThePrintServer)
{
    QTemporaryDir dir;
    {
        printer_support::FakeLister lister = printer_support::FakeLister::hanging();
        ListReport r(100);
        r.run();
        EXPECT_EQ(r.report.BRPrinter()->PageCount(), 3);
        r.report.PrinterSettings.OutputFileName = dir.filePath(QStringLiteral("run.pdf"));
        r.row = 0;
        EXPECT_EQ(r.report.Print().outcome, TBRPrinter::PrintOutcome::Printed);
        r.report.BRPrinter()->setOutputFileName(dir.filePath(QStringLiteral("stored.pdf")));
        EXPECT_EQ(r.report.BRPrinter()->Print(), TBRPrinter::PrintOutcome::Printed);
        EXPECT_EQ(printer_support::pdfSeiten(dir.filePath(QStringLiteral("stored.pdf"))).size(), 3);
        EXPECT_EQ(TBandReport().Page().PaperSize(), TBRPaperSize::A4);
        EXPECT_EQ(lister.calls(), 0);
    }
    printer_support::FakeLister letter(printer_support::FakeLister::office(TBRPaperSize::Letter));
    ASSERT_TRUE(brListQueues());
    EXPECT_EQ(TBandReport().Page().PaperSize(), TBRPaperSize::Letter);
    TPrinterSettings s;
    s.setPaperSize(TBRPaperSize::Default);
    EXPECT_EQ(s.PaperWidth(), 2159);
}
