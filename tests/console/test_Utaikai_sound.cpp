// The console's sound pages: registering cues per phase, the grids' current row, loading the
// player bank at a reset, test play, sound STOP, the hidden controls, and pictures of both pages.

#include "CueTestSupport.h"
#include "app/DBControls.h"
#include "app/uComm.h"
#include "components/CuteBtn.h"
#include "components/LED7Seg.h"
#include "console/ConsoleRealDevices.h"
#include "console/ConsoleWidgets.h"
#include "console/CuePlayerView.h"
#include "platform/MediaPlayer.h"
#include "platform/SoundOutput.h"
#include "support/DeviceTestSupport.h"
#include "support/FakeSound.h"
#include "support/RecordedSoundServer.h"
#include "support/SoundFiles.h"
#include "support/WindowInput.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <atomic>
#include <memory>

using console::CuePhase;

namespace {

class UtaikaiSound : public testing_support::CueConsoleFixture {
protected:
    // A confirmed reset for a run of a five-second warm-up without a blank window.
    void Reset(console::TFtaikai& f)
    {
        f.DTP1->setTime(QTime(0, 0, 5));
        f.DTP4->setTime(QTime(0, 0, 0));
        asker.answer(true);
        f.CuteButton5->Click();
    }
    void Tick(console::TFtaikai& f, int tenths)
    {
        for (int i = 0; i < tenths; ++i) {
            clock.advanceMs(100);
            f.Tm1Timer();
        }
    }
    // Every player's play and stop, by the tenth of the run at which it came.
    QStringList runTranscript(console::TFtaikai& f, int tenths)
    {
        QStringList transcript;
        std::map<QString, qsizetype> seen;
        for (const auto& [name, player] : players)
            seen[name] = player->calls.size();
        for (int t = 1; t <= tenths; ++t) {
            Tick(f, 1);
            for (const QString& name : playerOrder()) {
                const QStringList& calls = players[name]->calls;
                for (qsizetype i = seen[name]; i < calls.size(); ++i)
                    if (calls[i] == "play" || calls[i] == "stop")
                        transcript << QStringLiteral("%1 %2 %3").arg(t).arg(calls[i], name);
                seen[name] = calls.size();
            }
        }
        return transcript;
    }
    // The console with the real cue players over a fake back end on `thread`; the cue files
    // named are written as short tones.
    std::unique_ptr<console::TFtaikai> openWithSound(testing_support::FakeSoundSystem& sound,
        platform::SoundThread& thread, const std::vector<std::pair<char, QString>>& cues)
    {
        for (const auto& [bun, tno] : cues) {
            const QString file
                = home.file(QStringLiteral("%1%2.wav").arg(QLatin1Char(bun)).arg(tno.right(1)));
            EXPECT_TRUE(testing_support::writeWav(file, 100));
            addCue(bun, tno, file);
        }
        console::ConsoleDevices d = devices();
        d.makeCuePlayer = [this, &sound, &thread](const QString&) {
            return std::make_unique<console::MediaCuePlayer>(
                std::make_unique<platform::MediaPlayer>(thread, sound.factory(), clock));
        };
        auto f = std::make_unique<console::TFtaikai>(nullptr, d);
        f->resize(997, 696);
        f->show();
        return f;
    }
    // Waits until the sound thread has run what was handed to it so far.
    static bool drain(platform::SoundThread& thread)
    {
        auto done = std::make_shared<std::atomic<bool>>(false);
        thread.post([done] { *done = true; });
        return QTest::qWaitFor([&] { return done->load(); }, 5000);
    }
    static QStringList playerOrder()
    {
        QStringList names;
        for (auto [prefix, n] : { std::pair { "MP", 13 }, { "MPt", 14 }, { "MPo", 9 }, { "MPi", 3 } })
            for (int i = 1; i <= n; ++i)
                names << QLatin1String(prefix) + QString::number(i);
        return names;
    }
    static QString warmDigits(const console::TFtaikai& f)
    {
        QString s;
        for (const auto* seg : f.SegWarm)
            s += QString::number(seg->Value()) + ' ';
        return s;
    }
    static QStringList gridRows(const TDBGrid* grid)
    {
        QStringList rows;
        const auto* model = grid->model();
        for (int r = 0; r < model->rowCount(); ++r)
            rows << model->index(r, 0).data().toString() + ' ' + model->index(r, 1).data().toString();
        return rows;
    }
};

} // namespace

