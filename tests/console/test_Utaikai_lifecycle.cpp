// The race console opened for an event and closed every way the operator can close it.

#include "ConsoleFixture.h"
#include "components/CommX.h"
#include "components/CuteBtn.h"
#include "components/rs232c.h"
#include "console/BoardLine.h"
#include "console/ConsoleWidgets.h"
#include "platform/TextCodec.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

using console::TFtaikai;
using testing_support::ConsoleFixture;

namespace {

QString pickerText(const QTimeEdit* t) { return console::longTimeText(t->time()); }

class UtaikaiLifecycle : public ConsoleFixture { };

const QByteArray kBlank = QByteArray(22, ' ') + '\r';
// The first blank line follows a CR: dropping what waited may have cut a line.
const QByteArray kCrBlank = '\r' + kBlank;

} // namespace

TEST_F(UtaikaiLifecycle, ShowLoadsTheEventRowPresetsAndSettings)
{
    addScheduleRow("9:00:00", "9:30:00", "受付", 1);
    addScheduleRow("9:30:00", "9:40:00", "練習走行", 2);
    auto f = Open();

    // The event's OFF control is "スタート後" (cont 1): opening runs its handler, which puts ON 5 at
    // 0:00:00 (stored 0:00:25).
    const char* expected[11] = { "0:01:00", "0:00:50", "0:00:40", "0:00:30", "0:00:00", "0:00:03", "0:00:10",
        "0:00:20", "0:00:05", "0:00:00", "0:00:15" };
    for (int slot = 0; slot < console::SignalSlotCount; ++slot) {
        EXPECT_EQ(pickerText(f->DTPsig[static_cast<size_t>(slot)]), QLatin1String(expected[slot])) << slot;
        EXPECT_EQ(f->SignalSlots[static_cast<size_t>(slot)],
            console::TimeStrToTenths(QLatin1String(expected[slot])));
    }
    EXPECT_EQ(OffControlMode, 1);
    EXPECT_EQ(f->RGcont->ItemIndex(), 1);
    EXPECT_EQ(pickerText(f->DTP1), "0:05:00");
    EXPECT_EQ(pickerText(f->DTP2), "0:10:00");
    EXPECT_EQ(pickerText(f->DTP3), "0:01:00");
    EXPECT_EQ(pickerText(f->DTP4), "0:00:05");
    EXPECT_EQ(pickerText(f->DTPauto), "0:03:00");
    EXPECT_FALSE(f->DTPauto->isVisible()) << "the console opens in manual operation";
    EXPECT_EQ(f->CTBm->Color(), platform::clYellow);
    EXPECT_EQ(f->CTBm->fontColor(), platform::clBlue);
    EXPECT_EQ(f->CTBa->Color(), platform::clBlack);
    EXPECT_EQ(pickerText(f->DTP), "0:00:03") << "blind time 30 tenths";
    EXPECT_FALSE(f->CkBwup->isChecked());
    EXPECT_TRUE(f->CkBrace->isChecked());
    EXPECT_TRUE(f->CkBover->isChecked());
    EXPECT_EQ(f->Edit9->text(), "192.168.0.10");
    EXPECT_EQ(f->Edit10->text(), "5000");
    EXPECT_EQ(f->RGbrate->ItemIndex(), 1);
    EXPECT_EQ(f->RGgaz->ItemIndex(), 1) << "the board starts OFF";
    EXPECT_EQ(f->ScheduleEndTime, QTime(9, 40));
    EXPECT_EQ(f->ScheduleEndText, "9:40:00");
    EXPECT_EQ(f->rs232c1->portname, "COM2");
    EXPECT_EQ(f->rs232c3->portname, "COM4");
    EXPECT_EQ(f->engine().ResetDone(), 0);
    EXPECT_EQ(f->engine().CueStep(), 1);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(f->Pnl[i]->Color(), platform::clGray);
        EXPECT_EQ(f->PLd[i]->Color(), platform::clGray);
    }
    EXPECT_EQ(lines.calls, QStringList({ "close 1", "close 2", "close 3" }));
    EXPECT_EQ(fileBytes(console::RInfoFileName),
        platform::toCp932(QStringLiteral("9:00:00,9:30:00,受付\r\n9:30:00,9:40:00,練習走行\r\n")));
    EXPECT_TRUE(f->Tmr3.isActive());
    EXPECT_TRUE(f->Tms.isActive());
    EXPECT_FALSE(f->Tm1.isActive());
    EXPECT_FALSE(f->tmr2.isActive());
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join('\n').toStdString();
    f->close();
}

