// The phase count-down in simulated time: warm-up, race and over-time with their digits, board
// lines, time file, signal triggers, start pulse and cues; Start, Stop and Reset.

#include "CountdownRig.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using console::Phase;
using console::PhaseState;
using console::Preset;
using testing_support::CountdownRig;
using testing_support::Lines;

namespace {

class CountdownEngine : public ::testing::Test, public CountdownRig {
protected:
    console::CountdownEngine& e() { return *engine; }
    qint64 raceRemaining() { return e().EndRace() - e().now(); }
};

// One short run from Reset to the end of the over-time: every device and the cues, in order.
TEST_F(CountdownEngine, AWholeRunAsOneTranscript)
{
    panel.presets[Preset::Warm] = "0:00:05";
    panel.presets[Preset::Race] = "0:00:03";
    panel.presets[Preset::Over] = "0:00:02";
    panel.offControlSetting = 1; // signal 5 goes on at the start and off 1.5 s into the race
    panel.triggers[console::SlotOn1] = 30;
    panel.triggers[console::SlotOff1] = 10;
    panel.triggers[console::SlotOff5] = 15;
    cues = { "R-0:00:03", "R-0:00:00", "B-0:00:02", "B-0:00:00", "Y-0:00:01", "-" };
    Reset();
    e().start();
    ticks(102);

    EXPECT_EQ(Lines(transcript.entries),
        Lines({
            "2 board \"8              4     \"", // remaining 4.8 s: lines go out at even tenths
            "12 board \"8              3     \"",
            "20 open 1", // ON 1 at 3.0 s left: port 1 opens once
            "20 rts 1 on",
            "21 play MP1", // 00:03 sounds in the second below 3.0
            "22 board \"8              2     \"",
            "32 board \"8              1     \"",
            "40 rts 1 off", // OFF 1 at 1.0 s
            "42 board \"8              0     \"", // the last second of the warm-up reads 0
            "51 stop MP1",
            "51 play MP2", // remaining -0.1: the warm-up's 0:00:00 cue, and the start
            "51 open 3",
            "51 rts 3 on", // ON 5: "スタート後"
            "51 dtr 3 on", // the start pulse
            "51 dtr 3 off",
            "52 board \"8       R      2     \"", // the race took over in the same tick, at 2.9
            "61 stop MP2", // the race's first cue silences the warm-up's
            "61 play MPt1",
            "62 board \"8       R      1     \"",
            "65 rts 3 off", // OFF 5 once the race has run 1.5 s
            "72 board \"8              0     \"",
            "80 stop MPt1",
            "80 play MPt2", // the race ends at exactly 0 with its 0:00:00 cue
            "80 board \"8       O      2     \"", // and the over-time starts in that tick
            "82 board \"8       O      1     \"",
            "91 stop MPt2",
            "91 play MPo1",
            "92 board \"8              0     \"",
        }));
    EXPECT_EQ(sleeper.waits, std::vector<int>({ 100 })) << "one start pulse of 100 ms";
    EXPECT_EQ(panel.memo, QStringList({ "-" })) << "the memo mirrors the list down to its end";
    EXPECT_FALSE(e().tm1On());
    EXPECT_EQ(e().StateOver(), PhaseState::Ato);
    EXPECT_FALSE(e().tmr2On()) << "manual operation: no interval";
    EXPECT_EQ(Lines(monitor.times),
        Lines({ "00:00:04R", "00:00:03R", "00:00:02R", "00:00:01R", "00:00:00R", "00:00:00R", "00:00:02B",
            "00:00:01B", "00:00:00B", "00:00:02Y", "00:00:01Y", "00:00:00Y" }))
        << "once a second, and at the tick past the end";
}

TEST_F(CountdownEngine, AFiveMinuteWarmUpShowsZeroForOneTickAndHandsOverAtMinusOne)
{
    Reset();
    EXPECT_EQ(panel.row(Phase::Warm), "005000");
    EXPECT_EQ(panel.row(Phase::Race), "010000");
    e().start();
    ticks(3000);
    EXPECT_EQ(e().StateWarm(), PhaseState::On);
    EXPECT_EQ(panel.row(Phase::Warm), "____00") << "remaining 0 shows 0.0";
    ticks(1);
    EXPECT_EQ(e().StateWarm(), PhaseState::Ato);
    EXPECT_EQ(e().StateRace(), PhaseState::On);
    EXPECT_EQ(raceRemaining(), 5999);
    EXPECT_EQ(panel.row(Phase::Race), "__9599");
}

// The random start: the warm-up ends once its remaining time falls to the cut; the race and the
// over-time move by the warm-up time actually cut, so the race keeps its length also when a late
// tick brought the warm-up below the cut.
TEST_F(CountdownEngine, TheRandomCutEndsTheWarmUpEarlyAndTheRaceKeepsItsLength)
{
    struct Case {
        int stallBefore; // tenths without a tick just above the cut
        qint64 endsAtRemaining;
    };
    for (const Case c : { Case { 0, 37 }, Case { 7, 30 } }) {
        CountdownRig rig;
        rig.panel.presets[Preset::Blank] = "0:00:05";
        rig.random.script = { 37 };
        rig.Reset();
        EXPECT_EQ(rig.random.asked, std::vector<int>({ 50 })) << "a cut from 0 to 49 tenths";
        EXPECT_EQ(rig.panel.cut, "3.7");
        rig.engine->start();
        const qint32 start = rig.engine->now();
        rig.ticks(3000 - 38);
        rig.stall(c.stallBefore);
        rig.ticks(1);
        ASSERT_EQ(rig.engine->StateRace(), PhaseState::On) << c.stallBefore;
        EXPECT_EQ(rig.engine->now() - start, 3000 - c.endsAtRemaining);
        EXPECT_EQ(rig.panel.colors[0], console::CountdownEngine::CutColor);
        EXPECT_EQ(rig.engine->EndRace() - rig.engine->now(), 5999) << "the full race less the tenth";
        EXPECT_EQ(rig.engine->EndOver() - rig.engine->EndRace(), 600);
        EXPECT_EQ(rig.engine->EndWarm() - start, 3000) << "the warm-up's end stays";
    }
}

TEST_F(CountdownEngine, CutDisplayAndBlankingFollowTheirThresholds)
{
    const std::pair<int, const char*> cuts[] = { { 37, "3.7" }, { 5, "0.5" }, { 0, "0.0" }, { 499, "49.9" } };
    for (const auto& [cut, text] : cuts)
        EXPECT_EQ(console::CountdownEngine::cutDisplay(cut), text);
    const std::pair<qint64, int> blanks[] = { { 36000, 0 }, { 35999, 1 }, { 6000, 1 }, { 5999, 2 },
        { 600, 2 }, { 599, 3 }, { 100, 3 }, { 99, 4 } };
    for (const auto& [remaining, count] : blanks)
        EXPECT_EQ(console::CountdownEngine::blankedDigits(remaining), count) << remaining;
    EXPECT_EQ(console::CountdownEngine::rowDigits("1:30:00.0"), (std::array<int, 6> { 1, 3, 0, 0, 0, 0 }));
    EXPECT_EQ(console::CountdownEngine::rowDigits("10:00:00.0"), (std::array<int, 6> {}));
    EXPECT_EQ(console::CountdownEngine::rowDigits(""), (std::array<int, 6> {}));

    panel.presets[Preset::Warm] = "1:00:00";
    Reset();
    e().start();
    ticks(1);
    EXPECT_EQ(panel.row(Phase::Warm), "_59599") << "35999 blanks the hour";
}

TEST_F(CountdownEngine, APauseOfSixtySecondsMovesEveryEndBy600Tenths)
{
    Reset();
    e().start();
    const std::array<qint32, 4> before { e().EndWarm(), e().EndRace(), e().EndOver(), e().EndInterval() };
    ticks(300);
    e().Stop();
    EXPECT_EQ(e().RestWarm(), 2700);
    stall(595);
    ticks(5);
    EXPECT_EQ(panel.row(Phase::Warm), "__4300") << "nothing counts while paused";
    e().start();
    EXPECT_EQ((std::array<qint32, 4> { e().EndWarm(), e().EndRace(), e().EndOver(), e().EndInterval() }),
        (std::array<qint32, 4> { before[0] + 600, before[1] + 600, before[2] + 600, before[3] + 600 }));
    ticks(1);
    EXPECT_EQ(panel.row(Phase::Warm), "__4299") << "the warm-up goes on where it stopped";
}

// Each warm-up trigger fires once, at the first tick at which its time has come: at slot 0 at the
// end, mid-phase, at once when longer than the phase, after a stall across its tenth, and never
// early after a pause.
TEST_F(CountdownEngine, EachTriggerFiresOnceWhenItsTimeHasCome)
{
    struct Case {
        const char* name;
        qint64 slot;
        int stallFrom; // remaining at which the console stalls (-1000: never)
        int stallTenths;
        bool pauseFirst;
        qint64 firesAtRemaining;
    };
    const Case cases[] = {
        { "slot 0", 0, -1000, 0, false, 0 },
        { "mid-phase", 1500, -1000, 0, false, 1500 },
        { "longer than the phase", 9999, -1000, 0, false, 2999 },
        { "stall across the slot", 1500, 1505, 20, false, 1484 },
        { "pause before the slot", 1500, -1000, 0, true, 1500 },
    };
    for (const Case& c : cases) {
        CountdownRig rig;
        rig.panel.presets[Preset::Warm] = "0:05:00";
        rig.panel.triggers[console::SlotOn2] = c.slot;
        rig.Reset();
        rig.engine->start();
        if (c.pauseFirst) {
            rig.ticks(1000);
            rig.engine->Stop();
            rig.stall(600);
            rig.engine->start();
        }
        qint64 firedAt = -1000;
        for (int i = 0; i < 3100 && firedAt == -1000; ++i) {
            const qint64 remaining = rig.engine->EndWarm() - rig.engine->now();
            if (remaining == c.stallFrom)
                rig.stall(c.stallTenths);
            rig.ticks(1);
            if (rig.engine->SigOnFired()[1])
                firedAt = rig.engine->EndWarm() - rig.engine->now();
        }
        EXPECT_EQ(firedAt, c.firesAtRemaining) << c.name;
        EXPECT_EQ(rig.lines.fake.calls.filter("dtr 1 on").size(), 1) << c.name << ": once";
        EXPECT_EQ(rig.panel.lb[1], QString::number(c.firesAtRemaining)) << c.name;
    }
}

// OFF 5 after the start ("スタート後") counts the race's running time, not the time it stood paused,
// and fires also when no tick falls on its tenth.
TEST_F(CountdownEngine, OffFiveAfterTheStartCountsOnlyTheRunningRace)
{
    panel.presets[Preset::Warm] = "0:00:01";
    panel.offControlSetting = 1;
    panel.triggers[console::SlotOff5] = 50;
    Reset();
    e().start();
    ticks(11); // into the race
    const qint32 raceStart = e().now();
    ticks(20);
    e().Stop();
    stall(600);
    e().start();
    ticks(28);
    EXPECT_FALSE(e().SigOffFired()[4]) << "4.8 s of race";
    stall(3);
    ticks(1);
    EXPECT_TRUE(e().SigOffFired()[4]);
    EXPECT_EQ(e().now() - raceStart - 600, 52);
    EXPECT_FALSE(lines.fake.ports[3].rts);
    EXPECT_EQ(e().EndWarm() - raceStart, -1) << "EndWarm stays where the warm-up ended";
}

TEST_F(CountdownEngine, SignalPortsOpenOnlyForAnOnAndAFailedPortIsMarkedAndTriedAgain)
{
    testing_support::FakeSignalLines fake;
    std::array<platform::TColor, 6> lamp {};
    QStringList said;
    console::SignalOutputs::View view;
    view.lamp = [&](int output, platform::TColor color) { lamp[static_cast<size_t>(output)] = color; };
    view.status = [&](const QString& text) { said << text; };
    console::SignalOutputs outputs(fake, sleeper, scheduler, view);
    outputs.setPortNames({ "COM2", "COM3", "COM4" });

    outputs.off(2); // OFF 3 before any ON on port 2
    EXPECT_FALSE(fake.ports[2].open);
    EXPECT_FALSE(outputs.portOpened(2));
    EXPECT_EQ(lamp[2], console::SignalOutputs::LampOff);

    outputs.on(1); // ON 2 before ON 1: port 1 opens once, only DTR rises
    outputs.on(0);
    EXPECT_EQ(fake.calls.filter("open"), QStringList({ "open 1" }));
    EXPECT_TRUE(fake.ports[1].dtr && fake.ports[1].rts);

    fake.opens = false;
    outputs.on(2);
    outputs.on(3);
    EXPECT_FALSE(outputs.portOpened(2));
    EXPECT_EQ(lamp[2], console::SignalOutputs::LampNoPort);
    EXPECT_EQ(said, QStringList({ "シグナル出力のポート（COM3）を開けませんでした。" })) << "said once";
    fake.opens = true;
    outputs.on(2);
    EXPECT_TRUE(outputs.portOpened(2)) << "the next press tried again";
    EXPECT_EQ(lamp[2], console::SignalOutputs::LampOn);
}

// Ports 2 and 3 do not open and port 1 fails at the end of the warm-up: one status line names all
// three, and the warm-up's closing OFF presses and the start pulse leave every red lamp red until
// its port opens again, when both its lamps show its lines.
TEST_F(CountdownEngine, FailedSignalPortsAreAllNamedAndTheirLampsStayRedThroughOffPresses)
{
    using console::SignalOutputs;
    panel.presets[Preset::Warm] = "0:00:03";
    for (int slot = console::SlotOn1; slot <= console::SlotOn5; ++slot)
        panel.triggers[static_cast<size_t>(slot)] = 20;
    lines.fake.refused = { 2, 3 };
    Reset();
    e().start();
    ticks(15);
    EXPECT_EQ(lamps[0], SignalOutputs::LampOn);
    EXPECT_EQ(panel.statuses.last(), "シグナル出力のポート（COM2、COM3）を開けませんでした。");
    lines.fake.refused.insert(1);
    ticks(20); // OFF 1-4 and OFF 5 at the end of the warm-up, then the start pulse
    EXPECT_EQ(e().StateRace(), PhaseState::On);
    EXPECT_EQ(panel.statuses.last(),
        "シグナル出力のポート（COM2、COM3）を開けませんでした。"
        "シグナル出力のポート（COM1）で信号を切り替えられませんでした。ポートを閉じました。");
    const platform::TColor red = SignalOutputs::LampNoPort;
    EXPECT_EQ(lamps, (std::array { red, red, red, red, red, red }));
    Reset();
    EXPECT_EQ(lamps[2], SignalOutputs::LampNoPort) << "the reset's OFF presses switch nothing either";

    // A port that opens again shows both its lines: the one pressed on, the other low.
    lines.fake.refused.clear();
    outputs->on(2);
    outputs->on(4);
    EXPECT_EQ(lamps,
        (std::array { red, red, SignalOutputs::LampOn, SignalOutputs::LampOff, SignalOutputs::LampOn,
            SignalOutputs::LampOff }))
        << "port 1 has not opened yet";
    outputs->off(2);
    EXPECT_EQ(lamps[2], SignalOutputs::LampOff);
}

TEST_F(CountdownEngine, TheSweepPressesTenButtonsHalfASecondApartWithoutBlocking)
{
    bool counting = false;
    ASSERT_TRUE(outputs->sweep([&] { return counting; }));
    EXPECT_FALSE(outputs->sweep({})) << "a press while it runs is ignored";
    scheduler.advance(4999);
    EXPECT_TRUE(outputs->sweeping());
    scheduler.advance(1);
    EXPECT_FALSE(outputs->sweeping());
    EXPECT_EQ(scheduler.delays, std::vector<int>(10, 500));
    EXPECT_EQ(lines.fake.calls.filter(QRegularExpression("^(rts|dtr)")),
        QStringList({ "rts 1 on", "dtr 1 on", "rts 2 on", "dtr 2 on", "rts 3 on", "rts 1 off", "dtr 1 off",
            "rts 2 off", "dtr 2 off", "rts 3 off" }));
    EXPECT_TRUE(sleeper.waits.empty());

    counting = true;
    EXPECT_FALSE(outputs->sweep([&] { return counting; }));
    EXPECT_EQ(panel.statuses.last(), "カウントダウン中は初期化できません。");
    counting = false;
    lines.fake.calls.clear();
    outputs->sweep([&] { return counting; });
    scheduler.advance(1000);
    counting = true; // a Start in the middle ends the sweep before its OFF steps
    scheduler.advance(5000);
    EXPECT_EQ(lines.fake.calls.filter(QRegularExpression("^(rts|dtr)")),
        QStringList({ "rts 1 on", "dtr 1 on", "rts 2 on" }));
}

TEST_F(CountdownEngine, ResetAnsweredNoChangesNothing)
{
    Reset();
    e().start();
    ticks(100);
    e().Stop();
    const auto firedBefore = e().SigOnFired();
    asker.answer(false);
    e().Reset();
    EXPECT_EQ(e().StateWarm(), PhaseState::On);
    EXPECT_EQ(e().Paused(), 1);
    EXPECT_EQ(e().SigOnFired(), firedBefore);
    EXPECT_EQ(panel.reloads, 1) << "the cues are not reloaded";
    EXPECT_EQ(panel.lb[0], "0:00") << "only the read-outs";
    e().start();
    EXPECT_EQ(e().EndWarm() - e().now(), 2900) << "Start resumes the paused run";
}

// Start begins a fresh run whenever no phase is on, with the triggers and cues of a new run.
TEST_F(CountdownEngine, StartWithoutAPhaseOnBeginsAFreshRun)
{
    panel.presets = { { Preset::Warm, "0:00:02" }, { Preset::Race, "0:00:01" }, { Preset::Over, "0:00:01" },
        { Preset::Blank, "0:00:00" }, { Preset::Interval, "0:00:00" } };
    panel.triggers[console::SlotOn1] = 10;
    cues = { "R-0:00:01", "-" };
    Reset();
    for (int run = 0; run < 2; ++run) {
        e().start();
        ticks(15);
        e().Stop(); // a pause in the race
        e().start();
        ticks(30);
        EXPECT_EQ(e().StateOver(), PhaseState::Ato) << run;
        EXPECT_EQ(transcript.entries.filter("play MP1").size(), run + 1) << "the cue sounds in every run";
        EXPECT_EQ(transcript.entries.filter("rts 1 on").size(), run + 1) << "and the trigger fires";
    }
    e().Stop(); // a Stop while idle
    e().start();
    EXPECT_EQ(e().StateWarm(), PhaseState::On) << "not a resume with nothing running";
    EXPECT_EQ(e().Paused(), 0);
}

TEST_F(CountdownEngine, AFailingTickStopsTheCountDownAsAStopAndSaysWhy)
{
    Reset();
    e().start();
    ticks(10);
    panel.throwOnDigits = true;
    ticks(1);
    EXPECT_FALSE(e().tm1On());
    EXPECT_EQ(e().Paused(), 1);
    ASSERT_FALSE(panel.statuses.isEmpty());
    EXPECT_TRUE(panel.statuses.last().contains("digit failure"));
    panel.throwOnDigits = false;
    stall(50);
    e().start();
    ticks(1);
    EXPECT_EQ(e().StateRace(), PhaseState::Mae) << "one phase, resumed";
    EXPECT_EQ(e().EndWarm() - e().now(), 2988);
}

TEST_F(CountdownEngine, NoTickReentersTheEngine)
{
    cues = { "R-0:04:59", "-" };
    Reset();
    e().start();
    int inner = 0;
    players["MP1"]->onPlay = tickInside(&console::CountdownEngine::phaseTick, inner);
    ticks(15);
    EXPECT_EQ(inner, 0);
    EXPECT_EQ(transcript.entries.filter("play MP1").size(), 1);
}

// Cue times compare in one form, a missed cue does not silence the rest, and each cue keeps its slot.
TEST_F(CountdownEngine, CuesSurviveAStalledSecondAndMatchHoursWithOrWithoutALeadingZero)
{
    panel.presets[Preset::Warm] = "1:00:10";
    cues = { "R-01:00:00", "R-0:59:50", "R-0:59:40", "-" };
    Reset();
    e().start();
    ticks(101);
    EXPECT_EQ(transcript.entries.filter("play").join(','), "101 play MP1") << "01:00:00 is one hour";
    ticks(89);
    stall(40); // the console stalls across 0:59:50, until it is more than 3 s late
    ticks(100);
    EXPECT_EQ(transcript.entries.filter("play").mid(1).join(','), "301 play MP3")
        << "0:59:50 is dropped, 0:59:40 sounds on its own player";
    EXPECT_EQ(e().CueStep(), 4);
    EXPECT_EQ(panel.memo, QStringList({ "-" }));
    EXPECT_EQ(transcript.entries.filter("stop").join(','), "301 stop MP1") << "the cue sounding stops";
}

// A tick on time and a late tick over the end of the warm-up: of the cues that came due meanwhile the last
// one of each phase sounds when it is at most 3 s late, the older ones are dropped with their slots, the
// later cues keep theirs, and the race's first cue never cuts the start horn of the same tick.
TEST_F(CountdownEngine, ALateTickOverTheWarmUpEndSoundsTheLastCueThatCameDue)
{
    const struct {
        int stall; // tenths without a tick from 4.0 s before the end of the warm-up
        const char* plays;
    } cases[] = {
        { 0,
            "21 play MP1,41 stop MP1,41 play MP2,51 stop MP2,51 play MP3,51 play MPt1,71 stop MPt1,71 play "
            "MPt2,"
            "131 stop MPt2,131 play MPt3" }, // on time: the horn and the race's first cue together
        { 44, "55 play MP3,55 play MPt1,71 stop MPt1,71 play MPt2,131 stop MPt2,131 play MPt3" },
        { 64, "75 play MP3,75 play MPt2,131 stop MPt2,131 play MPt3" }, // 2.5 s late
        { 74, "85 play MPt2,131 stop MPt2,131 play MPt3" }, // the horn 3.5 s late
        { 104, "131 play MPt3" },
    };
    for (const auto& c : cases) {
        CountdownRig rig;
        rig.panel.presets[Preset::Warm] = "0:00:05";
        rig.panel.presets[Preset::Race] = "0:00:10";
        rig.cues = { "R-0:00:03", "R-0:00:01", "R-0:00:00", "B-0:00:10", "B-0:00:08", "B-0:00:02", "-" };
        rig.Reset();
        rig.engine->start();
        rig.ticks(10);
        rig.stall(c.stall);
        rig.ticks(125 - c.stall);
        EXPECT_EQ(rig.transcript.entries.filter(QRegularExpression(" (play|stop) ")).join(',').toStdString(),
            c.plays)
            << "stall " << c.stall;
        EXPECT_EQ(rig.panel.memo, QStringList({ "-" }));
    }
}

// The start pulse holds the thread for its length: a cue due in the same tick is handed to the
// sound thread before it, at the trigger and at the end of the warm-up alike.
TEST_F(CountdownEngine, ACueDueWithTheStartPulseSoundsBeforeThePulse)
{
    panel.presets[Preset::Warm] = "0:00:05";
    panel.triggers[console::SlotOnStart] = 29; // the tick at which 0:00:03 comes due
    cues = { "R-0:00:03", "R-0:00:00", "-" };
    Reset();
    e().start();
    ticks(60);
    EXPECT_EQ(Lines(transcript.entries.filter(QRegularExpression(" (play MP|dtr 3 on)"))),
        "21 play MP1\n21 dtr 3 on\n51 play MP2\n51 dtr 3 on");
}

TEST_F(CountdownEngine, APhaseDropsItsLeftoverCuesWhenItEnds)
{
    panel.presets[Preset::Warm] = "0:00:05";
    cues = { "R-0:00:09", "B-0:09:58", "-" }; // a warm-up cue the picker put out of reach
    Reset();
    e().start();
    ticks(52);
    EXPECT_EQ(panel.memo, QStringList({ "B-0:09:58", "-" }));
    players["MPt1"]->plays = false;
    ticks(20);
    EXPECT_EQ(transcript.entries.filter("play").join(','), "71 play MPt1");
    EXPECT_EQ(panel.statuses.last(), "音声キューを再生できませんでした: MPt1.wav")
        << "said, and the run goes on";
    EXPECT_TRUE(e().tm1On());
}

TEST_F(CountdownEngine, TheRaceLineBelongsToTheNetworkFromTheStartUntilTheOverTime)
{
    panel.presets[Preset::Warm] = "0:00:01";
    panel.presets[Preset::Race] = "0:00:01";
    panel.connected = true;
    Reset();
    e().start();
    ticks(11);
    EXPECT_TRUE(panel.boardFromNetwork);
    const qsizetype lines = boardPort->sent.size();
    ticks(8);
    EXPECT_EQ(boardPort->sent.size(), lines) << "no race line from the count-down";
    ticks(1);
    EXPECT_FALSE(panel.boardFromNetwork) << "the over-time takes it back";
    EXPECT_GT(boardPort->sent.size(), lines);

    panel.boardFromNetwork = true;
    e().Stop();
    Reset();
    EXPECT_FALSE(panel.boardFromNetwork) << "a confirmed reset gives the board back";
}

TEST_F(CountdownEngine, AutomaticOperationHandsOverToTheIntervalAtTheEndOfTheOverTime)
{
    panel.presets = { { Preset::Warm, "0:00:01" }, { Preset::Race, "0:00:01" }, { Preset::Over, "0:00:01" },
        { Preset::Blank, "0:00:05" }, { Preset::Interval, "0:03:00" } };
    panel.automaticSetting = true;
    random.script = { 3 };
    Reset();
    e().start();
    const qint32 interval = e().EndInterval();
    ticks(40);
    EXPECT_EQ(e().StateOver(), PhaseState::Ato);
    EXPECT_EQ(e().StateInterval(), PhaseState::On);
    EXPECT_TRUE(e().tmr2On());
    EXPECT_FALSE(e().tm1On());
    EXPECT_EQ(e().IntervalTenths(), 1800);
    EXPECT_EQ(e().EndInterval(), interval - 1) << "a cut was drawn";
}

} // namespace