TEST_F(UtaikaiSound, RegistersThroughThePhasesControlsAndListsInItsGrid)
{
    auto f = openWithPlayers();
    const std::array<std::function<void()>, 4> set = { [&] { f->CuteButton3Click(); },
        [&] { f->CuteButton4Click(); }, [&] { f->CuteButton6Click(); }, [&] { f->CuteButton24Click(); } };
    for (size_t k = 0; k < 4; ++k) {
        f->CueTimes[k]->setTime(QTime(0, 1, 30));
        f->CueFiles[k]->setText(QStringLiteral("/sounds/%1's.wav").arg(k));
        set[k]();
        EXPECT_EQ(
            gridRows(f->CueGrids[k]), QStringList { QStringLiteral("0:01:30 /sounds/%1's.wav").arg(k) });
    }
    EXPECT_EQ(scalar("select count(*) from music where tcode=202403091"), "4");
    EXPECT_TRUE(asker.messages().isEmpty());
    f->close();
}

TEST_F(UtaikaiSound, DoubleClickAndDeleteReadTheGridsCurrentRow)
{
    addCue('r', "0:03:00", "/r3.wav");
    addCue('r', "0:02:00", "/r2.wav");
    addCue('r', "0:01:00", "/r1.wav");
    auto f = openWithPlayers();
    TDBGrid* grid = f->CueGrids[1];
    ASSERT_EQ(gridRows(grid), QStringList({ "0:01:00 /r1.wav", "0:02:00 /r2.wav", "0:03:00 /r3.wav" }));

    // The operator picks the second row: the query's cursor follows.
    grid->selectRow(1);
    EXPECT_EQ(dm->Qrace->RecNo(), 2);
    f->DBGrid2DblClick();
    EXPECT_EQ(f->CueTimes[1]->time(), QTime(0, 2, 0));
    EXPECT_EQ(f->CueFiles[1]->text(), "/r2.wav");

    // Deleting another row leaves the picker and the box; deleting the one they show clears them.
    dm->Qrace->Last();
    EXPECT_EQ(grid->currentIndex().row(), 2) << "the grid follows the cursor";
    f->MenuItem2Click();
    EXPECT_EQ(gridRows(grid), QStringList({ "0:01:00 /r1.wav", "0:02:00 /r2.wav" }));
    EXPECT_EQ(f->CueFiles[1]->text(), "/r2.wav");
    grid->selectRow(1);
    f->MenuItem2Click();
    EXPECT_EQ(gridRows(grid), QStringList({ "0:01:00 /r1.wav" }));
    EXPECT_EQ(f->CueTimes[1]->time(), QTime(0, 0));
    EXPECT_TRUE(f->CueFiles[1]->text().isEmpty());
    f->close();
}

TEST_F(UtaikaiSound, ADatabaseFailureNeitherStopsTheLoadNorLosesTheListsEnd)
{
    auto f = openWithPlayers();
    exec("drop table music");
    f->setmp();
    EXPECT_EQ(f->engine().CueList(), QStringList { "-" });
    EXPECT_EQ(f->engine().CueListCopy(), QStringList { "-" });
    EXPECT_TRUE(f->StatusLine->text().startsWith("音声データを読み込めませんでした"))
        << f->StatusLine->text().toStdString();
    f->CueFiles[0]->setText("/w.wav");
    f->CuteButton3Click();
    EXPECT_EQ(asker.errors().size(), 1);
    f->close();
}

TEST_F(UtaikaiSound, ACueThatFailsWhilePlayingIsSaidOnTheStatusLine)
{
    addCue('r', "0:01:00", "/r.wav");
    auto f = openWithPlayers();
    f->setmp();
    players["MPt1"]->OnError(QStringLiteral("Could not determine type of stream."));
    EXPECT_EQ(
        f->StatusLine->text(), "音声ファイルを再生できません: /r.wav（Could not determine type of stream.）");
    f->close();
}

