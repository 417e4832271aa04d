// The console's schedule page and the control page's item labels, driven through the form.

#include "ConsoleFixture.h"
#include "app/DBControls.h"
#include "components/CuteBtn.h"
#include "console/ConsoleWidgets.h"
#include "console_core/ScheduleFixture.h"
#include "platform/TextCodec.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>

using testing_support::ScheduleFixture;
using testing_support::WithConsoleForm;

namespace {

class UtaikaiSchedule : public WithConsoleForm<ScheduleFixture> {
protected:
    std::unique_ptr<console::TFtaikai> openOnSchedule()
    {
        auto f = Open();
        f->PageControl1->setCurrentWidget(f->TabSheet4);
        return f;
    }
    static void enter(console::TFtaikai& f, QTime start, QTime length, const QString& text)
    {
        f.DTPb->setTime(start);
        f.DTPe->setTime(length);
        f.Edit2->setText(text);
    }
    static bool shown(const QWidget* w) { return !w->isHidden(); }
    static bool shown(const QAction* a) { return a->isVisible(); }
    QString RInfo() { return platform::fromCp932(fileBytes(console::RInfoFileName)); }
};

} // namespace

TEST_F(UtaikaiSchedule, TheGridRowAndQrmenuMoveTogether)
{
    addAbc();
    auto f = openOnSchedule();
    f->DBGrid4->selectRow(2);
    EXPECT_EQ(dm->Qrmenu->RecNo(), 3);
    dm->Qrmenu->Locate(QStringLiteral("uc"), 2);
    EXPECT_EQ(f->DBGrid4->currentIndex().row(), 1);

    // A key release loads the row the cursor keys moved to; only the first row sets the start.
    f->DBGrid4->setFocus();
    QTest::keyClick(f->DBGrid4, Qt::Key_Down);
    EXPECT_EQ(f->Edit2->text(), "C");
    EXPECT_EQ(f->DTPe->time(), QTime(0, 20));
    EXPECT_FALSE(f->DTPb->isEnabled());
    QTest::keyClick(f->DBGrid4, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(f->Edit2->text(), "A");
    EXPECT_EQ(f->DTPb->time(), QTime(9, 0));
    EXPECT_TRUE(f->DTPb->isEnabled());
}

TEST_F(UtaikaiSchedule, EveryCommandRefreshesGridButtonsMonitorFileAndEnd)
{
    auto f = openOnSchedule();
    EXPECT_TRUE(f->DTPb->isEnabled());
    EXPECT_FALSE(shown(f->CTBins) || shown(f->CTBdel) || shown(f->CTBedi));

    enter(*f, QTime(9, 0), QTime(0, 30), QStringLiteral("受付"));
    f->CTBadd->Click();
    EXPECT_FALSE(f->DTPb->isEnabled());
    EXPECT_FALSE(shown(f->CTBins) || shown(f->CTBdel));
    enter(*f, QTime(9, 0), QTime(0, 10), QStringLiteral("Drivers' meeting"));
    f->CTBadd->Click();
    EXPECT_TRUE(shown(f->CTBins) && shown(f->CTBdel));
    EXPECT_EQ(RInfo(), "9:00:00,9:30:00,受付\r\n9:30:00,9:40:00,Drivers' meeting\r\n");
    EXPECT_EQ(f->ScheduleEndTime, QTime(9, 40));
    EXPECT_EQ(dm->Qrmenu->RecNo(), 2) << "an add leaves the grid on the last row";

    // "変更" offers "設定"; the change hides it again and the grid stays on the changed row.
    f->DBGrid4->selectRow(0);
    f->DBGrid4CellClick();
    f->edt->trigger();
    EXPECT_TRUE(shown(f->CTBedi));
    f->DTPb->setTime(QTime(8, 0));
    f->CTBedi->Click();
    EXPECT_FALSE(shown(f->CTBedi));
    EXPECT_EQ(dm->Qrmenu->RecNo(), 1);
    EXPECT_EQ(RInfo(), "8:00:00,8:30:00,受付\r\n8:30:00,8:40:00,Drivers' meeting\r\n");
    EXPECT_EQ(f->ScheduleEndTime, QTime(8, 40));

    f->DBGrid4->selectRow(1);
    f->CTBdel->Click();
    EXPECT_EQ(RInfo(), "8:00:00,8:30:00,受付\r\n");
    EXPECT_EQ(f->Edit4->text(), "delete from rmenu where tcode='202403091' and uc='2'");
}

TEST_F(UtaikaiSchedule, RoundModeAddsAWholeRoundAndTheMenuOffersRoundItemsOnHeatsOnly)
{
    auto f = openOnSchedule();
    f->PopupMenu7Popup();
    EXPECT_FALSE(shown(f->N3) || shown(f->N4) || shown(f->N5) || shown(f->N6) || shown(f->N7))
        << "an empty grid has no row to act on";
    EXPECT_TRUE(shown(f->edt));

    enter(*f, QTime(9, 0), QTime(1, 0), QStringLiteral("受付"));
    f->CTBadd->Click();
    f->CkBround->setChecked(true);
    EXPECT_TRUE(shown(f->Panel13));
    EXPECT_FALSE(shown(f->Panel16) || shown(f->Edit2));
    f->SEdround->setValue(1);
    f->CBxround->setEditText(QStringLiteral("予選"));
    f->SEdheat->setValue(3);
    f->CBxheat->setEditText(QStringLiteral("ヒート"));
    f->DTPe->setTime(QTime(0, 5));
    f->CTBadd->Click();
    EXPECT_FALSE(f->CkBround->isChecked());
    EXPECT_TRUE(shown(f->Panel16) && shown(f->Edit2) && !shown(f->Panel13));
    EXPECT_EQ(f->CBxround->itemText(0), "予選");
    EXPECT_EQ(dm->Qrmenu->RecordCount(), 4);

    f->DBGrid4->selectRow(0);
    f->PopupMenu7Popup();
    EXPECT_FALSE(shown(f->N3));
    f->DBGrid4->selectRow(2);
    f->PopupMenu7Popup();
    EXPECT_TRUE(shown(f->N3) && shown(f->N4) && shown(f->N5) && shown(f->N6) && shown(f->N7));
    f->N5->trigger();
    EXPECT_EQ(dm->Qrmenu->FieldByName(QStringLiteral("rmenu"))->AsString(), "予選 1 ヒート 4");

    testing_support::saveGrab(f.get(), QStringLiteral("console-schedule-round"));
}

TEST_F(UtaikaiSchedule, TheControlPageFollowsTheClockAndATemplateLoad)
{
    addAbc();
    auto f = Open();
    EXPECT_EQ(f->Label33->text(), "B");
    EXPECT_EQ(f->Label14->text(), "C");
    EXPECT_EQ(f->Label15->text(), "9:40:00-10:00:00");
    clock.setNow(QDateTime(QDate(2024, 3, 9), QTime(9, 40)));
    f->Tmr3Timer();
    EXPECT_EQ(f->Label11->text(), "9:40:00");
    EXPECT_EQ(f->Label33->text(), "C");
    EXPECT_EQ(f->Label14->text(), "");

    // The template's day starts later: after the load the labels show its first item as next.
    f->CuteButton17->Click();
    exec("update rmenu set btime='10:00:00', etime='10:30:00' where tcode=0 and rmenu='A'");
    exec("update rmenu set btime='10:30:00', etime='10:40:00' where tcode=0 and rmenu='B'");
    exec("update rmenu set btime='10:40:00', etime='11:00:00' where tcode=0 and rmenu='C'");
    f->CuteButton18->Click();
    EXPECT_EQ(chain().first(), "10:00:00-10:30:00 A");
    EXPECT_EQ(dm->Qrmenu->RecordCount(), 3);
    EXPECT_EQ(f->ScheduleEndTime, QTime(11, 0));
    EXPECT_TRUE(RInfo().startsWith("10:00:00,10:30:00,A\r\n"));
    EXPECT_EQ(f->Label33->text(), "");
    EXPECT_EQ(f->Label14->text(), "A");
    EXPECT_EQ(f->NextItemStart(), QTime(10, 0));
}

TEST_F(UtaikaiSchedule, TheInformationMemoShowsAndKeepsTheEventsText)
{
    exec("update taikai set tmem='本日は晴天'");
    auto f = openOnSchedule();
    EXPECT_EQ(f->DBMemo1->toPlainText(), "本日は晴天");
    EXPECT_EQ(f->Edit4->text(), "select * from rmenu where tcode='202403091' order by btime");
    f->DBMemo1->setPlainText(QStringLiteral("雨天順延"));
    f->close();
    EXPECT_EQ(scalar("select tmem from taikai"), "雨天順延") << "posted when the console closes";
}
