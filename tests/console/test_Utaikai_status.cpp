// The console's status line: each message with the time it was said, and a confirmed Reset that
// starts the next race with a clean line.

#include "CueTestSupport.h"
#include "components/CuteBtn.h"
#include "support/DeviceTestSupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTimeEdit>

namespace {

class UtaikaiStatus : public testing_support::CueConsoleFixture {
protected:
    // The operator clicks Reset, as the window system delivers it, and answers the question.
    void clickReset(console::TFtaikai& f, bool yes)
    {
        asker.answer(yes);
        const QPoint at = f.CuteButton5->mapTo(&f, f.CuteButton5->rect().center());
        QTest::mouseClick(f.windowHandle(), Qt::LeftButton, {}, at);
    }
    void refuse(const QStringList& files)
    {
        for (auto& [name, player] : players)
            player->unopenable = files;
    }
    static QString Status(const console::TFtaikai& f)
    {
        return f.StatusTime->text() + QLatin1Char('|') + f.StatusLine->text();
    }
};

TEST_F(UtaikaiStatus, EachMessageCarriesItsTimeAndAConfirmedResetClearsTheLine)
{
    addCue('w', QStringLiteral("0:00:03"), QStringLiteral("/gone.wav"));
    unopenable = QStringList { QStringLiteral("/gone.wav") };
    auto f = openWithPlayers();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    f->DTP4->setTime(QTime(0, 0, 0));
    const QString gone = QStringLiteral("開けない音声ファイルは鳴らしません: /gone.wav");

    struct Step {
        int secondsLater;
        bool yes;
        bool cueOpens;
        QString status; // time|message after the reset
    };
    const Step steps[] = {
        { 0, true, false, QStringLiteral("9:35:00|") + gone }, // the reset's own message stays
        { 75, false, true, QStringLiteral("9:35:00|") + gone }, // not confirmed: nothing changes
        { 3600, true, true, QStringLiteral("|") }, // confirmed: the old message goes
        { 1, true, false, QStringLiteral("10:36:16|") + gone },
    };
    int step = 0;
    for (const Step& s : steps) {
        clock.advanceMs(s.secondsLater * 1000);
        refuse(s.cueOpens ? QStringList() : unopenable);
        clickReset(*f, s.yes);
        EXPECT_EQ(asker.questions().size(), ++step) << "the reset was asked";
        EXPECT_EQ(Status(*f), s.status) << "step " << step;
    }
    EXPECT_FALSE(testing_support::saveGrab(f.get(), QStringLiteral("console-status-line")).isEmpty());
    f->close();
}

// A monitor file that cannot be replaced (a folder stands in its place) is said on the line
// once; a later write that succeeds lets its next failure be said again. The close names every
// file left with its old content, also one the line said earlier: the line goes with the console.
TEST_F(UtaikaiStatus, AMonitorFileThatCannotBeWrittenIsSaidOnceUntilAWriteSucceeds)
{
    const QString rinfo = home.file(console::RInfoFileName);
    ASSERT_TRUE(QDir().mkdir(rinfo));
    auto f = openWithPlayers();
    const QString said = QStringLiteral("9:35:00|外部モニタのファイル RInfo.txt を保存できませんでした（");
    EXPECT_TRUE(Status(*f).startsWith(said)) << Status(*f).toStdString();
    f->clearStatus();
    f->Writeinfo();
    EXPECT_EQ(Status(*f), QStringLiteral("|")) << "said once";
    ASSERT_TRUE(QDir().rmdir(rinfo));
    f->Writeinfo();
    EXPECT_EQ(Status(*f), QStringLiteral("|"));
    ASSERT_TRUE(QFile::remove(rinfo) && QDir().mkdir(rinfo));
    f->Writeinfo();
    EXPECT_TRUE(Status(*f).startsWith(said)) << "again after a write that succeeded";

    // The time file fails during a warm-up: written in the background, it is said at a later tick.
    ASSERT_TRUE(QDir().mkdir(home.file(console::DtimeFileName)));
    f->DTP1->setTime(QTime(0, 5, 0));
    clickReset(*f, true);
    f->CuteButton1->Click();
    ASSERT_TRUE(testing_support::waitUntil([&] {
        clock.advanceMs(1000);
        f->Tm1Timer();
        return Status(*f).contains(QStringLiteral("Dtime.txt"));
    }));
    ASSERT_TRUE(QDir().mkdir(home.file(console::RInfomemFileName)));
    f->close();
    ASSERT_EQ(asker.errors().size(), 1);
    const QStringList box = asker.errors().first().split(QStringLiteral("\n\n"));
    ASSERT_EQ(box.size(), 3) << asker.errors().first().toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(box[i].startsWith(QStringLiteral("外部モニタのファイル %1 を保存できませんでした（")
                                          .arg(QStringList { "Dtime.txt", "RInfo.txt", "RInfomem.txt" }[i])))
            << box[i].toStdString();
}

} // namespace