// A sound server that hangs in a stop holds neither the tick nor the start: the console goes on
// counting, says that the sound does not answer, and sounds the next cue once it answers again.
TEST_F(UtaikaiSound, ASoundSystemThatHangsNeverHoldsTheCountDown)
{
    testing_support::FakeSoundSystem sound;
    platform::SoundThread thread;
    auto f = openWithSound(sound, thread, { { 'w', "0:00:03" }, { 'w', "0:00:01" }, { 'r', "0:00:02" } });
    f->DTP2->setTime(QTime(0, 0, 5));
    Reset(*f);
    ASSERT_TRUE(drain(thread));
    f->CuteButton1->Click();
    Tick(*f, 21);
    const QStringList beforeHang { "play w3.wav" };
    ASSERT_TRUE(QTest::qWaitFor([&] { return sound.log() == beforeHang; }, 5000));
    sound.hang();
    Tick(*f, 20); // stops w3 and asks for w1
    ASSERT_TRUE(QTest::qWaitFor([&] { return sound.hung(); }, 5000)) << "the tick handed the stop over";
    Tick(*f, 10);
    EXPECT_EQ(f->engine().StateRace(), console::PhaseState::On) << "the race started at its time";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return f->StatusLine->text().contains(QStringLiteral("音声の出力が応答しません: ")); }, 5000));
    Tick(*f, 20); // w1 has now waited three seconds
    // Both waiting players (w3's stop, w1's play) check on their own poll timers: let each run
    // once more so that w1 has given its play up before the sound answers.
    QTest::qWait(3 * platform::MediaPlayer::AnswerPollMs);

    sound.answer();
    Tick(*f, 10);
    // The hung stop of w3, and w3's again as the race's first cue silences the warm-up; w1's
    // player never got as far as its back end.
    EXPECT_TRUE(QTest::qWaitFor([&] { return sound.log().size() == 4; }, 5000));
    EXPECT_EQ(sound.log(), beforeHang + QStringList({ "stop", "stop", "play r2.wav" }))
        << "w1, asked for while the sound hung, is given up rather than sounded late";
    f->close();
}

// A cue that failed to play sounds in the next run, without a reset: one the sound server
// refused, and one it ended without having started it (it dropped the stream), which the player
// had taken for played.
TEST_F(UtaikaiSound, ACueThatFailedPlaysInTheNextRunWithoutAReset)
{
    testing_support::FakeSoundSystem sound;
    platform::SoundThread thread;
    auto f = openWithSound(sound, thread, { { 'w', "0:00:03" } });
    f->DTP2->setTime(QTime(0, 0, 5));
    f->DTP3->setTime(QTime(0, 0, 2));
    Reset(*f);
    const struct {
        std::function<void()> fault;
        const char* said; // how the status line ends
    } runs[] = {
        { [&] { sound.refuse(1); }, "w3.wav（refused）" },
        { [&] { sound.endUnheard(1); }, "w3.wav（再生が始まらないまま終わりました）" },
        { [] {}, "" },
    };
    for (const auto& run : runs) {
        ASSERT_TRUE(drain(thread));
        run.fault();
        f->StatusLine->clear();
        f->CuteButton1->Click();
        Tick(*f, 130);
        if (*run.said) {
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return f->StatusLine->text().endsWith(QString::fromUtf8(run.said)); }, 5000))
                << run.said;
        }
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return sound.log().size() == 3; }, 5000))
        << sound.log().join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(sound.log(), QStringList({ "fail w3.wav", "end w3.wav", "play w3.wav" }));
    QTest::qWait(50);
    EXPECT_EQ(f->StatusLine->text(), "") << "the third run sounded it";
    f->close();
}

