#include "BRPrinterTestSupport.h"
#include "report/BRConst.h"

#include <QFileInfo>
#include <QPicture>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

using namespace printer_support;

namespace {

QString errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EBRError& e) {
        return e.message();
    }
    return QString();
}

QList<int> ints(const QSignalSpy& spy)
{
    QList<int> out;
    for (const QList<QVariant>& args : spy)
        out << args.at(0).toInt();
    return out;
}

} // namespace

TEST(BRPrinter, RunIntoTheStoreAnnouncesPagesAndKeepsThem)
{
    TBRPrinter printer;
    QSignalSpy pages(&printer, &TBRPrinter::pageAvailable);
    runPages(printer, 3);
    EXPECT_EQ(printer.getStatus(), TBRPrinter::Status::Ready);
    EXPECT_EQ(printer.PageCount(), 3);
    EXPECT_TRUE(pages.isEmpty() || ints(pages) == (QList<int> { 1, 2, 3 })); // posted, not sent
    QCoreApplication::processEvents();
    EXPECT_EQ(ints(pages), (QList<int> { 1, 2, 3 }));
    EXPECT_EQ(printer.GetPage(0), nullptr);
    EXPECT_EQ(printer.GetPage(4), nullptr);
    const auto page = printer.GetPage(2);
    ASSERT_TRUE(page);
    // A4 at 96 dpi.
    EXPECT_EQ(page->boundingRect(), QRect(0, 0, 794, 1123));
    EXPECT_EQ(printer.ToDeviceWidth(254), 96);
    EXPECT_EQ(pageTexts(*page), (QStringList { QStringLiteral("Seite 2"), QStringLiteral("予選ヒート 2") }));
    EXPECT_TRUE(printer.pageList().finished());
}

TEST(BRPrinter, BusyOrHeldPrinterRefusesANewDocumentAndKeepsItsState)
{
    TBRPrinter printer;
    printer.BeginDoc();
    printer.NewPage();
    printer.NewPage();
    printer.Cancel();
    EXPECT_EQ(errorOf([&] { printer.BeginDoc(); }), QString::fromUtf8(SBRPrinterNotReady));
    EXPECT_EQ(printer.getStatus(), TBRPrinter::Status::Busy);
    EXPECT_EQ(printer.PageCount(), 2);
    EXPECT_EQ(printer.currentPage(), 2);
    EXPECT_TRUE(printer.Cancelled());
    printer.FinishPage();
    EXPECT_EQ(printer.getStatus(), TBRPrinter::Status::Ready);
    EXPECT_EQ(printer.pageList().PageCount(), 2); // the open page went into the store
    EXPECT_EQ(errorOf([&] { printer.BeginDoc(); }), QString::fromUtf8(SBRPrinterNotReady));
    printer.Cleanup();
    EXPECT_EQ(printer.getStatus(), TBRPrinter::Status::Idle);
    EXPECT_EQ(printer.PageCount(), 0);
    printer.BeginDoc();
    EXPECT_FALSE(printer.Cancelled());
}

TEST(BRPrinter, NewPageWithoutADocumentIsIllegal)
{
    TBRPrinter printer;
    EXPECT_EQ(errorOf([&] { printer.NewPage(); }), QStringLiteral("Illegal call to NewPage"));
    EXPECT_EQ(QString::fromUtf8(SBRPrinterNotReady), QStringLiteral("BRPrinter not ready"));
}

TEST(BRPrinter, CancelledRunCanDropItsOpenPage)
{
    TBRPrinter printer;
    printer.BeginDoc();
    printer.NewPage();
    printer.NewPage();
    printer.FinishPage(true);
    EXPECT_EQ(printer.pageList().PageCount(), 1);
}

TEST(BRPrinter, PaperTurnsOnlyForTablePapers)
{
    struct Case {
        TBRPaperSize paper;
        TPrinterOrientation orientation;
        int width, length; // as drawn
    };
    const auto L = TPrinterOrientation::poLandscape;
    const auto P = TPrinterOrientation::poPortrait;
    const Case cases[] = {
        { TBRPaperSize::A4, P, 2100, 2970 },
        { TBRPaperSize::A4, L, 2970, 2100 },
        { TBRPaperSize::Letter, L, 2794, 2159 },
        { TBRPaperSize::Ledger, P, 4318, 2794 }, // stored wider than long, used as stored
        // Custom and Default sheets are the sheet as laid out: never turned a second time.
        { TBRPaperSize::Custom, L, 3000, 1000 },
        { TBRPaperSize::Custom, P, 3000, 1000 },
        { TBRPaperSize::Default, L, 3000, 1000 },
    };
    for (const Case& c : cases) {
        TBRPrinter printer;
        ASSERT_TRUE(printer.SetSettingsPaperSize(c.paper));
        printer.setPaperWidth(3000);
        printer.setPaperLength(1000);
        printer.setOrientation(c.orientation);
        EXPECT_EQ(printer.PaperWidth(), c.width) << int(c.paper);
        EXPECT_EQ(printer.PaperLength(), c.length) << int(c.paper);
    }
}

TEST(BRPrinter, TheTemporaryPageFileGoesWithThePrinter)
{
    QString temp;
    {
        TBandReportPrinterSettings settings;
        settings.MemoryLimit = 2000;
        struct Owner : TBRPrinterOwner {
            TBandReportPrinterSettings s;
            const TBRPrinterSettings& ownerPrinterSettings() const override { return s; }
        } owner;
        owner.s = settings;
        TBRPrinter printer(&owner);
        runPages(printer, 4);
        ASSERT_FALSE(printer.pageList().stream()->inMemory());
        temp = printer.pageList().stream()->FileName();
        EXPECT_TRUE(QFile::exists(temp));
        EXPECT_EQ(printer.PageCount(), 4);
        EXPECT_TRUE(printer.GetPage(1));
    }
    EXPECT_FALSE(QFile::exists(temp));
}