TEST_F(UtaikaiLifecycle, TheBoardPortTakesTheBitRateTheGroupShows)
{
    BoardBitRateIndex = 0;
    auto slow = Open();
    EXPECT_EQ(slow->RGbrate->ItemIndex(), 0);
    EXPECT_EQ(board.calls.mid(0, 2), QStringList({ "close", "bitrate 2400" }))
        << "the rate goes through the port";
    EXPECT_EQ(slow->CommX1->PortNo(), 5);
    slow->close();

    BoardBitRateIndex = 1;
    board.calls.clear();
    auto fast = Open();
    EXPECT_EQ(board.calls.mid(0, 2), QStringList({ "close", "bitrate 9600" }));
    EXPECT_FALSE(board.calls.contains("open")) << "the board opens only when switched ON";
    fast->close();
}

TEST_F(UtaikaiLifecycle, AnEventWithoutScheduleRowsOpensWithScheduleEndZero)
{
    auto f = Open();
    EXPECT_EQ(f->ScheduleEndTime, QTime(0, 0));
    EXPECT_EQ(f->ScheduleEndText, "0:00:00");
    EXPECT_EQ(fileBytes(console::RInfoFileName), QByteArray());
    f->close();
}

TEST_F(UtaikaiLifecycle, CrossStoresTheStateBlanksTheBoardAndResetsTheMonitor)
{
    auto f = Open();
    f->DTPsig[console::SlotOn1]->setTime(QTime(0, 2, 0));
    f->DTPsig[console::SlotOff5]->setTime(QTime(0, 0, 45));
    // With OFF control 0 an OFF 5 time above ON 5 is brought down to it at the next opening.
    f->DTPsig[console::SlotOn5]->setTime(QTime(0, 1, 0));
    f->DTP2->setTime(QTime(0, 12, 30));
    f->DTPauto->setTime(QTime(1, 0, 0));
    OffControlMode = 0;
    board.calls.clear();

    f->CuteButton13->Click();

    EXPECT_FALSE(f->isVisible());
    EXPECT_TRUE(f->closed());
    EXPECT_EQ(board.sent, QByteArrayList({ kCrBlank, kBlank }));
    EXPECT_EQ(board.calls.mid(0, 4), QStringList({ "purge", "send", "send", "close when sent" }));
    EXPECT_EQ(sleeper.waits, std::vector<int>({ 200 }));
    EXPECT_EQ(scalar("select tcode from tnow"), "0");
    EXPECT_EQ(scalar("select on1 from taikai"), "0:02:00");
    EXPECT_EQ(scalar("select of5 from taikai"), "0:00:45");
    EXPECT_EQ(scalar("select sq2 from taikai"), "0:12:30");
    EXPECT_EQ(scalar("select sq5 from taikai"), "1:00:00");
    EXPECT_EQ(scalar("select cont from taikai"), "0");
    EXPECT_EQ(fileBytes(console::DtimeFileName), QByteArray("00:00:00T\r\n"));
    EXPECT_EQ(fileBytes(console::RInfoFileName), QByteArray());
    EXPECT_EQ(fileBytes(console::RInfomemFileName), QByteArray());
    for (const QTimer* t : { &f->Tm1, &f->tmr2, &f->Tmr3, &f->Tms })
        EXPECT_FALSE(t->isActive());
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join('\n').toStdString();
    EXPECT_EQ(dm->Qtaikai->FieldByName(QStringLiteral("tcode"))->AsString(), kCode)
        << "the event list stands on the event just closed";

    // Opened again, the console shows what it stored.
    WarmUpTimePreset = scalar("select sq1 from taikai");
    RaceTimePreset = scalar("select sq2 from taikai");
    AutoIntervalPreset = scalar("select sq5 from taikai");
    auto again = Open();
    EXPECT_EQ(pickerText(again->DTPsig[console::SlotOn1]), "0:02:00");
    EXPECT_EQ(pickerText(again->DTPsig[console::SlotOff5]), "0:00:45");
    EXPECT_EQ(pickerText(again->DTP2), "0:12:30");
    EXPECT_EQ(pickerText(again->DTPauto), "1:00:00");
    EXPECT_EQ(again->RGcont->ItemIndex(), 0);
    again->close();
}