TEST_F(UtaikaiSound, TestPlayTogglesTheCurrentRowOnThePhasesFirstPlayer)
{
    addCue('i', "0:00:20", "/i2.wav");
    addCue('i', "0:00:10", "/i1.wav");
    addCue('o', "0:00:30", "/o.wav");
    auto f = openWithPlayers();
    f->setmp();
    f->CueGrids[3]->selectRow(1);
    players["MPi1"]->calls.clear();
    f->CuteButton25Click();
    EXPECT_EQ(players["MPi1"]->calls, QStringList({ "open /i2.wav", "play" }));
    EXPECT_TRUE(players["MPi1"]->playing);
    f->CuteButton25Click();
    EXPECT_EQ(players["MPi1"]->calls.mid(2, 1), QStringList { "stop" });
    EXPECT_EQ(players["MPi1"]->file, "/i2.wav") << "its loaded cue back";

    // A file that does not play gives the message; the next press only stops.
    players["MPo1"]->refusePlay = true;
    players["MPo1"]->calls.clear();
    f->CuteButton9Click();
    EXPECT_EQ(asker.messages(), QStringList { "指定したファイルは既にロードされています。" });
    f->CuteButton9Click();
    EXPECT_EQ(players["MPo1"]->calls, QStringList({ "open /o.wav", "play", "stop" }));

    // An empty grid plays nothing.
    f->CuteButton7Click();
    EXPECT_TRUE(players["MP1"]->calls.filter("play").isEmpty());
    f->close();
}

TEST_F(UtaikaiSound, SoundStopStopsEveryLoadedPlayerAndAnyTestPlay)
{
    addCue('w', "0:01:00", "/w.wav");
    addCue('r', "0:01:00", "/r.wav");
    auto f = openWithPlayers();
    f->clearmp();
    f->CueGrids[1]->selectRow(0);
    f->CuteButton8Click();
    ASSERT_TRUE(players["MPt1"]->playing);
    f->CuteButton10Click();
    EXPECT_FALSE(players["MPt1"]->playing);
    EXPECT_TRUE(players["MP1"]->calls.filter("stop").isEmpty()) << "an empty player is left alone";
    f->CuteButton8Click();
    EXPECT_TRUE(players["MPt1"]->playing) << "after STOP the test button plays again at once";
    f->close();
}

TEST_F(UtaikaiSound, ShowingTheSetPageBetweenRunsEmptiesThePlayersAndAsksForAReset)
{
    addCue('w', "0:00:03", "/w.wav");
    auto f = openWithPlayers();
    Reset(*f);
    ASSERT_EQ(f->engine().ResetDone(), 1);
    f->PageControl1->setCurrentWidget(f->TabSheet2);
    EXPECT_TRUE(players["MP1"]->file.isEmpty());
    EXPECT_EQ(f->engine().ResetDone(), 0);
    for (const auto* row : { &f->SegWarm, &f->SegRace, &f->SegOver })
        for (const auto* seg : *row)
            EXPECT_EQ(seg->Value(), -2);
    EXPECT_FALSE(f->Panel14->isVisible());
    EXPECT_TRUE(f->CueSetButtons[0]->isEnabled());
    f->PageControl1->setCurrentWidget(f->TabSheet1);
    f->CuteButton1->Click();
    EXPECT_FALSE(f->Tm1.isActive()) << "Start waits for a new reset";

    // While a count-down runs the page only says so, and the run keeps its cues.
    Reset(*f);
    f->CuteButton1->Click();
    Tick(*f, 5);
    f->PageControl1->setCurrentWidget(f->TabSheet2);
    EXPECT_TRUE(f->Panel14->isVisible());
    EXPECT_TRUE(f->Panel14->isEnabled());
    EXPECT_FALSE(f->CueSetButtons[0]->isEnabled());
    EXPECT_FALSE(f->CueGrids[0]->isEnabled());
    EXPECT_EQ(players["MP1"]->file, "/w.wav");
    EXPECT_EQ(f->engine().ResetDone(), 1);
    testing_support::saveGrab(f.get(), "console-sound-set-counting");
    f->close();
}

TEST_F(UtaikaiSound, APausedRunResumesAfterTheSetPageWasShown)
{
    addCue('w', "0:00:03", "/w3.wav");
    addCue('w', "0:00:01", "/w1.wav");
    auto f = openWithPlayers();
    Reset(*f);
    f->CuteButton1->Click();
    Tick(*f, 25); // the 0:00:03 cue has sounded
    f->CuteButton2->Click();
    const QString paused = warmDigits(*f);

    f->PageControl1->setCurrentWidget(f->TabSheet2);
    EXPECT_FALSE(f->Panel14->isVisible());
    EXPECT_EQ(f->engine().ResetDone(), 1);
    EXPECT_EQ(players["MP2"]->file, "/w1.wav");
    EXPECT_EQ(warmDigits(*f), paused) << "the paused time stays on the digits";
    f->PageControl1->setCurrentWidget(f->TabSheet1);

    clock.advanceMs(60000);
    f->CuteButton1->Click();
    ASSERT_TRUE(f->Tm1.isActive()) << "Start resumes";
    Tick(*f, 20);
    EXPECT_TRUE(players["MP2"]->playing) << "the next cue sounds at its time";
    f->close();
}

