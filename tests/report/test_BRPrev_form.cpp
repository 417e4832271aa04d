#include "BRPrevTestSupport.h"
#include "BRPrinterTestSupport.h"
#include "report/BRCtrls.h"
#include "report/BRPrgres.h"
#include "report/BRPrntr_job.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPicture>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

using namespace preview_support;
using printer_support::FakeQueue;
using printer_support::HurriedQueueClock;
using printer_support::YieldToEventLoop;

namespace {

// Pages 2 and 7 hold a final besides their numbered lines.
QList<QStringList> tenPages()
{
    QList<QStringList> pages = numberedPages(10);
    pages[1] << QStringLiteral("決勝 Aメイン");
    pages[6] << QStringLiteral("決勝 Aメイン");
    return pages;
}

QString pageLine(int n, int count) { return QStringLiteral("Page %1 of %2").arg(n).arg(count); }

// Bytes of a file, and the file written back.
QByteArray bytes(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

qint32 i32(const QByteArray& b, qsizetype at)
{
    qint32 v = 0;
    std::memcpy(&v, b.constData() + at, 4);
    return v;
}

// Spoils the picture of page n of an uncompressed stored file, leaving its record in place.
void spoilPage(const QString& file, int n)
{
    QByteArray b = bytes(file);
    qsizetype at = TBRPageList::HeaderSize;
    for (int i = 1; i < n; ++i)
        at = i32(b, at + 4);
    ASSERT_EQ(b.mid(at + 8, 4), QByteArray("QPIC"));
    b[at + 9] = 'X';
    Write(file, b);
}

// "Seite <n>" numbers on each page of a PDF.
class PreviewForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        runTextPages(printer, tenPages());
        form = Open(printer);
    }
    void TearDown() override
    {
        for (const QPointer<TBRStandardPreview>& f : forms)
            if (f)
                f->close();
        pump();
        for (const QPointer<TBRStandardPreview>& f : forms)
            EXPECT_TRUE(f.isNull()); // a closed form frees itself
    }
    TBRStandardPreview* Open(TBRPrinter& p)
    {
        auto* f = new TBRStandardPreview(nullptr, &p);
        f->setWindowState(Qt::WindowNoState);
        f->resize(800, 639);
        f->show();
        f->UpdateInfo();
        pump();
        forms << f;
        return f;
    }
    QString shown() const { return form->StatusPanel1->text(); }
    QStringList shownTexts() const
    {
        const QPicture* page = form->BRPreview->image()->Page();
        return page ? pageTexts(*page) : QStringList();
    }

    QTemporaryDir dir;
    TBRPrinter printer;
    QPointer<TBRStandardPreview> form;
    QList<QPointer<TBRStandardPreview>> forms;
    ScriptedDialogs dialogs;
    testing_support::ScriptedAsker asker;
};

// A report over rows given by OnNeedData: a page header and one "行 <n>" line per row.
struct RowReport {
    explicit RowReport(int rows)
        : rowCount(rows)
    {
        TBRReportBuilder b(report);
        b.Page(TBRPaperSize::A4, TPrinterOrientation::poPortrait, 100);
        TBRBand* header = b.band(TBRBandType::rbPageHeader, 200);
        b.label(header, QStringLiteral("レース スケジュール"),
            { .top = 20, .pointSize = 14, .alignment = TAlignment::taCenter, .alignToBand = true });
        TBRBand* detail = b.band(TBRBandType::rbDetail, 60);
        TBRLabel* text = b.label(detail, QString(), { .left = 0, .top = 5, .pointSize = 9 });
        b.Finish();
        report.ReportTitle = QStringLiteral("スケジュール");
        report.BeforePrint = [this](TCustomBandReport*, bool&) {
            ++runs;
            row = 0;
        };
        report.OnNeedData = [this](QObject*, bool& more) {
            more = ++row <= rowCount;
            if (OnRow)
                OnRow(row);
        };
        text->OnPrint
            = [this](TBRCustomLabel*, QString& v) { v = QStringLiteral("行 %1 予選ヒート").arg(row); };
    }
    TBandReport report;
    int rowCount;
    int row = 0;
    int runs = 0;
    std::function<void(int)> OnRow;
};

} // namespace

TEST_F(PreviewForm, StatusShowsThePagePosition)
{
    form->goToPage(3);
    EXPECT_EQ(shown(), QStringLiteral("Page 3 of 10"));
    EXPECT_EQ(form->ThumbGrid->currentRow(), 2);
    EXPECT_EQ(form->ThumbGrid->rowCount(), 10);
    EXPECT_TRUE(form->Print->isEnabled());
    EXPECT_FALSE(form->PrintSetup->isEnabled()); // the store belongs to no report
}