TEST_F(UtaikaiLifecycle, TheWindowsOwnCloseRunsTheSameStepsAsTheCross)
{
    auto f = Open();
    f->DTP1->setTime(QTime(0, 7, 0));
    f->close();

    EXPECT_TRUE(f->closed());
    EXPECT_EQ(board.sent, QByteArrayList({ kCrBlank, kBlank })) << "the board is blanked on every close";
    EXPECT_GE(board.closes, 1);
    EXPECT_EQ(scalar("select sq1 from taikai"), "0:07:00");
    EXPECT_EQ(scalar("select tcode from tnow"), "0");
    EXPECT_EQ(fileBytes(console::DtimeFileName), QByteArray("00:00:00T\r\n"));
    EXPECT_FALSE(f->Tmr3.isActive());
}

TEST_F(UtaikaiLifecycle, TheEscapeKeyLeavesTheConsoleOpen)
{
    auto f = Open();
    f->PageControl1->setCurrentWidget(f->TabSheet4);
    for (QWidget* w :
        { static_cast<QWidget*>(f->Edit2), static_cast<QWidget*>(f->DTPe), static_cast<QWidget*>(f.get()) }) {
        QTest::keyClick(w, Qt::Key_Escape);
        EXPECT_FALSE(f->closed()) << w->objectName().toStdString();
    }
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(board.sent.isEmpty());
    f->close();
}

TEST_F(UtaikaiLifecycle, TheOwnersEndClosesOnceAndCompletely)
{
    auto f = Open();
    f->reject();
    EXPECT_TRUE(f->closed());
    EXPECT_EQ(board.sent.size(), 2);
    // A later close or the destruction does nothing a second time.
    f->close();
    f.reset();
    EXPECT_EQ(board.sent.size(), 2);
    EXPECT_EQ(sleeper.waits.size(), 1u);
}

TEST_F(UtaikaiLifecycle, AConsoleDestroyedWhileOpenStillLetsGoOfItsDevices)
{
    auto f = Open();
    f.reset();
    EXPECT_EQ(board.sent, QByteArrayList({ kCrBlank, kBlank }));
    EXPECT_EQ(scalar("select tcode from tnow"), "0");
    EXPECT_EQ(lines.calls.mid(lines.calls.size() - 3), QStringList({ "close 1", "close 2", "close 3" }));
}