TEST_F(UtaikaiSound, CuesSoundAtTheirTimesAndAgainFromTheFirstInTheNextRun)
{
    addCue('w', "0:00:03", "/w3.wav");
    addCue('w', "0:00:02", "/missing.wav");
    addCue('w', "0:00:01", "/w1.wav");
    addCue('r', "0:00:02", "/r2.wav");
    addCue('o', "0:00:01", "/o1.wav");
    unopenable = QStringList { "/missing.wav" };
    auto f = openWithPlayers();
    f->DTP2->setTime(QTime(0, 0, 5));
    f->DTP3->setTime(QTime(0, 0, 2));
    Reset(*f);
    EXPECT_EQ(f->engine().ResetDone(), 1) << "a file that does not open does not stop the reset";
    EXPECT_TRUE(f->StatusLine->text().contains("/missing.wav"));
    EXPECT_EQ(
        f->engine().CueList(), QStringList({ "R-0:00:03", "R-0:00:01", "B-0:00:02", "Y-0:00:01", "-" }));

    // Warm-up 5 s, race 5 s, over-time 2 s; a cue at T sounds at the first tenth below T.
    const QStringList run { "21 play MP1", "41 stop MP1", "41 play MP2", "81 stop MP1", "81 stop MP2",
        "81 play MPt1", "111 stop MPt1", "111 play MPo1" };
    for (int n = 0; n < 2; ++n) {
        f->CuteButton1->Click();
        EXPECT_EQ(runTranscript(*f, 130), run) << "run " << n + 1;
        EXPECT_FALSE(f->Tm1.isActive());
        EXPECT_EQ(f->engine().CueList(), QStringList { "-" });
    }
    f->close();
}

TEST_F(UtaikaiSound, PrePlaysTheFirstLoadedPlayersHalfASecondEach)
{
    addCue('w', "0:01:00", "/w1.wav");
    addCue('w', "0:00:50", "/w2.wav");
    addCue('o', "0:00:30", "/o.wav");
    addCue('i', "0:00:30", "/i.wav");
    auto f = openWithPlayers();
    f->setmp();
    f->CuteButton23Click();
    EXPECT_EQ(sleeper.waits, std::vector<int>({ 500, 500, 500 })) << "MP1, MP2, MPo1; no interval player";
    EXPECT_EQ(players["MP2"]->calls.mid(players["MP2"]->calls.size() - 2), QStringList({ "play", "stop" }));
    EXPECT_TRUE(players["MPi1"]->calls.filter("play").isEmpty());
    f->close();
}

TEST_F(UtaikaiSound, OpenPutsTheChosenFileIntoThePhasesBox)
{
    const QString tone = home.file("tone.wav");
    ASSERT_TRUE(testing_support::writeWav(tone, 100));
    auto f = openWithPlayers();
    QTimer::singleShot(0, f.get(), [&] {
        EXPECT_EQ(f->OD1->nameFilters().value(0), "wavファイル (*.wav *.wma)");
        f->OD1->selectFile(tone);
        static_cast<QDialog*>(f->OD1)->accept();
    });
    f->N2Click();
    EXPECT_EQ(f->CueFiles[3]->text(), tone);

    // The dialog is shared: for a column whose box is empty it offers no file, not the one just
    // chosen for another column (which that column could not register).
    QStringList offered { QStringLiteral("not asked") };
    QTimer::singleShot(0, f.get(), [&] {
        offered = f->OD1->selectedFiles();
        static_cast<QDialog*>(f->OD1)->reject();
    });
    f->Open1Click();
    EXPECT_EQ(offered, QStringList());
    EXPECT_TRUE(f->CueFiles[0]->text().isEmpty());
    f->close();
}