TEST_F(PreviewForm, GoToPageTakesOnlyAPageThatExists)
{
    const struct {
        int from;
        std::optional<QString> answer;
        int expected;
    } cases[] = {
        { 5, QStringLiteral("0"), 1 }, { 5, QStringLiteral("-1"), 1 }, { 5, QStringLiteral("abc"), 1 },
        { 5, QStringLiteral("11"), 1 }, { 5, QStringLiteral("7"), 7 }, { 5, QStringLiteral(" 10 "), 10 },
        { 4, std::nullopt, 4 }, // cancelled: the preset, the current page
    };
    for (const auto& c : cases) {
        form->goToPage(c.from);
        dialogs.state().inputs.push_back(c.answer);
        form->GotoPageButtonClick();
        EXPECT_EQ(shown(), pageLine(c.expected, 10))
            << c.answer.value_or(QStringLiteral("(cancel)")).toStdString();
        EXPECT_EQ(form->ThumbGrid->currentRow(), c.expected - 1);
    }
    EXPECT_EQ(
        dialogs.state().asked.first(), QStringLiteral("Select a page from 1 to 10|Enter page number|5"));
}

TEST_F(PreviewForm, KeysTurnThePages)
{
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        int expected;
    } cases[] = {
        { Qt::Key_PageDown, Qt::ControlModifier, 10 },
        { Qt::Key_PageDown, Qt::ShiftModifier, 6 },
        { Qt::Key_PageDown, Qt::ControlModifier | Qt::ShiftModifier, 6 },
        { Qt::Key_PageDown, Qt::NoModifier, 6 },
        { Qt::Key_PageUp, Qt::ControlModifier, 1 },
        { Qt::Key_PageUp, Qt::NoModifier, 4 },
        { Qt::Key_Home, Qt::NoModifier, 1 },
        { Qt::Key_End, Qt::NoModifier, 10 },
    };
    for (const auto& c : cases) {
        form->goToPage(5);
        // Key preview: the form sees the key whichever control has the focus.
        QTest::keyClick(form->ThumbGrid, static_cast<Qt::Key>(c.key), c.modifiers);
        EXPECT_EQ(form->BRPreview->PageNumber(), c.expected) << c.key << " " << c.modifiers;
    }
    form->goToPage(10);
    form->NextPageClick();
    EXPECT_EQ(shown(), pageLine(10, 10));
}

TEST_F(PreviewForm, ArrowsScrollAndTurnThePageAtTheEnds)
{
    form->ZoomTo100Click();
    QScrollBar* bar = form->BRPreview->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 100); // an A4 page at 100 % is taller than the view
    form->goToPage(2);
    QTest::keyClick(form->BRPreview, Qt::Key_Down);
    EXPECT_EQ(bar->value(), bar->singleStep());
    QTest::keyClick(form->BRPreview, Qt::Key_Up);
    QTest::keyClick(form->BRPreview, Qt::Key_Up); // at the top: the previous page, near its bottom
    EXPECT_EQ(form->BRPreview->PageNumber(), 1);
    EXPECT_EQ(bar->value(), bar->maximum() - bar->singleStep());
    QTest::keyClick(form->BRPreview, Qt::Key_Down);
    EXPECT_EQ(bar->value(), bar->maximum());
    QTest::keyClick(form->BRPreview, Qt::Key_Down); // at the bottom: the next page, from its top
    EXPECT_EQ(form->BRPreview->PageNumber(), 2);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(form->Zoom100->isChecked());
}

TEST_F(PreviewForm, ProgressShowsEveryFivePercent)
{
    const struct {
        int progress;
        const char* shown;
    } cases[] = { { 3, "" }, { 6, "6%" }, { 8, "6%" }, { 12, "12%" }, { 100, "" }, { 4, "" }, { 5, "5%" },
        { 250, "" } };
    for (const auto& c : cases) {
        form->BRPreviewProgressUpdate(c.progress);
        EXPECT_EQ(form->StatusPanel0->text(), QString::fromUtf8(c.shown)) << c.progress;
    }
}

