// The race console's layout: its pages in order, every control under its name, the timers, and a
// picture of each page.

#include "ConsoleFixture.h"
#include "components/CuteBtn.h"
#include "components/LED7Seg.h"
#include "console/ConsoleWidgets.h"

#include <QMenu>
#include <QTabWidget>
#include <QTimeEdit>

using testing_support::ConsoleFixture;

namespace {

class UtaikaiForm : public ConsoleFixture { };

} // namespace

TEST_F(UtaikaiForm, HasItsPagesInOrderWithTheSoundCheckPageOutOfSight)
{
    auto f = Open();
    EXPECT_EQ(f->windowTitle(), "大会コントロール");
    EXPECT_EQ(f->frameGeometry().size(), QSize(997, 696)) << "the window as a whole, frame included";
    ASSERT_EQ(f->PageControl1->count(), 5);
    const QStringList captions { "コントロール", "音声セット", "ﾚｰｽｲﾝﾌｫﾒｰｼｮﾝ", "設定", "音声チェック" };
    const QStringList names { "TabSheet1", "TabSheet2", "TabSheet4", "TabSheet5", "TabSheet3" };
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(f->PageControl1->tabText(i), captions[i]);
        EXPECT_EQ(f->PageControl1->widget(i)->objectName(), names[i]);
    }
    EXPECT_FALSE(f->PageControl1->isTabVisible(4));
    EXPECT_EQ(f->PageControl1->currentWidget(), f->TabSheet1);
    EXPECT_EQ(f->PageControl1->height(), 633);
    EXPECT_EQ(f->CuteButton13->Caption(), "×");
    EXPECT_EQ(f->CuteButton13->fontColor(), platform::clYellow);
    EXPECT_EQ(f->Panel14->pos(), QPoint(178, 248));
    f->close();
}

TEST_F(UtaikaiForm, EveryControlSitsUnderItsName)
{
    auto f = Open();
    QStringList names;
    auto range = [&](const char* prefix, int from, int to) {
        for (int i = from; i <= to; ++i)
            names << QLatin1String(prefix) + QString::number(i);
    };
    range("Seg", 1, 6);
    range("Seg", 21, 26);
    range("Seg", 31, 36);
    range("DTP", 1, 4);
    range("DTP", 21, 24);
    range("DTPsigon", 1, 5);
    range("DTPsigoff", 1, 5);
    range("Pnl", 1, 6);
    range("PLd", 1, 5);
    range("CBrson", 1, 5);
    range("CBrsof", 1, 5);
    range("CuteButton", 1, 31);
    range("Edit", 1, 11);
    range("Ed", 21, 24);
    range("Lb", 1, 5);
    range("DBGrid", 1, 5);
    range("Panel", 13, 17);
    names << "DTPauto"
          << "DTP"
          << "DTPsigons"
          << "DTPsigoffs"
          << "PLds"
          << "CBrsonS"
          << "CBrsofS"
          << "RGgaz"
          << "RGbrate"
          << "RGcont"
          << "RGrang"
          << "TBarbright"
          << "CTBa"
          << "CTBm"
          << "CTBadd"
          << "CTBins"
          << "CTBedi"
          << "CTBdel"
          << "CkBwup"
          << "CkBrace"
          << "CkBover"
          << "CkBround"
          << "CkBauto"
          << "Button1"
          << "Button2"
          << "DBMemo1"
          << "Memo1"
          << "Memo2"
          << "Lbdp"
          << "Label11"
          << "Label14"
          << "Label15"
          << "Label30"
          << "Label31"
          << "Label33"
          << "Eddelay"
          << "DTPb"
          << "DTPe"
          << "SEdround"
          << "SEdheat"
          << "CBxround"
          << "CBxheat"
          << "PopupMenu7"
          << "CommX1"
          << "rs232c1"
          << "rs232c2"
          << "rs232c3";
    for (const QString& name : names)
        EXPECT_NE(f->findChild<QObject*>(name), nullptr) << name.toStdString();
    EXPECT_EQ(f->SegWarm[0]->objectName(), "Seg1");
    EXPECT_EQ(f->SegOver[5]->objectName(), "Seg36");
    EXPECT_EQ(f->DTPsig[console::SlotOnStart]->objectName(), "DTPsigons");
    EXPECT_EQ(f->DTPsig[console::SlotOff1]->objectName(), "DTPsigoff1");
    EXPECT_EQ(f->CBrsof[5]->Caption(), "ALL  OFF");
    EXPECT_EQ(f->DTP1->displayFormat(), "H:mm:ss");
    EXPECT_EQ(f->PlayerViews.size(), 39u);
    EXPECT_EQ(f->MP.size() + f->MPt.size() + f->MPo.size() + f->MPi.size(), 39u);
    f->close();
}

TEST_F(UtaikaiForm, TimersHaveTheirIntervalsAndStartState)
{
    auto f = std::make_unique<console::TFtaikai>(nullptr, devices());
    EXPECT_EQ(f->Tm1.interval(), 100);
    EXPECT_EQ(f->tmr2.interval(), 100);
    EXPECT_EQ(f->Tmr3.interval(), 250);
    EXPECT_EQ(f->Tms.interval(), 250);
    EXPECT_FALSE(f->Tm1.isActive());
    EXPECT_FALSE(f->tmr2.isActive());
    EXPECT_TRUE(f->Tmr3.isActive());
    EXPECT_TRUE(f->Tms.isActive());
}

TEST_F(UtaikaiForm, GrabsEachPage)
{
    addScheduleRow("9:00:00", "9:30:00", "受付・車検", 1);
    addScheduleRow("9:30:00", "9:40:00", "ドライバーズミーティング", 2);
    addScheduleRow("9:40:00", "10:00:00", "練習走行", 3);
    exec("insert into music (tcode,bun,tno,mname) values (202403091,'w','0:02:00','/sounds/warm 2min.wav')");
    exec("insert into music (tcode,bun,tno,mname) values (202403091,'r','0:01:00','/sounds/race 1min.wav')");
    auto f = Open();
    f->PageControl1->setTabVisible(4, true);
    const char* files[5] = { "console-control", "console-sound-set", "console-race-info", "console-settings",
        "console-sound-check" };
    for (int i = 0; i < 5; ++i) {
        f->PageControl1->setCurrentIndex(i);
        const QString path = testing_support::saveGrab(f.get(), QLatin1String(files[i]));
        EXPECT_FALSE(path.isEmpty());
    }
    f->close();
}