TEST_F(UtaikaiLifecycle, AFailingStoreIsReportedAndTheWindowStillCloses)
{
    auto f = Open();
    exec("drop table taikai");
    f->CuteButton13->Click();

    EXPECT_FALSE(f->isVisible());
    EXPECT_TRUE(f->closed());
    ASSERT_EQ(asker.errors().size(), 1);
    const QString error = asker.errors().first();
    EXPECT_TRUE(error.contains(QStringLiteral("保存できませんでした"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("taikai")))
        << "the database's own message is shown: " << error.toStdString();
    EXPECT_EQ(scalar("select tcode from tnow"), "0") << "the other statement still ran";
    EXPECT_EQ(fileBytes(console::DtimeFileName), QByteArray("00:00:00T\r\n"));
}

// When the show fails before the event's values reach the controls, the controls hold only their
// defaults: closing must not write those over the event's stored signal times and presets.
TEST_F(UtaikaiLifecycle, AShowThatCouldNotLoadTheEventLeavesItsRowAsStored)
{
    exec("drop table rmenu");
    auto f = Open();
    ASSERT_EQ(asker.errors().size(), 1);
    EXPECT_TRUE(asker.errors().first().contains(QStringLiteral("読み込めませんでした")));
    f->CuteButton13->Click();

    EXPECT_TRUE(f->closed());
    EXPECT_EQ(scalar("select on1 from taikai"), "0:01:00");
    EXPECT_EQ(scalar("select of5 from taikai"), "0:00:15");
    EXPECT_EQ(scalar("select sq1 from taikai"), "0:05:00");
    EXPECT_EQ(scalar("select sq5 from taikai"), "0:03:00");
    EXPECT_EQ(scalar("select cont from taikai"), "1");
    EXPECT_EQ(scalar("select tcode from tnow"), "0") << "the monitor still learns that no event runs";
    EXPECT_EQ(fileBytes(console::DtimeFileName), QByteArray("00:00:00T\r\n"));
    EXPECT_EQ(asker.errors().size(), 1) << "the close itself has nothing to report";
}

TEST_F(UtaikaiLifecycle, AConsoleDestroyedBeforeItWasShownLeavesTheEventRowAlone)
{
    auto f = std::make_unique<TFtaikai>(nullptr, devices());
    f.reset();
    EXPECT_EQ(scalar("select sq2 from taikai"), "0:10:00");
    EXPECT_EQ(scalar("select on2 from taikai"), "0:00:50");
    EXPECT_EQ(scalar("select tcode from tnow"), "0");
}

TEST_F(UtaikaiLifecycle, TheEventListOpensTheConsoleModally)
{
    // The event list's call: the console runs modally until "×" ends it.
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* console = dynamic_cast<TFtaikai*>(w); console && console->isVisible())
                console->CuteButton13->Click();
    });
    console::runRaceConsole(nullptr, devices());
    EXPECT_EQ(scalar("select tcode from tnow"), "0");
    EXPECT_EQ(board.sent.size(), 2);
    EXPECT_EQ(fileBytes(console::DtimeFileName), QByteArray("00:00:00T\r\n"));
}

TEST_F(UtaikaiLifecycle, TheTimingServerLogStartsEmptyInTheDataFolder)
{
    QFile old(home.file(QStringLiteral("TCPDATA.txt")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old line\r\n");
    old.close();
    auto f = Open();
    EXPECT_TRUE(f->TcpLogFile.isOpen());
    EXPECT_EQ(QFileInfo(f->TcpLogFile.fileName()).absolutePath(), QFileInfo(home.path()).absoluteFilePath());
    EXPECT_EQ(QFileInfo(home.file(QStringLiteral("TCPDATA.txt"))).size(), 0);
    f->close();
    EXPECT_FALSE(f->TcpLogFile.isOpen());
}

TEST_F(UtaikaiLifecycle, TheBoardClockGoesOutOnlyWhileTheBoardIsOnAndNoCountDownRuns)
{
    auto f = Open();
    f->TmsTimer();
    EXPECT_TRUE(board.sent.isEmpty()) << "the board starts OFF";

    f->RGgaz->setItemIndex(0);
    f->TmsTimer();
    ASSERT_EQ(board.sent.size(), 1);
    EXPECT_EQ(board.sent[0], QByteArray("8        9:35:00     \r"));

    f->Tm1.start();
    f->TmsTimer();
    EXPECT_EQ(board.sent.size(), 1);
    f->Tm1.stop();
    f->close();
}

TEST_F(UtaikaiLifecycle, RaceAndOverTimeLinesCarryTheLetterAndPrefixWhateverTheBoardSwitch)
{
    auto f = Open();
    f->dpgaz(QLatin1Char('R'), console::TenthsToHMST(61234));
    f->dpgaz(QLatin1Char('R'), console::TenthsToHMST(5)); // odd tenths: nothing
    f->dpgaz(QLatin1Char('O'), console::TenthsToHMST(100));
    f->Edit11->setText(QStringLiteral("A"));
    f->dpgaz(QLatin1Char('R'), console::TenthsToHMST(4));
    EXPECT_EQ(board.sent,
        QByteArrayList({ "8       R1:42:03     \r", "8       O     10     \r", "A8              0     \r" }));
    EXPECT_EQ(f->Edit8->text(), "00:00:00.4");
    f->close();
}