TEST_F(PreviewForm, SearchListsThePagesThatHoldTheText)
{
    dialogs.state().searches = { { QStringLiteral("決勝") }, { QStringLiteral("aメイン"), false },
        { QStringLiteral("aメイン"), true }, { QStringLiteral("Seite"), false, true } };
    form->FindButtonClick();
    ASSERT_EQ(form->SearchResultBox->count(), 2);
    EXPECT_EQ(form->SearchResultBox->item(0)->text(), QStringLiteral("Page 2"));
    EXPECT_EQ(form->SearchResultBox->item(1)->text(), QStringLiteral("Page 7"));
    EXPECT_EQ(form->SearchTextLabel->text(), QStringLiteral("決勝"));
    EXPECT_EQ(form->Tabs->currentWidget(), form->TabSearchResult);
    pump();
    QListWidget* list = form->SearchResultBox;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(shown(), pageLine(7, 10));
    EXPECT_TRUE(shownTexts().contains(QStringLiteral("決勝 Aメイン")));

    form->FindButtonClick(); // without case: "a" finds "A"
    EXPECT_EQ(form->SearchResultBox->count(), 2);
    form->FindButtonClick(); // with case: nothing
    ASSERT_EQ(form->SearchResultBox->count(), 1);
    EXPECT_EQ(form->SearchResultBox->item(0)->text(), QStringLiteral("No matching text"));
    EXPECT_FALSE(form->SearchResultBox->isEnabled());
    form->FindButtonClick(); // cancelled: the list stays
    EXPECT_EQ(form->SearchResultBox->item(0)->text(), QStringLiteral("No matching text"));
    form->SearchResultBoxClick(); // a line without a page goes to page 1
    EXPECT_EQ(shown(), pageLine(1, 10));
}

TEST_F(PreviewForm, SaveAndLoadThroughTheForm)
{
    const QString file = dir.filePath(QStringLiteral("schedule.BRP"));
    dialogs.state().files = { file };
    form->SaveClick();
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_EQ(dialogs.state().asked.last(), QStringLiteral("Save report|Trelvin file(*.BRP)"));

    TBRPrinter other;
    runTextPages(other, numberedPages(2));
    TBRStandardPreview* second = Open(other);
    second->goToPage(2);
    dialogs.state().files = { dir.filePath(QStringLiteral("missing.BRP")), file };
    second->LoadClick();
    EXPECT_EQ(asker.messages(), QStringList { QStringLiteral("File does not exist") });
    EXPECT_EQ(other.PageCount(), 2);
    second->LoadClick();
    EXPECT_EQ(dialogs.state().asked.last(), QStringLiteral("Load report|Trelvin file (*.BRP)|*.BRP"));
    EXPECT_EQ(other.PageCount(), 10);
    EXPECT_EQ(second->StatusPanel1->text(), pageLine(1, 10));
    EXPECT_EQ(second->StatusPanel2->text(), file);
    EXPECT_EQ(second->ThumbGrid->rowCount(), 10);
    EXPECT_EQ(second->ThumbGrid->currentRow(), 0);
    EXPECT_TRUE(second->loadedFromFile());
    EXPECT_TRUE(second->Print->isEnabled());
    ASSERT_TRUE(second->BRPreview->image()->hasPage());
    EXPECT_TRUE(pageTexts(*second->BRPreview->image()->Page()).contains(QStringLiteral("Seite 1")));
    second->LastPageClick();
    EXPECT_TRUE(pageTexts(*second->BRPreview->image()->Page()).contains(QStringLiteral("Seite 10")));
    EXPECT_TRUE(asker.errors().isEmpty());
}

// A disk that fills while a report is saved over an older one: the older file keeps every
// byte, and the error box names the file that was not saved.
TEST_F(PreviewForm, AFullDiskKeepsTheStoredFileAndTheBoxNamesIt)
{
    const QString file = dir.filePath(QStringLiteral("schedule.BRP"));
    const QByteArray before(300, 'o');
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    dialogs.state().files = { file };
    const QString said = testing_support::inChildWithFileSizeLimit(before.size(), [&] {
        form->SaveClick();
        return asker.errors().join(u'|');
    });
    EXPECT_TRUE(said.startsWith(QStringLiteral("ファイル ") + QDir::toNativeSeparators(file)
        + QStringLiteral(" は保存されていません。元の内容のままです（")))
        << said.toStdString();
    EXPECT_EQ(testing_support::readFileBytes(file), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList { "schedule.BRP" });
}

