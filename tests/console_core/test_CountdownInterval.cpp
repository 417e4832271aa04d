// The interval of automatic operation in simulated time: its spacing over several runs, a pause
// in it, the automatic reset and Start, the interval reset, a failing interval tick, and a day of
// forty races as one transcript.

#include "CountdownRig.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using console::Phase;
using console::PhaseState;
using console::Preset;
using testing_support::CountdownRig;
using testing_support::Lines;

namespace {

// The tick of each phase change of each run, relative to the first Start.
struct Boundaries {
    std::vector<qint64> warm, race, over, interval; // the phase began at that tick
    bool operator==(const Boundaries&) const = default;
};

// Tenths since the rig was made: the transcript's time.
qint64 stamp(const CountdownRig& rig) { return (rig.clock.monotonicMs() - rig.transcript.originMs) / 100; }

// Runs `tenths` a tick at a time and notes where each phase began.
void watch(CountdownRig& rig, int tenths, Boundaries& b)
{
    const console::CountdownEngine& e = *rig.engine;
    for (int i = 0; i < tenths; ++i) {
        const bool warm = e.StateWarm() == PhaseState::On, race = e.StateRace() == PhaseState::On,
                   over = e.StateOver() == PhaseState::On, interval = e.tmr2On();
        rig.ticks(1);
        const qint64 at = stamp(rig);
        if (!warm && e.StateWarm() == PhaseState::On)
            b.warm.push_back(at);
        if (!race && e.StateRace() == PhaseState::On)
            b.race.push_back(at);
        if (!over && e.StateOver() == PhaseState::On)
            b.over.push_back(at);
        if (!interval && e.tmr2On())
            b.interval.push_back(at);
    }
}

class CountdownInterval : public ::testing::Test, public CountdownRig {
protected:
    void SetUp() override { panel.automaticSetting = true; }
    console::CountdownEngine& e() { return *engine; }
    qint64 stamp() const { return ::stamp(*this); }
};

// Presets 5:00, 10:00, 1:00 and 3:00 (tenths W = 3000, R = 6000, O = 600, I = 1800). Start at s
// fixes the ends s + 3000, s + 9000, s + 9600 and s + 11400.
// Without a blank window the warm-up ends at the first tick below zero (s + 3001), the race at
// s + 9000, the over-time at s + 9600, the interval at s + 11400, where the next Start comes:
// runs are 11400 tenths (19:00) apart, every interval lasts 1800.
// With a blank window and a cut c > 0 the warm-up ends at s + 3000 - c and the race and the
// over-time move back by c + 1 (s + 8999 - c, s + 9599 - c); the end of the over-time lowers the
// interval's end by one tenth (s + 11399), so the interval lasts 1800 + c and the runs are 11399
// tenths (18:59.9) apart. A cut of 0 from a blank window cuts nothing, but the interval's end
// still moves: that interval lasts 1799. Each race lasts 5999 tenths either way.
TEST_F(CountdownInterval, RunsStartAtTheSpacingOfTheirPresetsOverSeveralCycles)
{
    struct Case {
        const char* blank;
        std::deque<int> cuts; // the first from the confirmed Reset, then one per automatic reset
        Boundaries expected;
    };
    const Case cases[] = {
        { "0:00:00", {},
            { { 0, 11400, 22800, 34200, 45600 }, { 3001, 14401, 25801, 37201 }, { 9000, 20400, 31800, 43200 },
                { 9600, 21000, 32400, 43800 } } },
        { "0:00:05", { 37, 0, 49, 12 },
            { { 0, 11399, 22798, 34197, 45596 }, { 2963, 14400, 22798 + 2951, 34197 + 2988 },
                { 8962, 20399, 22798 + 8950, 34197 + 8987 }, { 9562, 20999, 22798 + 9550, 34197 + 9587 } } },
    };
    for (const Case& c : cases) {
        CountdownRig rig;
        rig.panel.automaticSetting = true;
        rig.panel.presets[Preset::Blank] = c.blank;
        rig.random.script = c.cuts;
        rig.Reset();
        rig.engine->start();
        Boundaries b;
        b.warm.push_back(0);
        watch(rig, 4 * 11400 + 10, b);
        EXPECT_EQ(b.warm, c.expected.warm) << c.blank;
        EXPECT_EQ(b.race, c.expected.race) << c.blank;
        EXPECT_EQ(b.over, c.expected.over) << c.blank;
        EXPECT_EQ(b.interval, c.expected.interval) << c.blank;
        for (size_t run = 0; run < 4; ++run) {
            EXPECT_EQ(b.over[run] - b.race[run], 5999) << c.blank << " race " << run;
            const qint64 cut = c.cuts.empty() ? -1 : c.cuts[run];
            EXPECT_EQ(b.warm[run + 1] - b.interval[run],
                cut < 0        ? 1800
                    : cut == 0 ? 1799
                               : 1800 + cut)
                << c.blank << " interval " << run;
        }
        EXPECT_EQ(rig.random.asked.size(), c.cuts.empty() ? 0u : 5u) << "a new cut for every run";
        EXPECT_EQ(rig.panel.reloads, 1) << "the players are loaded once, by the confirmed Reset";
    }
}

TEST_F(CountdownInterval, APauseInTheIntervalDelaysTheNextRunByItsLength)
{
    Reset();
    e().start();
    ticks(9600 + 50);
    ASSERT_TRUE(e().tmr2On());
    EXPECT_EQ(panel.intervalText, "00:02:55.0");
    e().Stop();
    EXPECT_EQ(e().RestInterval(), 1750);
    EXPECT_FALSE(e().tmr2On());
    ticks(200);
    EXPECT_EQ(panel.intervalText, "00:02:55.0") << "nothing counts while paused";
    e().start();
    EXPECT_TRUE(e().tmr2On());
    EXPECT_FALSE(e().tm1On()) << "only the interval resumes";
    EXPECT_EQ(e().Paused(), 1);
    ticks(1);
    EXPECT_EQ(e().Paused(), 0) << "the interval tick clears the pause";
    EXPECT_EQ(panel.intervalText, "00:02:54.9");
    ticks(1748);
    EXPECT_TRUE(e().tmr2On()) << "one tenth left";
    ticks(1);
    EXPECT_EQ(e().StateWarm(), PhaseState::On) << "19:00 and the 20 s of the pause after the first Start";
    EXPECT_EQ(e().EndWarm() - e().now(), 3000);
    EXPECT_EQ(stamp(), 11400 + 200);
}

// The automatic reset prepares the next run like a confirmed Reset, without asking: a new cut,
// red warm-up digits, and the board's race line the count-down's again.
TEST_F(CountdownInterval, TheAutomaticResetPreparesTheNextRunWithoutAsking)
{
    panel.presets = { { Preset::Warm, "0:00:02" }, { Preset::Race, "0:00:01" }, { Preset::Over, "0:00:01" },
        { Preset::Blank, "0:00:01" }, { Preset::Interval, "0:00:02" } };
    random.script = { 3, 7 };
    Reset();
    e().start();
    ticks(40);
    ASSERT_TRUE(e().tmr2On());
    EXPECT_EQ(panel.colors[0], console::CountdownEngine::CutColor);
    panel.boardFromNetwork = true;
    ticks(25);
    ASSERT_EQ(e().StateWarm(), PhaseState::On);
    EXPECT_EQ(asker.questions().size(), 1) << "only the operator's Reset asked";
    EXPECT_EQ(panel.cut, "0.7");
    EXPECT_EQ(panel.colors[0], console::CountdownEngine::WarmColor);
    EXPECT_FALSE(panel.boardFromNetwork);
    EXPECT_EQ(panel.reloads, 1) << "the players keep their files";
}

// Yes: "00:00:00", and the interval is over; the next Start begins a fresh run, whether the
// interval ran or stood paused. No: nothing changes.
TEST_F(CountdownInterval, TheIntervalResetEndsTheIntervalAndStartBeginsAFreshRun)
{
    for (const bool paused : { false, true }) {
        CountdownRig rig;
        rig.panel.automaticSetting = true;
        rig.Reset();
        rig.engine->start();
        rig.ticks(9600 + 100);
        if (paused)
            rig.engine->Stop();
        rig.asker.answer(false);
        rig.engine->intervalReset();
        EXPECT_EQ(rig.engine->StateInterval(), PhaseState::On) << paused;
        EXPECT_EQ(rig.engine->tmr2On(), !paused);
        EXPECT_EQ(
            rig.asker.questions().last(), "オートモードのインターバルカウントを初期化してよろしいですか？");

        rig.asker.answer(true);
        rig.engine->intervalReset();
        EXPECT_EQ(rig.panel.intervalText, "00:00:00") << paused;
        EXPECT_EQ(rig.engine->StateInterval(), PhaseState::Mae);
        EXPECT_FALSE(rig.engine->tmr2On());
        rig.ticks(2000);
        EXPECT_EQ(rig.engine->StateWarm(), PhaseState::Ato) << paused << ": no restart";
        EXPECT_FALSE(rig.engine->tm1On());

        rig.engine->start();
        EXPECT_EQ(rig.engine->StateWarm(), PhaseState::On) << paused;
        EXPECT_EQ(rig.engine->EndWarm() - rig.engine->now(), 3000) << paused << ": a fresh run";
        EXPECT_EQ(rig.engine->Paused(), 0);
    }
}

TEST_F(CountdownInterval, AFailingIntervalTickStopsItAndStartResumesIt)
{
    panel.presets = { { Preset::Warm, "0:00:01" }, { Preset::Race, "0:00:01" }, { Preset::Over, "0:00:01" },
        { Preset::Blank, "0:00:00" }, { Preset::Interval, "0:00:05" } };
    cues = { "X-0:00:04", "-" };
    Reset();
    e().start();
    int inner = 0;
    const auto inside = tickInside(&console::CountdownEngine::intervalTick, inner);
    players["MPi1"]->onPlay = [&] {
        inside();
        throw std::runtime_error("player failure");
    };
    ticks(31 + 12);
    EXPECT_EQ(inner, 0) << "no tick inside a tick";
    EXPECT_FALSE(e().tmr2On());
    EXPECT_EQ(e().Paused(), 1);
    ASSERT_FALSE(panel.statuses.isEmpty());
    EXPECT_TRUE(panel.statuses.last().contains("player failure"));
    EXPECT_EQ(e().RestInterval(), 50 - 12);
    stall(30);
    e().start();
    EXPECT_TRUE(e().tmr2On());
    ticks(38);
    EXPECT_EQ(e().StateWarm(), PhaseState::On) << "the resumed interval started the next run";
}

// Forty races of 5:00, 10:00 and 1:00 with intervals of 3:00, each started by the interval before
// it but the first: every run brings the same board lines, signal switches and cues at the same
// moments of the run, and the runs are 19:00 apart all day.
TEST_F(CountdownInterval, AFortyRaceDayRepeatsItsFirstRunExactly)
{
    panel.offControlSetting = 0;
    panel.triggers[console::SlotOn1] = 600;
    panel.triggers[console::SlotOff1] = 100;
    panel.triggers[console::SlotOn5] = 200;
    panel.triggers[console::SlotOff5] = 20;
    cues = { "R-0:04:00", "R-0:00:10", "B-0:09:00", "B-0:00:00", "Y-0:00:30", "X-0:03:00", "X-0:00:10", "-" };
    Reset();
    e().start();
    std::vector<qint64> starts { stamp() };
    while (starts.size() < 41) {
        const bool before = e().StateWarm() == PhaseState::On;
        ticks(1);
        if (!before && e().StateWarm() == PhaseState::On)
            starts.push_back(stamp());
        ASSERT_LT(stamp(), 41 * 11400) << "a run was missed";
    }
    e().Stop();
    for (size_t i = 1; i < starts.size(); ++i)
        ASSERT_EQ(starts[i] - starts[i - 1], 11400) << "run " << i;

    // Each run from its first tick to the tick that starts the next, its times from its Start.
    std::vector<QStringList> runs(40);
    QStringList opens;
    for (const QString& entry : transcript.entries) {
        const qint64 at = entry.section(' ', 0, 0).toLongLong();
        const QString what = entry.section(' ', 1);
        if (what.startsWith("open ")) {
            opens << entry; // a port opens once, for its first ON
            continue;
        }
        const auto run = std::upper_bound(starts.begin(), starts.end(), at - 1) - starts.begin() - 1;
        ASSERT_GE(run, 0) << entry.toStdString();
        ASSERT_LT(run, 40) << entry.toStdString();
        runs[size_t(run)] << QString::number(at - starts[size_t(run)]) + ' ' + what;
    }
    for (size_t run = 1; run < runs.size(); ++run)
        ASSERT_EQ(Lines(runs[run]), Lines(runs[0])) << "run " << run + 1;
    EXPECT_EQ(opens, QStringList({ "2400 open 1", "2800 open 3" }));

    EXPECT_EQ(Lines(runs[0].filter(QRegularExpression("^\\d+ (?!board)"))),
        Lines({
            "601 play MP1", // 04:00
            "2400 rts 1 on", // ON 1 at 1:00 left
            "2800 rts 3 on", // ON 5 at 0:20
            "2900 rts 1 off", // OFF 1 at 0:10
            "2901 stop MP1",
            "2901 play MP2", // 00:10
            "2980 rts 3 off", // OFF 5 at 0:02, before the start
            "3001 dtr 3 on", // the start pulse
            "3001 dtr 3 off", "3601 stop MP2",
            "3601 play MPt1", // B-0:09:00
            "9000 stop MPt1",
            "9000 play MPt2", // B-0:00:00 as the race ends
            "9301 stop MPt2",
            "9301 play MPo1", // Y-0:00:30
            "9601 stop MPo1",
            "9601 play MPi1", // 03:00 at the first interval tick
            "11301 stop MPi1",
            "11301 play MPi2", // 00:10
        }));
    const QStringList board = runs[0].filter(QRegularExpression("^\\d+ board"));
    EXPECT_EQ(board.size(), 300 + 600 + 60 + 180 + 1);
    EXPECT_EQ(board.first(), "2 board \"8           4:59     \"");
    // Around each hand-over: the race and over-time lines carry their letters, the interval's
    // last second reads 0 from its first even tenth.
    EXPECT_EQ(Lines(board.filter(QRegularExpression("^(300[0-9]|900[0-9]|960[0-9]|113[89][0-9]) "))),
        Lines({
            "3002 board \"8       R   9:59     \"",
            "9000 board \"8       O   1:00     \"",
            "9002 board \"8       O     59     \"",
            "9602 board \"8           2:59     \"",
            "11382 board \"8              1     \"",
            "11392 board \"8              0     \"",
        }));
    EXPECT_EQ(monitor.times.filter("W").size(), 40 * 1800) << "the time line at every interval tick";
    EXPECT_EQ(monitor.times.filter("W").removeDuplicates(), 40 * 1800 - 1);
}

} // namespace
