// The race console opened with a damaged settings file: every value it shows is one its control
// takes, and what "ＣＬＯＳＥ" writes afterwards is what the console showed.

#include "ConsoleFixture.h"
#include "components/CommX.h"
#include "components/CuteBtn.h"
#include "components/rs232c.h"
#include "console/ConsoleWidgets.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTimeEdit>

using testing_support::ConsoleFixture;

namespace {

class UtaikaiDamagedSettings : public ConsoleFixture {
protected:
    void TearDown() override
    {
        resetSettingsLoaded();
        ConsoleFixture::TearDown();
    }
};

QString pickerText(const QTimeEdit* t) { return console::longTimeText(t->time()); }

} // namespace

TEST_F(UtaikaiDamagedSettings, OpensWithTheDefaultsAndRunsARace)
{
    testing_support::writeCp932File(home.file("Tavo.ini"),
        QStringLiteral("[Env]\r\nCont=7\r\nPcom2=-1\r\nPcom3=2147483647\r\nPcom4=abc\r\nPcom5=0\r\n"
                       "Dtp1v=abc\r\nDtp2v=25:99:99\r\nDtp3v=-0:01:00\r\nDtp4v=0:00:0x\r\nDtp5v=99:00:00\r\n"
                       "Dt=zz\r\nBrindt=bright\r\nDpwup=2\r\nDprace=yes\r\nDpover=-1\r\n"
                       "[TCP]\r\nTCPadd=\r\nPortnum=-1\r\n[D-Line]\r\nBrate=9\r\n"));
    resetSettingsLoaded();
    EXPECT_EQ(loadSettings().size(), 18u) << "every key of the file";

    auto f = Open();
    EXPECT_EQ(f->rs232c1->portname, "COM2");
    EXPECT_EQ(f->rs232c2->portname, "COM3");
    EXPECT_EQ(f->rs232c3->portname, "COM4");
    EXPECT_EQ(f->CommX1->PortNo(), 5);
    for (const QTimeEdit* preset : { f->DTP1, f->DTP2, f->DTP3, f->DTP4, f->DTPauto })
        EXPECT_EQ(pickerText(preset), "0:00:00") << preset->objectName().toStdString();
    EXPECT_EQ(f->Eddelay->text(), "0");
    EXPECT_EQ(pickerText(f->DTP), "0:00:00") << "blind time 3 tenths";
    EXPECT_TRUE(f->CkBwup->isChecked());
    EXPECT_FALSE(f->CkBrace->isChecked());
    EXPECT_FALSE(f->CkBover->isChecked());
    EXPECT_EQ(f->Edit9->text(), "192.168.0.10");
    EXPECT_EQ(f->Edit10->text(), "5000");
    EXPECT_EQ(f->RGbrate->ItemIndex(), 0);
    EXPECT_TRUE(board.calls.contains("bitrate 2400"));

    // A race with the default presets (and two seconds of race) runs through without a word.
    f->DTP2->setTime(QTime(0, 0, 2));
    asker.answer(true);
    f->CuteButton5->Click();
    f->RGgaz->setItemIndex(0);
    f->CuteButton1->Click();
    EXPECT_TRUE(f->Tm1.isActive());
    for (int i = 0; i < 40; ++i) {
        clock.advanceMs(100);
        f->Tm1Timer();
    }
    EXPECT_FALSE(f->Tm1.isActive()) << "the race has ended";
    f->CuteButton13->Click();
    EXPECT_FALSE(f->isVisible());
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join('\n').toStdString();

    ASSERT_TRUE(saveSettings());
    const QString text = testing_support::readCp932File(home.file("Tavo.ini"));
    for (const char* line : { "Pcom2=2\r\n", "Pcom3=3\r\n", "Pcom4=4\r\n", "Pcom5=5\r\n", "Dtp1v=0:00:00\r\n",
             "Dtp2v=0:00:02\r\n", "Dt=0\r\n", "Brindt=3\r\n", "Dpwup=0\r\n", "Dprace=1\r\n", "Dpover=1\r\n",
             "TCPadd=192.168.0.10\r\n", "Portnum=5000\r\n" })
        EXPECT_TRUE(text.contains(QLatin1String(line))) << line;
}