TEST_F(PreviewForm, ADamagedFileIsRefusedAndThePagesStay)
{
    const QString file = dir.filePath(QStringLiteral("damaged.BRP"));
    printer.Save(file);
    Write(file, bytes(file).left(2000));
    form->goToPage(3);
    dialogs.state().files = { file };
    form->LoadClick();
    ASSERT_EQ(asker.errors().size(), 1);
    EXPECT_TRUE(asker.errors().first().contains(QStringLiteral("壊れています")))
        << asker.errors().first().toStdString();
    EXPECT_EQ(printer.PageCount(), 10);
    EXPECT_EQ(shown(), pageLine(3, 10));
    EXPECT_TRUE(shownTexts().contains(QStringLiteral("Seite 3")));
    EXPECT_FALSE(form->loadedFromFile());
    form->NextPageClick(); // still usable
    EXPECT_TRUE(shownTexts().contains(QStringLiteral("Seite 4")));
}

TEST_F(PreviewForm, LoadIsRefusedWhileTheStoreIsBusy)
{
    const QString file = dir.filePath(QStringLiteral("a.BRP"));
    printer.Save(file);
    TBRPrinter running;
    running.BeginDoc();
    running.NewPage();
    running.NewPage();
    TBRStandardPreview* busy = Open(running);
    EXPECT_FALSE(busy->LoadReport->isEnabled());
    EXPECT_FALSE(busy->SaveReport->isEnabled());
    EXPECT_FALSE(busy->Print->isEnabled());
    dialogs.state().files = { file };
    busy->LoadClick();
    EXPECT_TRUE(dialogs.state().asked.isEmpty());
    EXPECT_EQ(running.PageCount(), 2);
    running.EndDoc();
    pump();
    EXPECT_TRUE(busy->LoadReport->isEnabled());
    EXPECT_EQ(busy->StatusPanel1->text(), pageLine(1, 2));
}

TEST_F(PreviewForm, ADamagedPageIsReportedOnceAndSkipped)
{
    const QString file = dir.filePath(QStringLiteral("spoilt.BRP"));
    printer.Save(file);
    spoilPage(file, 2);
    dialogs.state().files = { file };
    form->LoadClick();
    ASSERT_TRUE(asker.errors().isEmpty());
    ASSERT_EQ(printer.PageCount(), 10);

    form->goToPage(2); // paging
    EXPECT_EQ(shown(), pageLine(2, 10));
    EXPECT_FALSE(form->BRPreview->image()->hasPage());
    form->goToPage(3);
    EXPECT_TRUE(shownTexts().contains(QStringLiteral("Seite 3")));
    testing_support::saveGrab(form, QStringLiteral("BRStandardPreview_damaged")); // thumbnails
    dialogs.state().searches = { { QStringLiteral("Seite") } };
    form->FindButtonClick();
    EXPECT_EQ(form->SearchResultBox->count(), 9);
    const QString pdf = dir.filePath(QStringLiteral("spoilt.pdf"));
    printer.setOutputFileName(pdf);
    form->PrintClick();
    pump();
    EXPECT_EQ(printer_support::pdfSeiten(pdf), (QList<int> { 1, 3, 4, 5, 6, 7, 8, 9, 10 }));
    ASSERT_EQ(asker.errors().size(), 1);
    EXPECT_TRUE(asker.errors().first().contains(QStringLiteral("2 ページ")));
}

TEST(PreviewFormReport, TheReportChoosesSizeTitleAndPanels)
{
    const struct {
        bool thumbs, search;
    } cases[] = { { true, false }, { false, true }, { false, false } };
    for (const auto& c : cases) {
        RowReport r(5);
        r.report.PrevShowThumbs = c.thumbs;
        r.report.PrevShowSearch = c.search;
        r.report.PreviewWidth = 640;
        r.report.PreviewHeight = 0; // read as 500
        r.report.PrevInitialZoom = TBRZoomState::brZoomToWidth;
        r.report.Prepare();
        QPointer<TBRStandardPreview> form = new TBRStandardPreview(nullptr, r.report.BRPrinter());
        form->show();
        EXPECT_EQ(form->size(), QSize(640, 500));
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Report Preview : スケジュール"));
        EXPECT_EQ(form->FindButton->isVisibleTo(form), c.search);
        EXPECT_EQ(form->Tabs->isTabVisible(form->Tabs->indexOf(form->TabSearchResult)), c.search);
        EXPECT_EQ(form->Tabs->isTabVisible(form->Tabs->indexOf(form->TabThumbs)), c.thumbs);
        EXPECT_EQ(form->Tabs->isVisibleTo(form), c.thumbs || c.search);
        EXPECT_TRUE(form->ZoomToWidth->isChecked());
        EXPECT_TRUE(form->PrintSetup->isEnabled());
        form->close();
        pump();
        EXPECT_TRUE(form.isNull());
    }
}