TEST(BRPrinter, ClosingThePreviewCancelsABusyRun)
{
    TBRPrinter printer;
    int closed = 0;
    printer.OnPreviewClosed = [&] { ++closed; };
    printer.BeginDoc();
    printer.CancelIfRequested(false); // never shown: nothing happens
    EXPECT_FALSE(printer.Cancelled());
    printer.CancelIfRequested(true);
    printer.CancelIfRequested(false);
    EXPECT_TRUE(printer.Cancelled());
    EXPECT_EQ(closed, 1);
    QSignalSpy client(&printer, &TBRPrinter::clientClosed);
    printer.NotifyClientClosed();
    EXPECT_EQ(client.size(), 1); // delivered at once
}

TEST(BRPrinter, StraightToPdfPrintsOnlyTheRange)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("direct.pdf"));
    TBRPrinter printer;
    printer.setOutputFileName(pdf);
    printer.SetDestination(TBRPrinter::Destination::Printer);
    printer.setFirstPage(3);
    printer.setLastPage(4);
    int afterPrint = 0;
    printer.OnAfterPrint = [&] { ++afterPrint; };
    runPages(printer, 6);
    EXPECT_EQ(afterPrint, 1);
    EXPECT_TRUE(printer.lastError().isEmpty()) << printer.lastError().toStdString();
    const QStringList texts = pdfPageTexts(pdf);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains(QStringLiteral("Seite 3")));
    EXPECT_TRUE(texts[1].contains(QStringLiteral("予選ヒート 4")));
    EXPECT_EQ(
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("direct.pdf") });
}

TEST(BRPrinter, CancelledDirectRunLeavesNoFile)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("cancelled.pdf"));
    TBRPrinter printer;
    printer.setOutputFileName(pdf);
    printer.SetDestination(TBRPrinter::Destination::Printer);
    printer.BeginDoc();
    printer.NewPage();
    printer.Canvas()->drawText(100, 100, QStringLiteral("x"));
    printer.NewPage();
    printer.FinishPage();
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(BRPrinter, LoadGuessesThePaperAndRefusesWhileARunIsBusy)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("landscape.BRP"));
    {
        TBRPrinter printer;
        printer.setOrientation(TPrinterOrientation::poLandscape);
        runPages(printer, 2);
        printer.Save(file);
    }
    TBRPrinter loader;
    loader.BeginDoc();
    EXPECT_FALSE(loader.Load(file));
    loader.FinishPage();
    loader.OnSetup = [] {};
    ASSERT_TRUE(loader.Load(file));
    EXPECT_FALSE(loader.OnSetup);
    EXPECT_TRUE(loader.complete());
    EXPECT_EQ(loader.getStatus(), TBRPrinter::Status::Ready);
    EXPECT_EQ(loader.PageCount(), 2);
    EXPECT_EQ(loader.settings().PaperSize(), TBRPaperSize::A4);
    EXPECT_EQ(loader.settings().Orientation(), TPrinterOrientation::poLandscape);
    EXPECT_EQ(loader.PaperWidth(), 2970);
    EXPECT_TRUE(SearchMetafileText(QStringLiteral("seite 2"), *loader.GetPage(2), false));

    // Printed on the guessed paper at the pages' own size.
    const QString pdf = dir.filePath(QStringLiteral("loaded.pdf"));
    loader.setOutputFileName(pdf);
    ASSERT_EQ(loader.Print(), TBRPrinter::PrintOutcome::Printed);
    const QList<QSizeF> sizes = pdfPageSizes(pdf);
    ASSERT_EQ(sizes.size(), 2);
    EXPECT_NEAR(sizes[1].width(), 841.9, 1.0);
    EXPECT_NEAR(sizes[1].height(), 595.3, 1.0);
    EXPECT_TRUE(pdfPageTexts(pdf)[1].contains(QStringLiteral("予選ヒート 2")));
}

TEST(BRPrinter, PreviewStartsThroughTheEventOrTheRegisteredInterface)
{
    TBRPrinter printer;
    EXPECT_EQ(printer.previewForm(), nullptr);
    printer.StartPreview(); // nothing registered: nothing shown

    struct Preview : TBRPreviewInterface {
        QWidget* form;
        TBRPrinter** seen;
        QWidget* show(TBRPrinter* p, Qt::WindowModality modality) override
        {
            *seen = p;
            EXPECT_EQ(modality, Qt::ApplicationModal);
            return form;
        }
    };
    QWidget form;
    TBRPrinter* seen = nullptr;
    const auto previous = setPreviewInterfaceClass([&] {
        auto p = std::make_unique<Preview>();
        p->form = &form;
        p->seen = &seen;
        return p;
    });
    printer.StartPreview(Qt::ApplicationModal);
    EXPECT_EQ(seen, &printer);
    EXPECT_EQ(printer.previewForm(), &form);

    int own = 0;
    printer.OnPreview = [&](TBRPrinter* p) { own += p == &printer; };
    seen = nullptr;
    printer.StartPreview();
    EXPECT_EQ(own, 1);
    EXPECT_EQ(seen, nullptr);
    setPreviewInterfaceClass(previous);
}
