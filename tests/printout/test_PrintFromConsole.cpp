// Printing the schedule from the race console as the operator does it, with mouse and keys
// through the window system: the console runs modally (as the event list opens it), so the
// preview, its dialogs and the print progress form must take input above it while the console
// takes none, and the count-down runs on meanwhile.

#include "components/LED7Seg.h"
#include "platform/EndOnSignals.h"
#include "printout/PrintoutFixture.h"
#include "report/BRPrgres.h"
#include "report/BRSearchDlg.h"
#include "support/DeviceTestSupport.h"
#include "support/WindowInput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <csignal>
#include <cstdio>

namespace {

using namespace testing_support;

class PrintFromConsole : public PrintoutFixture {
protected:
    // The console for the event, shown as the event list shows it: application-modal.
    std::unique_ptr<console::TFtaikai> openModal()
    {
        auto f = std::make_unique<console::TFtaikai>(nullptr, devices());
        f->resize(997, 696);
        f->setWindowModality(Qt::ApplicationModal);
        f->show();
        return f;
    }
    static QString warmDigits(const console::TFtaikai& f)
    {
        QString s;
        for (const components::TLED7Seg* seg : f.SegWarm)
            s += seg->Value() < 0 ? QChar(u'_') : QChar(u'0' + seg->Value());
        return s;
    }
};

TEST_F(PrintFromConsole, ThePreviewItsDialogsAndTheProgressFormTakeInputAboveTheRunningConsole)
{
    addRows(70); // four pages
    const QString pdf = home.file(QStringLiteral("schedule.pdf"));
    const auto f = openModal();
    userClick(f->CuteButton5); // reset (confirmed) and start a five-minute warm-up
    userClick(f->CuteButton1);
    ASSERT_TRUE(f->Tm1.isActive());
    userClickTab(f->PageControl1, f->TabSheet4);
    ASSERT_EQ(f->PageControl1->currentWidget(), f->TabSheet4);

    bool previewSeen = false;
    // In the preview, once its run is complete:
    WhenShown<TBRStandardPreview> inPreview(
        [&](TBRStandardPreview& preview) {
            previewSeen = true;
            // A failed step still closes the preview, which ends the print command.
            struct Closer {
                QPointer<QWidget> form;
                ~Closer()
                {
                    if (form)
                        form->close();
                }
            } closer { &preview };

            // The console takes no click while the preview is open, and keeps counting down.
            userClickTab(f->PageControl1, f->TabSheet1);
            EXPECT_EQ(f->PageControl1->currentWidget(), f->TabSheet4);
            clock.advanceMs(2000);
            EXPECT_TRUE(waitUntil([&] { return warmDigits(*f) == "__4580"; }))
                << warmDigits(*f).toStdString();

            userClick(preview.ZoomToWidth);
            EXPECT_EQ(preview.BRPreview->zoomState(), TBRZoomState::brZoomToWidth);
            userClick(preview.ZoomFit);
            EXPECT_EQ(preview.BRPreview->zoomState(), TBRZoomState::brZoomToFit);

            {
                WhenShown<TSearchDlg> search([](TSearchDlg& dialog) {
                    userClick(dialog.Edit1);
                    userType(dialog.Edit1, QStringLiteral("予選 50"));
                    userClick(dialog.SpeedButton2);
                });
                userClick(preview.FindButton);
                EXPECT_TRUE(search.done());
            }
            ASSERT_EQ(preview.SearchResultBox->count(), 1);
            EXPECT_EQ(preview.SearchResultBox->item(0)->text(), "Page 3");
            QListWidget* results = preview.SearchResultBox;
            userClick(results->viewport(), results->visualItemRect(results->item(0)).center());
            EXPECT_EQ(preview.BRPreview->PageNumber(), 3);

            {
                // The printer setup's own dialog, left with Esc.
                WhenShown<QPrintDialog> setup([](QPrintDialog& dialog) { userKey(&dialog, Qt::Key_Escape); });
                userClick(preview.PrintSetup);
                EXPECT_TRUE(setup.done());
                EXPECT_EQ(qobject_cast<QPrintDialog*>(QApplication::activeModalWidget()), nullptr);
            }
            choosePdfInSetup(preview, pdf);

            {
                // Cancel on the progress form stops the print: no file is made.
                WhenShown<TBRProgressForm> progress(
                    [](TBRProgressForm& form) { userClick(form.CancelButton); });
                userClick(preview.Print);
                EXPECT_TRUE(progress.done());
                EXPECT_FALSE(QFile::exists(pdf));
            }
            userClick(preview.Print);
            EXPECT_EQ(printer_support::pdfPageSizes(pdf).size(), 4);

            // Closed, the preview frees itself once its click has been handled.
            const QPointer<QWidget> alive(&preview);
            userClick(preview.ExitButton);
            EXPECT_TRUE(!alive || !alive->isVisible());
        },
        [](TBRStandardPreview& preview) { return preview.printer() && preview.printer()->complete(); });
    userClick(f->CuteButton15); // "印刷": returns once the preview has closed
    EXPECT_TRUE(previewSeen);
    EXPECT_EQ(QApplication::activeModalWidget(), f.get());

    // With the preview gone the console takes input again; its count-down never stopped.
    userClickTab(f->PageControl1, f->TabSheet1);
    EXPECT_EQ(f->PageControl1->currentWidget(), f->TabSheet1);
    EXPECT_TRUE(f->Tm1.isActive());
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join(u'\n').toStdString();
}

// A print server that takes connections and never answers: printing from the preview and its
// printer setup wait for it off the GUI thread behind the progress form, the count-down runs on,
// and the operator hears of it within the answer limit. Once the wait is over, the next press
// prints.
TEST_F(PrintFromConsole, APrintServerThatNeverAnswersStopsNothingAndIsSaid)
{
    addRows(3);
    printer_support::FakeLister server = printer_support::FakeLister::hanging();
    const printer_support::QueueAnswerLimit limit(1500);
    const auto f = openModal();
    userClick(f->CuteButton5); // reset (confirmed) and start a five-minute warm-up
    userClick(f->CuteButton1);
    userClickTab(f->PageControl1, f->TabSheet4);

    const auto complete = [](TBRStandardPreview& p) { return p.printer() && p.printer()->complete(); };
    WhenShown<TBRStandardPreview> inPreview(
        [&](TBRStandardPreview& preview) {
            {
                // The print waits for the queue list behind its progress form.
                WhenShown<TBRProgressForm> waiting([&](TBRProgressForm&) {
                    clock.advanceMs(2000);
                    EXPECT_TRUE(waitUntil([&] { return warmDigits(*f) == "__4580"; }))
                        << warmDigits(*f).toStdString();
                });
                userClick(preview.Print);
                EXPECT_TRUE(waiting.done());
            }
            ASSERT_EQ(asker.errors().size(), 1);
            EXPECT_TRUE(asker.errors()[0].contains(QStringLiteral("プリントサーバーが応答しません")));

            // Printer setup waits for the list too, behind the progress form that says so: the
            // count-down runs on, the console takes no click meanwhile, and the operator is told
            // once the limit has passed.
            {
                WhenShown<TBRProgressForm> waiting([&](TBRProgressForm& form) {
                    EXPECT_EQ(form.Info->text(), brServerWaitText());
                    clock.advanceMs(1000);
                    EXPECT_TRUE(waitUntil([&] { return warmDigits(*f) == "__4570"; }))
                        << warmDigits(*f).toStdString();
                    userClickTab(f->PageControl1, f->TabSheet1);
                    EXPECT_EQ(f->PageControl1->currentWidget(), f->TabSheet4);
                });
                userClick(preview.PrintSetup);
                EXPECT_TRUE(waiting.done());
            }
            ASSERT_EQ(asker.errors().size(), 2);
            EXPECT_TRUE(asker.errors()[1].contains(QStringLiteral("プリンタの設定を開けません")));
            userKey(&preview, Qt::Key_Escape);
        },
        complete);
    userClick(f->CuteButton15);
    EXPECT_TRUE(inPreview.done());
    EXPECT_TRUE(asker.messages().isEmpty());

    WhenShown<TBRStandardPreview> again([](TBRStandardPreview& preview) { preview.close(); }, complete);
    userClick(f->CuteButton15);
    EXPECT_TRUE(again.done());
    EXPECT_TRUE(f->Tm1.isActive());
}

// SIGTERM (a desktop logging out) while a print's job waits for a queue that never answers: the
// windows close from the top down as the operator would close them (the progress form cancels
// the wait), the console's close steps run, the event loop ends, and the job's folder goes with
// it. The program is this test run again in a process of its own (TAVO_TEST_SIGNALLED), with a
// fresh folder for temporary files; it says when the job has been handed over.
TEST_F(PrintFromConsole, ASignalDuringAHandOverClosesTheWindowsAndLeavesNoJob)
{
    addRows(3);
    const printer_support::FakeLister server(printer_support::FakeLister::office());
    if (qEnvironmentVariableIsSet("TAVO_TEST_SIGNALLED")) {
        const printer_support::FakeQueue queue = printer_support::FakeQueue::hanging();
        const platform::EndOnSignals endOnSignals;
        QTimer handedOver;
        QObject::connect(&handedOver, &QTimer::timeout, [&] {
            if (queue.jobs().size() == 1) {
                handedOver.stop();
                std::printf("handed over\n");
                std::fflush(stdout);
            }
        });
        WhenShown<TBRStandardPreview> inPreview(
            [&](TBRStandardPreview& preview) {
                handedOver.start(20);
                userClick(preview.Print);
            },
            [](TBRStandardPreview& p) { return p.printer() && p.printer()->complete(); });
        QTimer::singleShot(0, [&] {
            // Players of the test's own: no sound system is asked.
            console::ConsoleDevices d = devices();
            d.makeCuePlayer = [](const QString&) { return std::make_unique<FakeCuePlayer>(); };
            console::TFtaikai f(nullptr, d);
            f.resize(997, 696);
            QTimer::singleShot(0, [&] {
                userClickTab(f.PageControl1, f.TabSheet4);
                userClick(f.CuteButton15);
            });
            f.exec();
        });
        QCoreApplication::exec();
        EXPECT_TRUE(inPreview.done());
        EXPECT_EQ(scalar(QStringLiteral("select tcode from tnow")), QStringLiteral("0"));
        EXPECT_EQ(QDir(QDir::tempPath()).entryList({ QStringLiteral("tavo-print-*") }, QDir::AllEntries),
            QStringList());
        return;
    }

    const QTemporaryDir temp;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAVO_TEST_SIGNALLED"), QStringLiteral("1"));
    env.insert(QStringLiteral("TMPDIR"), temp.path());
    program.setProcessEnvironment(env);
    program.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral(
            "--gtest_filter=PrintFromConsole.ASignalDuringAHandOverClosesTheWindowsAndLeavesNoJob") });
    QByteArray said;
    QElapsedTimer waited;
    waited.start();
    while (!said.contains("handed over") && waited.elapsed() < 30000 && program.waitForReadyRead(1000))
        said += program.readAllStandardOutput();
    ASSERT_TRUE(said.contains("handed over"))
        << said.toStdString() << program.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    if (!program.waitForFinished(30000))
        program.kill();
    said += program.readAllStandardOutput();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << said.toStdString();
    EXPECT_EQ(
        QDir(temp.path()).entryList({ QStringLiteral("tavo-print-*") }, QDir::AllEntries), QStringList());
}

} // namespace