TEST(PreviewFormReport, TheReportChoosesTheWindowsStyleAndState)
{
    const struct {
        TFormStyle style;
        TWindowState state;
        bool onTop;
        Qt::WindowStates shown;
    } cases[] = {
        { TFormStyle::fsNormal, TWindowState::wsNormal, false, Qt::WindowNoState },
        { TFormStyle::fsStayOnTop, TWindowState::wsMaximized, true, Qt::WindowMaximized },
        { TFormStyle::fsMDIChild, TWindowState::wsMinimized, false, Qt::WindowMinimized },
    };
    for (const auto& c : cases) {
        RowReport r(5);
        r.report.PrevFormStyle = c.style;
        r.report.PreviewInitialState = c.state;
        r.report.Prepare();
        QPointer<TBRStandardPreview> form = new TBRStandardPreview(nullptr, r.report.BRPrinter());
        EXPECT_EQ(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint), c.onTop);
        EXPECT_EQ(form->windowState(), c.shown);
        form->close();
        pump();
        EXPECT_TRUE(form.isNull());
    }
}

namespace {

// A prepared report printing to a PDF file, and a stored file of `storedPages` numbered pages.
struct ReportAndFile {
    explicit ReportAndFile(int storedPages)
        : stored(dir.filePath(QStringLiteral("stored.BRP")))
        , pdf(dir.filePath(QStringLiteral("out.pdf")))
    {
        TBRPrinter other;
        runTextPages(other, numberedPages(storedPages));
        other.Save(stored);
        r.report.PrinterSettings.OutputFileName = pdf;
        r.report.Prepare();
    }
    QPointer<TBRStandardPreview> Open()
    {
        QPointer<TBRStandardPreview> form = new TBRStandardPreview(nullptr, r.report.BRPrinter());
        form->show();
        return form;
    }
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    testing_support::ScriptedAsker asker;
    QString stored;
    QString pdf;
    RowReport r { 5 };
};

} // namespace

TEST(PreviewFormReport, PrintAfterLoadPrintsTheLoadedPages)
{
    ReportAndFile t(3);
    ASSERT_EQ(t.r.runs, 1);
    QPointer<TBRStandardPreview> form = t.Open();
    form->PrintClick(); // pages made for the screen: the report runs again for the printer
    EXPECT_EQ(t.r.runs, 2);
    EXPECT_TRUE(printer_support::pdfPageTexts(t.pdf).join(QString()).contains(QStringLiteral("行 1")));

    t.dialogs.state().files = { t.stored };
    form->LoadClick();
    ASSERT_TRUE(form->loadedFromFile());
    form->PrintClick();
    EXPECT_EQ(t.r.runs, 2);
    EXPECT_EQ(printer_support::pdfSeiten(t.pdf), (QList<int> { 1, 2, 3 }));
    EXPECT_TRUE(t.asker.errors().isEmpty());
    form->close();
    pump();
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(t.r.report.BRPrinter(), nullptr); // the closed preview let its store go
}

TEST(PreviewFormReport, ClosingThePreviewWhileItPrints)
{
    YieldToEventLoop yield;
    ReportAndFile t(6);
    TBRPrinter* store = t.r.report.BRPrinter();
    QPointer<TBRStandardPreview> form = t.Open();
    t.dialogs.state().files = { t.stored };
    form->LoadClick();

    int progress = 0;
    QObject::connect(store, &TBRPrinter::progressUpdate, [&](int) {
        if (++progress == 2)
            form->close();
    });
    form->PrintClick();
    // The print ran to its end in the closed form; the form and the store go afterwards.
    EXPECT_GE(progress, 2);
    EXPECT_EQ(printer_support::pdfSeiten(t.pdf), (QList<int> { 1, 2, 3, 4, 5, 6 }));
    pump();
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(t.r.report.BRPrinter(), nullptr);

    // Closed while the report runs again for the printer: that print, too, ends first.
    t.r.report.Prepare();
    form = t.Open();
    t.r.OnRow = [&](int row) {
        if (row == 3 && form)
            form->close();
    };
    QFile::remove(t.pdf);
    form->PrintClick();
    EXPECT_TRUE(printer_support::pdfPageTexts(t.pdf).join(QString()).contains(QStringLiteral("行 5")));
    pump();
    EXPECT_TRUE(form.isNull());
    EXPECT_TRUE(t.asker.errors().isEmpty());
}