// The operator types the file's path into the dialog's name box and presses Enter while the box
// offers the name it completes to: once the pick ends no window of the dialog is left, so the
// next click and keys go to the console. セット asks about a file that is not there, naming it,
// and registers it only when told to.
TEST_F(UtaikaiSound, APathTypedIntoTheDialogLeavesNoWindowAndAMissingFileIsAskedAbout)
{
    const QString beep = home.file("beep.wav");
    ASSERT_TRUE(testing_support::writeWav(beep, 100));
    auto f = openWithPlayers();
    f->PageControl1->setCurrentWidget(f->TabSheet2);
    bool offered = false;
    testing_support::WhenShown<QFileDialog> dialog([&](QFileDialog& d) {
        testing_support::userType(&d, beep);
        const QCompleter* completer = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->completer();
        offered = testing_support::waitUntil([&] { return completer->popup()->isVisible(); });
        testing_support::userKey(&d, Qt::Key_Return);
    });
    f->Open1Click();
    EXPECT_TRUE(dialog.done());
    EXPECT_TRUE(offered) << "the name box offered the name it completes to";
    EXPECT_EQ(f->CueFiles[0]->text(), beep);
    testing_support::runEvents(300);
    QStringList left;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != f.get() && (w->isVisible() || qobject_cast<QFileDialog*>(w)))
            left << QString::fromLatin1(w->metaObject()->className()) + ' ' + w->objectName();
    EXPECT_EQ(left, QStringList());
    EXPECT_EQ(f->findChildren<QFileDialog*>().size(), 0);

    const QString horn = home.file("horn.wav");
    f->CueFiles[1]->setText(horn);
    asker.answer(false);
    testing_support::userClick(f->CueSetButtons[1]);
    EXPECT_TRUE(
        asker.questions().value(0).startsWith(QStringLiteral("音声ファイル %1 が見つかりません").arg(horn)))
        << asker.questions().value(0).toStdString();
    EXPECT_EQ(gridRows(f->CueGrids[1]), QStringList());
    asker.answer(true);
    testing_support::userClick(f->CueSetButtons[1]);
    EXPECT_EQ(gridRows(f->CueGrids[1]), QStringList { "0:00:00 " + horn });
    testing_support::userClick(f->CueSetButtons[0]); // the file picked above
    EXPECT_EQ(asker.questions().size(), 2) << "a file that is there is not asked about";
    EXPECT_EQ(gridRows(f->CueGrids[0]), QStringList { "0:00:00 " + beep });
    f->close();
}

TEST_F(UtaikaiSound, TheDelayBoxKeepsAWholeNumberAndOpensTheSoundCheckPage)
{
    DelaySetting = 1;
    auto f = openWithPlayers();
    EXPECT_EQ(f->Eddelay->text(), "1");
    f->Eddelay->setText("3");
    f->EddelayExit();
    EXPECT_EQ(DelaySetting, 3);
    f->Eddelay->setText("x");
    f->EddelayExit();
    EXPECT_EQ(DelaySetting, 3);
    EXPECT_EQ(f->Eddelay->text(), "3");

    const int check = f->PageControl1->indexOf(f->TabSheet3);
    EXPECT_FALSE(f->PageControl1->isTabVisible(check));
    f->PageControl1->setCurrentWidget(f->TabSheet2);
    QTest::mouseDClick(f->Eddelay, Qt::LeftButton);
    EXPECT_TRUE(f->PageControl1->isTabVisible(check));
    f->close();
}

