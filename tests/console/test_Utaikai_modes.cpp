// The console's operating modes, preset pickers, blind time and information display, and the
// interval of automatic operation as the operator sees it on the control page.

#include "ConsoleFixture.h"
#include "app/DBControls.h"
#include "components/CuteBtn.h"
#include "support/SoundFiles.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimeEdit>

using console::PhaseState;
using testing_support::ConsoleFixture;

namespace {

class UtaikaiModes : public ConsoleFixture {
protected:
    void ticks(console::TFtaikai& f, int tenths)
    {
        for (int i = 0; i < tenths; ++i) {
            clock.advanceMs(100);
            f.Tm1Timer();
            f.tmr2Timer();
        }
    }
    static bool automatic(const console::TFtaikai& f)
    {
        const bool shown = !f.DTPauto->isHidden();
        EXPECT_EQ(!f.Label31->isHidden(), shown);
        EXPECT_EQ(!f.CuteButton22->isHidden(), shown);
        EXPECT_EQ(f.CTBa->Color(), shown ? platform::clYellow : platform::clBlack);
        EXPECT_EQ(f.CTBa->fontColor(), shown ? platform::clBlue : platform::clWhite);
        EXPECT_EQ(f.CTBm->Color(), shown ? platform::clBlack : platform::clYellow);
        EXPECT_EQ(f.CTBm->fontColor(), shown ? platform::clWhite : platform::clBlue);
        return shown;
    }
};

TEST_F(UtaikaiModes, TheModeButtonsAskBeforeEachChangeAndShowTheMode)
{
    auto f = Open();
    struct Step {
        components::TCuteButton* console::TFtaikai::*button;
        int answer; // -1: nothing is asked
        bool automatic;
    };
    const Step steps[] = {
        { &console::TFtaikai::CTBm, -1, false },
        { &console::TFtaikai::CTBa, 0, false },
        { &console::TFtaikai::CTBa, 1, true },
        { &console::TFtaikai::CTBa, -1, true },
        { &console::TFtaikai::CTBm, 0, true },
        { &console::TFtaikai::CTBm, 1, false },
    };
    for (const Step& s : steps) {
        const qsizetype asked = asker.questions().size();
        if (s.answer >= 0)
            asker.answer(s.answer == 1);
        ((*f).*s.button)->Click();
        EXPECT_EQ(asker.questions().size(), asked + (s.answer >= 0 ? 1 : 0));
        EXPECT_EQ(automatic(*f), s.automatic);
    }
    EXPECT_EQ(asker.questions(),
        QStringList({ "オート運用モードに変更してよろしいですか？",
            "オート運用モードに変更してよろしいですか？", "マニュアル運用モードに変更してよろしいですか？",
            "マニュアル運用モードに変更してよろしいですか？" }));
    f->close();
}

TEST_F(UtaikaiModes, ThePickersFeedThePresetsAtOnceAndTheBlindTimeOnLeaving)
{
    auto f = Open();
    const std::pair<QTimeEdit * console::TFtaikai::*, QString*> pickers[] = {
        { &console::TFtaikai::DTP1, &WarmUpTimePreset },
        { &console::TFtaikai::DTP2, &RaceTimePreset },
        { &console::TFtaikai::DTP3, &OverTimePreset },
        { &console::TFtaikai::DTP4, &BlankTimePreset },
        { &console::TFtaikai::DTPauto, &AutoIntervalPreset },
    };
    for (const auto& [picker, preset] : pickers) {
        ((*f).*picker)->setTime(QTime(1, 2, 3));
        EXPECT_EQ(*preset, "1:02:03") << ((*f).*picker)->objectName().toStdString();
    }
    for (const auto& [time, tenths] : { std::pair(QTime(0, 0, 3), "30"), std::pair(QTime(0, 0, 0), "0") }) {
        f->DTP->setTime(time);
        emit f->DTP->editingFinished();
        EXPECT_EQ(BlindTimeTenths, tenths);
    }
    f->close();
}

// The toggle shows the memo on the monitor (status 0 on every event row, the text in
// RInfomem.txt) and withdraws it (status 1, the file empty); without text it shows nothing.
TEST_F(UtaikaiModes, TheInformationToggleWritesTheFileAndEveryEventsStatus)
{
    exec("insert into taikai (tcode,tname,status) values (202404201,'夏季大会',1)");
    auto f = Open();
    f->PageControl1->setCurrentWidget(f->TabSheet4);
    auto statuses = [&] { return scalar("select group_concat(status) from taikai"); };

    f->CuteButton14->Click();
    EXPECT_TRUE(f->Lbdp->isHidden()) << "an empty memo is not shown";
    EXPECT_EQ(statuses(), "1,1");
    EXPECT_EQ(fileBytes(console::RInfomemFileName), QByteArray());

    f->DBMemo1->setPlainText(QStringLiteral("A"));
    f->CuteButton14->Click();
    EXPECT_FALSE(f->Lbdp->isHidden());
    EXPECT_EQ(statuses(), "0,0");
    EXPECT_EQ(fileBytes(console::RInfomemFileName), QByteArray("A\r\n"));
    EXPECT_EQ(scalar("select tmem from taikai where tcode=202403091"), "A") << "the typed text was posted";
    EXPECT_FALSE(testing_support::saveGrab(f.get(), QStringLiteral("console-information-shown")).isEmpty());

    f->CuteButton14->Click();
    EXPECT_TRUE(f->Lbdp->isHidden());
    EXPECT_EQ(statuses(), "1,1");
    EXPECT_EQ(fileBytes(console::RInfomemFileName), QByteArray());

    // A statement that fails is reported and leaves the display as it was.
    exec("alter table taikai rename column status to status_old");
    f->CuteButton14->Click();
    EXPECT_TRUE(f->Lbdp->isHidden());
    EXPECT_EQ(asker.errors().size(), 1);
    f->close();
}

// Automatic operation on the form: the interval counts down under the mode buttons and starts the
// next run; the interval reset ends it; switching to manual during it keeps the next run from
// starting, switching back before its end lets it start.
TEST_F(UtaikaiModes, TheIntervalRunsOnTheControlPageAndFollowsTheModeAtItsEnd)
{
    const QString cue = home.file(QStringLiteral("gong.wav"));
    ASSERT_TRUE(testing_support::writeWav(cue, 100));
    dm->Database1->execute(
        QStringLiteral("insert into music (tcode,bun,tno,mname) values (202403091,'i','0:00:02','%1')")
            .arg(cue));
    auto f = Open();
    for (QTimeEdit* t : { f->DTP1, f->DTP2, f->DTP3 })
        t->setTime(QTime(0, 0, 1));
    f->DTP4->setTime(QTime(0, 0, 0));
    f->DTPauto->setTime(QTime(0, 0, 3));
    f->CTBa->Click();
    f->CuteButton5->Click();
    f->CuteButton1->Click();
    ticks(*f, 30 + 12);
    ASSERT_TRUE(f->tmr2.isActive());
    EXPECT_FALSE(f->Tm1.isActive());
    EXPECT_EQ(f->Label31->text(), "00:00:01.8");
    EXPECT_EQ(f->Memo1->toPlainText(), "-") << "the interval's cue has sounded";
    ASSERT_TRUE(f->devices().monitor->flush());
    EXPECT_EQ(fileBytes(console::DtimeFileName), QByteArray("00:00:03W\r\n"));
    EXPECT_FALSE(testing_support::saveGrab(f.get(), QStringLiteral("console-control-interval")).isEmpty());
    ticks(*f, 18);
    EXPECT_TRUE(f->Tm1.isActive()) << "the next run started by itself";
    EXPECT_EQ(f->Memo1->toPlainText(), "X-0:00:02\n-") << "with the cues as loaded";
    EXPECT_FALSE(f->tmr2.isActive());

    ticks(*f, 30 + 12);
    f->CuteButton22->Click();
    EXPECT_EQ(f->Label31->text(), "00:00:00");
    EXPECT_FALSE(f->tmr2.isActive()) << "the interval reset ends the interval";
    ticks(*f, 30);
    EXPECT_FALSE(f->Tm1.isActive());

    for (const bool backToAutomatic : { false, true }) {
        f->CTBa->Click();
        f->CuteButton1->Click();
        ticks(*f, 30 + 10);
        ASSERT_TRUE(f->tmr2.isActive());
        f->CTBm->Click();
        EXPECT_TRUE(f->tmr2.isActive()) << "a mode change stops nothing";
        if (backToAutomatic)
            f->CTBa->Click();
        ticks(*f, 20);
        EXPECT_FALSE(f->tmr2.isActive());
        EXPECT_EQ(f->Tm1.isActive(), backToAutomatic);
        EXPECT_EQ(f->engine().StateWarm(), backToAutomatic ? PhaseState::On : PhaseState::Mae);
        f->CuteButton2->Click();
        asker.answer(true);
        f->CuteButton5->Click();
    }
    f->close();
}

} // namespace