TEST(PreviewFormReport, TheFormOutlivesItsStore)
{
    ScriptedDialogs dialogs;
    RowReport r(5);
    r.report.Prepare();
    QPointer<TBRStandardPreview> form = new TBRStandardPreview(nullptr, r.report.BRPrinter());
    form->show();
    pump();
    r.report.Prepare(); // the next run frees the store the form shows
    EXPECT_EQ(form->printer(), nullptr);
    form->UpdateInfo();
    EXPECT_EQ(form->StatusPanel1->text(), pageLine(1, 0));
    form->NextPageClick();
    form->LastPageClick();
    form->GotoPageButtonClick();
    form->FindButtonClick();
    form->PrintClick();
    form->PrintSetupClick();
    form->SaveClick();
    form->LoadClick();
    form->ZoomToFitClick();
    QTest::keyClick(form->BRPreview, Qt::Key_Down);
    form->grab();
    form->close();
    pump();
    EXPECT_TRUE(form.isNull());
}

TEST(PreviewFormReport, PreviewModalShowsThePagesAsTheRunMakesThem)
{
    YieldToEventLoop yield;
    const auto previous
        = setPreviewInterfaceClass([] { return std::make_unique<TBRStandardPreviewInterface>(); });
    RowReport r(100); // 42 rows a page: three pages; at row 60 page 2 is being drawn
    QStringList duringRun;
    r.OnRow = [&](int row) {
        if (row != 60)
            return;
        auto* form = qobject_cast<TBRStandardPreview*>(r.report.BRPrinter()->previewForm());
        ASSERT_TRUE(form);
        duringRun << form->StatusPanel1->text();
        duringRun << QString::number(form->BRPreview->image()->hasPage());
        duringRun << QString::number(form->Print->isEnabled());
    };
    QPointer<TBRStandardPreview> shown;
    QString png;
    QStringList finished;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        TBRPrinter* store = r.report.BRPrinter();
        if (!r.report.Available() || !store || !store->complete())
            return;
        shown = qobject_cast<TBRStandardPreview*>(store->previewForm());
        if (!shown)
            return;
        poll.stop();
        shown->goToPage(2);
        finished << shown->StatusPanel1->text() << QString::number(shown->ThumbGrid->rowCount())
                 << QString::number(shown->Print->isEnabled());
        png = testing_support::saveGrab(shown, QStringLiteral("BRStandardPreview_report"));
        shown->close();
    });
    poll.start(10);
    r.report.PreviewModal();
    setPreviewInterfaceClass(previous);

    EXPECT_EQ(duringRun, (QStringList { pageLine(1, 2), QStringLiteral("1"), QStringLiteral("0") }));
    EXPECT_EQ(finished, (QStringList { pageLine(2, 3), QStringLiteral("3"), QStringLiteral("1") }));
    ASSERT_FALSE(png.isEmpty());
    EXPECT_EQ(r.report.BRPrinter(), nullptr); // closing the preview ended the wait and freed the store
    pump();
    EXPECT_TRUE(shown.isNull());
}

TEST(PreviewFormReport, PrinterSetupGoesToTheStoreAndTheReport)
{
    RowReport r(5);
    r.report.Prepare();
    TBRPrinter* store = r.report.BRPrinter();
    bool cancel = true;
    const auto previous
        = TCustomBandReport::setPrintDialogRunner([&](TBRPrinter*, TCustomBandReport::TBRSetupChoice& c) {
              c.Copies = 3;
              c.PageRange = true;
              c.FromPage = 2;
              c.ToPage = 3;
              c.Collate = 1;
              c.Duplex = true;
              return !cancel;
          });
    QPointer<TBRStandardPreview> form = new TBRStandardPreview(nullptr, store);
    const QSize sheet(store->PaperWidth(), store->PaperLength());
    form->PrintSetupClick(); // cancelled: nothing changes
    EXPECT_EQ(store->settings().Copies(), 1);
    EXPECT_EQ(r.report.PrinterSettings.Collate, 0);
    cancel = false;
    form->PrintSetupClick();
    TCustomBandReport::setPrintDialogRunner(previous);
    EXPECT_EQ(store->settings().Copies(), 3);
    EXPECT_EQ(store->FirstPage(), 2);
    EXPECT_EQ(store->LastPage(), 3);
    EXPECT_EQ(store->settings().Collate(), 1);
    EXPECT_TRUE(store->settings().Duplex());
    EXPECT_EQ(QSize(store->PaperWidth(), store->PaperLength()), sheet); // the pages keep their sheet
    EXPECT_EQ(r.report.PrinterSettings.Collate, 1);
    EXPECT_TRUE(r.report.PrinterSettings.Duplex);
    form->close();
    pump();
}