TEST_F(UtaikaiSound, GrabsBothSoundPages)
{
    addCue('w', "0:02:00", "/sounds/ウォームアップ残り2分.wav");
    addCue('w', "0:01:00", "/sounds/warm 1min.wav");
    addCue('r', "0:05:00", "/sounds/race 5min.wav");
    addCue('r', "0:00:10", "/sounds/countdown.wav");
    addCue('o', "0:00:30", "/sounds/over 30s.wav");
    addCue('i', "0:01:00", "/sounds/next race.wav");
    auto f = openWithPlayers();
    f->PageControl1->setCurrentWidget(f->TabSheet2);
    f->CueGrids[0]->selectRow(0);
    f->DBGrid1DblClick();
    testing_support::saveGrab(f.get(), "console-sound-set-cues");
    f->setmp();
    f->PageControl1->setTabVisible(f->PageControl1->indexOf(f->TabSheet3), true);
    f->PageControl1->setCurrentWidget(f->TabSheet3);
    testing_support::saveGrab(f.get(), "console-sound-check-loaded");
    EXPECT_EQ(f->PlayerViews.size(), 39u);
    EXPECT_EQ(f->PlayerViews[13]->player(), players["MPt1"]);
    EXPECT_EQ(f->PlayerViews[13]->findChildren<QLabel*>()[1]->toolTip(), "/sounds/race 5min.wav");
    EXPECT_EQ(f->PlayerViews[15]->findChildren<QLabel*>()[1]->text(), "－") << "MPt3 holds nothing";
    f->close();
}

// Cues through the console's own players into a sound server of the test's own, judged by what
// reached its sink: each cue sounds whole and begins within half a second of the tick that plays
// it, also after the console stood reset for a while (a player readied ahead would sound as late
// as it stood paused). While the server is away the cues do not sound, the status line says once
// that there is no sound output and the count-down goes on; the first cue after the server is
// back sounds, without a reset.
TEST_F(UtaikaiSound, CuesSoundOnTimeThroughASoundServerThatIsKilledAndStartedAgain)
{
    using testing_support::RecordedSoundServer;
    RecordedSoundServer server;
    TAVO_START_SOUND_SERVER(server);
    // A nine-second warm-up; a cue at T seconds sounds at tenth 10 * (9 - T) + 1.
    for (const char* tno : { "0:00:08", "0:00:06", "0:00:05", "0:00:04", "0:00:02" }) {
        const QString file = home.file(QStringLiteral("w%1.wav").arg(QLatin1String(tno).back()));
        ASSERT_TRUE(testing_support::writeWav(file, 300));
        addCue('w', QLatin1String(tno), file);
    }
    console::ConsoleDevices d = devices();
    d.makeCuePlayer = [](const QString&) { return std::make_unique<console::MediaCuePlayer>(); };
    platform::prepareSound(); // as the console does for the players it makes itself
    auto f = show(d);
    f->DTP1->setTime(QTime(0, 0, 9));
    f->DTP4->setTime(QTime(0, 0, 0));
    asker.answer(true);
    f->CuteButton5->Click();
    QTest::qWait(1000);
    f->CuteButton1->Click();
    int tenth = 0;
    QList<double> plays;
    auto tickTo = [&](int to) {
        Tick(*f, to - tenth - 1);
        plays << RecordedSoundServer::nowMs();
        Tick(*f, 1);
        tenth = to;
        QTest::qWait(800);
    };
    auto expectHeard = [&](int n) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.sounds().size() == n; }, 5000))
            << server.sounds().size() << " sounds recorded, " << n << " expected";
        const RecordedSoundServer::Sound heard = server.sounds().at(n - 1);
        EXPECT_GE(heard.beginMs - plays.last(), 0) << "cue " << n;
        EXPECT_LT(heard.beginMs - plays.last(), 500) << "cue " << n << " began late";
        EXPECT_NEAR(heard.endMs - heard.beginMs, 300, 20) << "cue " << n << " was not heard whole";
    };
    tickTo(11);
    expectHeard(1);
    tickTo(31);
    expectHeard(2);

    server.kill();
    tickTo(41);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return f->StatusLine->text().startsWith("音声キューは鳴りません: "); }, 5000))
        << f->StatusLine->text().toStdString();
    EXPECT_TRUE(f->StatusLine->text().contains("音声の出力先（サウンドサーバーや音声装置）につながりません"))
        << f->StatusLine->text().toStdString();
    f->StatusLine->clear();
    tickTo(51);
    EXPECT_EQ(f->StatusLine->text(), "") << "said once, not for each cue";
    EXPECT_EQ(f->engine().StateWarm(), console::PhaseState::On) << "the count-down goes on";

    QString why;
    ASSERT_TRUE(server.start(&why)) << why.toStdString();
    tickTo(71);
    expectHeard(3);
    EXPECT_EQ(f->StatusLine->text(), "");
    f->close();
}