namespace {

// Clicks a widget where the operator would: through the window system, at its centre.
void clickThroughWindow(QWidget* widget)
{
    QWidget* top = widget->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, widget->mapTo(top, widget->rect().center()));
}

} // namespace

TEST(PreviewFormReport, ThePrintButtonSaysHowThePrintEnded)
{
    using State = TBRQueueAnswer::State;
    enum class Queue { None, Answers, Hangs };
    struct Case {
        Queue queue;
        TBRQueueAnswer answer;
        QString file; // PDF output when there is no queue
        QStringList error, message, status; // parts of what is said; empty: nothing
    };
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("予定表.pdf"));
    const QString office = QStringLiteral("office");
    const Case cases[] = {
        { Queue::None, {}, pdf, {}, {}, { QDir::toNativeSeparators(pdf) } },
        { Queue::None, {}, QStringLiteral("/nonexistent/予定表.pdf"),
            { QStringLiteral("/nonexistent/予定表.pdf") }, {}, {} },
        { Queue::Answers, { State::Printing, {} }, {}, {}, {}, {} },
        { Queue::Answers, { State::Held, {} }, {}, {}, { office, QStringLiteral("停止") }, {} },
        { Queue::Answers, { State::Refused, QStringLiteral("Printer is not accepting jobs.") }, {},
            { office, QStringLiteral("not accepting") }, {}, {} },
        { Queue::Answers, { State::Unreachable, {} }, {}, { office, QStringLiteral("プリントサーバー") }, {},
            {} },
        { Queue::Hangs, {}, {}, { office, QStringLiteral("応答しません") }, {}, {} },
    };
    for (const Case& c : cases) {
        testing_support::ScriptedAsker asker;
        std::optional<FakeQueue> queue;
        std::optional<HurriedQueueClock> clock;
        if (c.queue == Queue::Hangs) {
            queue.emplace(FakeQueue::hanging());
            clock.emplace();
        } else if (c.queue == Queue::Answers) {
            queue.emplace(c.answer);
        }
        RowReport r(5);
        r.report.PrinterSettings.QueueName = c.queue == Queue::None ? QString() : office;
        r.report.PrinterSettings.OutputFileName = c.file;
        r.report.Prepare();
        QPointer<TBRStandardPreview> form = new TBRStandardPreview(nullptr, r.report.BRPrinter());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        clickThroughWindow(form->Print);
        EXPECT_EQ(r.runs, 2); // the report ran again for the printer
        const auto says = [](const QStringList& said, const QStringList& parts) {
            if (parts.isEmpty())
                return said.isEmpty();
            return said.size() == 1 && std::all_of(parts.begin(), parts.end(), [&](const QString& p) {
                return said[0].contains(p);
            });
        };
        EXPECT_TRUE(says(asker.errors(), c.error)) << asker.errors().join(u'|').toStdString();
        EXPECT_TRUE(says(asker.messages(), c.message)) << asker.messages().join(u'|').toStdString();
        // The status panel shows the title unless it tells where a PDF went.
        const QString status = form->StatusPanel2->text();
        if (c.file == pdf)
            testing_support::saveGrab(form, QStringLiteral("BRStandardPreview_printed_pdf"));
        const QString title = QStringLiteral("スケジュール");
        const bool told = !status.isEmpty() && status != title;
        EXPECT_TRUE(says(told ? QStringList { status } : QStringList(), c.status)) << status.toStdString();
        form->NextPageClick();
        EXPECT_EQ(form->StatusPanel2->text(), title);
        EXPECT_TRUE(form->Print->isEnabled()); // ready for the next try
        // The queue got the job (a queue that never answers may not have been reached yet).
        if (c.queue == Queue::Answers) {
            EXPECT_EQ(queue->jobs().size(), 1);
        }
        form->close();
        pump();
    }
}

TEST(PreviewFormReport, ThePaperChosenInPrinterSetupIsThePaperPrintedOn)
{
    FakeQueue queue;
    RowReport r(5);
    r.report.PrinterSettings.QueueName = QStringLiteral("office");
    r.report.Prepare();
    TCustomBandReport::TBRSetupChoice preset;
    const auto previous
        = TCustomBandReport::setPrintDialogRunner([&](TBRPrinter*, TCustomBandReport::TBRSetupChoice& c) {
              preset = c;
              c.PaperCode = 1; // Letter
              c.Copies = 2;
              return true;
          });
    QPointer<TBRStandardPreview> form = new TBRStandardPreview(nullptr, r.report.BRPrinter());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    clickThroughWindow(form->PrintSetup);
    TCustomBandReport::setPrintDialogRunner(previous);
    // The dialog showed the report's own paper and queue.
    EXPECT_EQ(preset.PaperCode, 9); // A4
    EXPECT_EQ(QSize(preset.PaperWidth, preset.PaperLength), QSize(2100, 2970));
    EXPECT_EQ(preset.QueueName, QStringLiteral("office"));
    EXPECT_EQ(r.report.Page().PaperSize(), TBRPaperSize::Letter);

    clickThroughWindow(form->Print);
    ASSERT_EQ(queue.jobs().size(), 1);
    const FakeQueue::Job job = queue.jobs()[0];
    EXPECT_EQ(job.job.media, QStringLiteral("Letter"));
    EXPECT_EQ(job.job.copies, 2);
    const QList<QSizeF> sizes = printer_support::pdfPageSizes(job.copy);
    ASSERT_EQ(sizes.size(), 1); // one copy of the pages; the queue makes the second
    EXPECT_NEAR(sizes[0].width(), 612, 1.0);
    EXPECT_NEAR(sizes[0].height(), 792, 1.0);
    form->close();
    pump();
}

TEST(PreviewFormReport, WithoutAQueuePrinterSetupOffersAPdfFile)
{
    RowReport r(5);
    r.report.Prepare();
    bool offered = false;
    QString file;
    // The dialog opens once the print server has listed its (no) queues.
    QTimer operatorAccepts;
    QObject::connect(&operatorAccepts, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        offered = dialog->testOption(QAbstractPrintDialog::PrintToFile);
        file = dialog->printer()->outputFileName();
        dialog->accept();
    });
    operatorAccepts.start(10);
    ASSERT_TRUE(r.report.PrinterSetup());
    EXPECT_TRUE(offered);
    EXPECT_EQ(file, brDefaultPdfFileName(QStringLiteral("スケジュール")));
    EXPECT_EQ(r.report.setupResult().OutputFileName, file);
    EXPECT_TRUE(r.report.setupResult().QueueName.isEmpty());
}

TEST(PreviewInterface, ShowModalReturnsOnceTheFormHasGone)
{
    TBRPrinter printer;
    runTextPages(printer, numberedPages(2));
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TBRStandardPreview*>(QApplication::activeModalWidget());
        ASSERT_TRUE(form);
        shown = form->StatusPanel1->text();
        form->close();
    });
    TBRStandardPreviewInterface preview;
    EXPECT_EQ(preview.ShowModal(&printer), nullptr);
    EXPECT_EQ(shown, pageLine(1, 2));
    EXPECT_FALSE(printer.previewShowing());
    EXPECT_EQ(printer.messageReceiver(), nullptr);
}

TEST(PreviewThumbnails, RowsFollowTheSheetAndNeverDivideByZero)
{
    const struct {
        TBRPaperSize paper;
        TPrinterOrientation orientation;
        int width, length; // Custom only
        double ratio; // length / width of the sheet as drawn
    } cases[] = {
        { TBRPaperSize::A4, TPrinterOrientation::poPortrait, 0, 0, 2970.0 / 2100 },
        { TBRPaperSize::A4, TPrinterOrientation::poLandscape, 0, 0, 2100.0 / 2970 },
        { TBRPaperSize::Custom, TPrinterOrientation::poPortrait, 0, 0, 2794.0 / 2159 }, // laid out as Letter
    };
    for (const auto& c : cases) {
        TBRPrinter printer;
        printer.SetSettingsPaperSize(c.paper);
        printer.setOrientation(c.orientation);
        printer.setPaperWidth(c.width);
        printer.setPaperLength(c.length);
        QPointer<TBRStandardPreview> form = new TBRStandardPreview(nullptr, &printer);
        form->setWindowState(Qt::WindowNoState);
        form->resize(800, 639);
        form->show();
        pump();
        const int label = QFontMetrics(form->ThumbGrid->font()).height();
        ASSERT_GT(form->thumbWidth(), 100);
        EXPECT_NEAR(static_cast<double>(form->thumbRowHeight() + label) / form->thumbWidth(), c.ratio, 0.02)
            << static_cast<int>(c.paper) << " " << static_cast<int>(c.orientation);
        form->close();
        pump();
    }
}
