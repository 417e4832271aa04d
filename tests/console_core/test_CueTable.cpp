// The cue rows of an event: registration rules per phase, and the cues a run loads into the
// player bank with the cue list the count-down works through.

#include "ConsoleEventFixture.h"
#include "console/CueBank.h"
#include "console/CueTable.h"

using console::CueBank;
using console::CuePhase;
using console::CueRegistration;
using console::CueTable;
using testing_support::FakeCuePlayer;

namespace {

const QString kFull = QStringLiteral("データの登録数が制限に達しています。");
const QString kOther = QStringLiteral("指定したサウンドファイルは既に他のタイマーで登録されています。");
const QString kMove
    = QStringLiteral("指定したサウンドファイルは既に登録されていますが、設定時刻を変更しますか？");

class CueTableTest : public testing_support::ConsoleEventFixture {
protected:
    CueRegistration registerCue(CuePhase phase, QTime t, const QString& file, const QString& code = kCode)
    {
        return CueTable(*dm->Qtemp, platform::currentAsker(), code).registerCue(phase, t, file);
    }
    // The phase's rows as its grid lists them: "tno file".
    QStringList grid(CuePhase phase, const QString& code = kCode)
    {
        platform::Query q(dm->Database1);
        q.SQL = console::cueGridSql(code, phase);
        q.Open();
        QStringList rows;
        for (q.First(); !q.Eof(); q.Next())
            rows << q.FieldByName("tno")->AsString() + ' ' + q.FieldByName("mname")->AsString();
        return rows;
    }
};

// A bank of recording players of the console's sizes: 13, 14, 3 and 3.
struct Bank {
    Bank()
    {
        const int sizes[4] = { 13, 14, 3, 3 };
        CueBank::Players rows;
        for (int p = 0; p < 4; ++p)
            for (int i = 0; i < sizes[p]; ++i) {
                all.push_back(std::make_unique<FakeCuePlayer>());
                all.back()->unopenable = QStringList { "/missing.wav" };
                rows[size_t(p)].push_back(all.back().get());
            }
        bank = std::make_unique<CueBank>(rows);
    }
    std::vector<std::unique_ptr<FakeCuePlayer>> all;
    std::unique_ptr<CueBank> bank;
};

} // namespace

TEST_F(CueTableTest, RegistersListsAndDeletesAPathWithAnApostropheInEveryPhase)
{
    const QString file = QStringLiteral("/sounds/driver's call.wav");
    for (CuePhase phase : console::AllCuePhases) {
        EXPECT_EQ(registerCue(phase, QTime(0, 2, 0), file), CueRegistration::Registered);
        EXPECT_EQ(grid(phase), QStringList { "0:02:00 " + file });
        CueTable(*dm->Qtemp, platform::currentAsker(), kCode).remove(phase, "0:02:00");
        EXPECT_TRUE(grid(phase).isEmpty());
    }
    EXPECT_TRUE(asker.messages().isEmpty());
}

TEST_F(CueTableTest, AnApostropheInTheEventCodeStaysInsideEveryStatement)
{
    const QString odd = QStringLiteral("1' or '1'='1");
    registerCue(CuePhase::Race, QTime(0, 1, 0), "/mine.wav");
    EXPECT_EQ(registerCue(CuePhase::Race, QTime(0, 1, 0), "/a.wav", odd), CueRegistration::Registered);
    EXPECT_EQ(registerCue(CuePhase::Race, QTime(0, 1, 0), "/b.wav", odd), CueRegistration::Registered);
    EXPECT_EQ(grid(CuePhase::Race, odd), QStringList { "0:01:00 /b.wav" });
    CueTable(*dm->Qtemp, platform::currentAsker(), odd).remove(CuePhase::Race, "0:01:00");
    EXPECT_TRUE(grid(CuePhase::Race, odd).isEmpty());
    EXPECT_EQ(grid(CuePhase::Race), QStringList { "0:01:00 /mine.wav" });
}

TEST_F(CueTableTest, ASecondFileAtTheSameTimeReplacesTheFirst)
{
    registerCue(CuePhase::Race, QTime(0, 1, 0), "/a.wav");
    registerCue(CuePhase::Race, QTime(0, 0, 30), "/b.wav");
    EXPECT_EQ(registerCue(CuePhase::Race, QTime(0, 1, 0), "/c.wav"), CueRegistration::Registered);
    EXPECT_EQ(grid(CuePhase::Race), QStringList({ "0:00:30 /b.wav", "0:01:00 /c.wav" }));
}

TEST_F(CueTableTest, RefusesAFileOfAnotherPhaseAndChangesNothing)
{
    registerCue(CuePhase::Race, QTime(0, 1, 0), "/race.wav");
    EXPECT_EQ(registerCue(CuePhase::Warm, QTime(0, 2, 0), "/race.wav"), CueRegistration::Refused);
    EXPECT_EQ(asker.messages(), QStringList { kOther });
    EXPECT_TRUE(grid(CuePhase::Warm).isEmpty());
    EXPECT_EQ(grid(CuePhase::Race), QStringList { "0:01:00 /race.wav" });
}

TEST_F(CueTableTest, MovesAFileToANewTimeOnlyWhenTheOperatorAgrees)
{
    registerCue(CuePhase::Over, QTime(0, 0, 30), "/over.wav");
    asker.answer(false);
    EXPECT_EQ(registerCue(CuePhase::Over, QTime(0, 0, 20), "/over.wav"), CueRegistration::Kept);
    EXPECT_EQ(grid(CuePhase::Over), QStringList { "0:00:30 /over.wav" });
    asker.answer(true);
    EXPECT_EQ(registerCue(CuePhase::Over, QTime(0, 0, 20), "/over.wav"), CueRegistration::Registered);
    EXPECT_EQ(grid(CuePhase::Over), QStringList { "0:00:20 /over.wav" });
    EXPECT_EQ(asker.questions(), QStringList({ kMove, kMove }));
}

TEST_F(CueTableTest, AFullPhaseRefusesEvenAChangedFile)
{
    // As many rows as the phase has players; the interval's three are all that ever play.
    const std::pair<CuePhase, int> limits[] = { { CuePhase::Warm, 13 }, { CuePhase::Race, 14 },
        { CuePhase::Over, 3 }, { CuePhase::Interval, 3 } };
    for (const auto& [phase, limit] : limits) {
        const QString tag = QString::number(console::phaseIndex(phase));
        for (int i = 0; i < limit; ++i)
            ASSERT_EQ(registerCue(phase, QTime(0, 0, i + 1), QStringLiteral("/%1-%2.wav").arg(tag).arg(i)),
                CueRegistration::Registered);
        EXPECT_EQ(registerCue(phase, QTime(0, 5, 0), "/new" + tag + ".wav"), CueRegistration::Refused);
        EXPECT_EQ(registerCue(phase, QTime(0, 0, 1), "/other" + tag + ".wav"), CueRegistration::Refused);
        EXPECT_EQ(grid(phase).size(), limit);
    }
    EXPECT_EQ(asker.messages(), QStringList(8, kFull));
}

TEST_F(CueTableTest, AnEmptyFileBoxDoesNothing)
{
    EXPECT_EQ(registerCue(CuePhase::Warm, QTime(0, 1, 0), QString()), CueRegistration::Nothing);
    EXPECT_TRUE(grid(CuePhase::Warm).isEmpty());
}

// ---- Loading a run --------------------------------------------------------------------------

namespace {

struct Cue {
    char bun;
    QString tno, file;
};

struct LoadCase {
    const char* name;
    std::vector<Cue> cues;
    console::CueRunLengths lengths;
    QStringList cueList;
};

const console::CueRunLengths kLengths { QTime(0, 5, 0), QTime(0, 0, 0), QTime(0, 10, 0), QTime(0, 1, 0),
    QTime(0, 3, 0) };

QStringList raceList(int from, int to)
{
    QStringList entries;
    for (int s = to; s >= from; --s)
        entries << QStringLiteral("B-0:00:%1").arg(s, 2, 10, QLatin1Char('0'));
    return entries;
}

std::vector<Cue> fifteenRaceRows()
{
    std::vector<Cue> cues;
    for (int s = 1; s <= 15; ++s)
        cues.push_back({ 'r', QStringLiteral("0:00:%1").arg(s, 2, 10, QLatin1Char('0')),
            QStringLiteral("/r%1.wav").arg(s) });
    return cues;
}

const LoadCase kLoadCases[] = {
    { "no cues", {}, kLengths, { "-" } },
    { "a 0:30 blank window and the warm-up's own length",
        { { 'w', "0:05:00", "/w5.wav" }, { 'w', "0:04:00", "/w4.wav" }, { 'w', "0:00:10", "/w0.wav" } },
        { QTime(0, 5, 0), QTime(0, 0, 30), QTime(0, 10, 0), QTime(0, 1, 0), QTime(0, 3, 0) },
        { "R-0:04:00", "-" } },
    { "the race takes a cue at its full length, the warm-up not",
        { { 'w', "0:05:00", "/w.wav" }, { 'r', "0:10:00", "/r.wav" }, { 'o', "0:01:00", "/o.wav" },
            { 'i', "0:03:00", "/i.wav" } },
        kLengths, { "B-0:10:00", "Y-0:01:00", "X-0:03:00", "-" } },
    { "phases in order, largest time first, times compared by value",
        { { 'i', "0:00:05", "/i1.wav" }, { 'r', "9:00:00", "/r9.wav" }, { 'r', "10:00:00", "/r10.wav" },
            { 'w', "0:00:30", "/w1.wav" }, { 'w', "00:01:00", "/w2.wav" } },
        { QTime(0, 5, 0), QTime(0, 0, 0), QTime(10, 0, 0), QTime(0, 1, 0), QTime(0, 3, 0) },
        { "R-0:01:00", "R-0:00:30", "B-10:00:00", "B-9:00:00", "X-0:00:05", "-" } },
    { "fifteen race rows load the fourteen largest", fifteenRaceRows(), kLengths, raceList(2, 15) << "-" },
    { "five interval rows from a template: three play",
        { { 'i', "0:00:10", "/i1.wav" }, { 'i', "0:00:20", "/i2.wav" }, { 'i', "0:00:30", "/i3.wav" },
            { 'i', "0:00:40", "/i4.wav" }, { 'i', "0:00:50", "/i5.wav" } },
        kLengths, { "X-0:00:50", "X-0:00:40", "X-0:00:30", "-" } },
    { "a file that cannot be opened gets no slot and no entry",
        { { 'o', "0:00:50", "/missing.wav" }, { 'o', "0:00:40", "/o4.wav" }, { 'o', "0:00:30", "/o3.wav" },
            { 'o', "0:00:20", "/o2.wav" }, { 'o', "0:00:10", "/o1.wav" } },
        kLengths, { "Y-0:00:40", "Y-0:00:30", "Y-0:00:20", "-" } },
};

} // namespace

TEST_F(CueTableTest, LoadsTheCuesARunCanPlay)
{
    for (const LoadCase& c : kLoadCases) {
        exec("delete from music");
        for (const Cue& cue : c.cues)
            addCue(cue.bun, cue.tno, cue.file);
        Bank b;
        const auto loaded = b.bank->Load(console::readRunCues(*dm->Qtemp, kCode, c.lengths));
        EXPECT_EQ(loaded.cueList, c.cueList) << c.name;
    }
}

TEST_F(CueTableTest, TheKthEntryOfAPhasePlaysOnItsKthPlayer)
{
    addCue('r', "0:01:00", "/r1.wav");
    addCue('r', "0:02:00", "/missing.wav");
    addCue('r', "0:03:00", "/r3.wav");
    addCue('w', "0:00:30", "/w.wav");
    addCue('w', "0:00:20", "/w.wav", "202403092"); // another event's row
    Bank b;
    const auto loaded = b.bank->Load(console::readRunCues(*dm->Qtemp, kCode, kLengths));
    EXPECT_EQ(loaded.cueList, QStringList({ "R-0:00:30", "B-0:03:00", "B-0:01:00", "-" }));
    EXPECT_EQ(loaded.skipped, QStringList { "/missing.wav" });
    EXPECT_EQ(b.bank->slotFile(CuePhase::Warm, 0), "/w.wav");
    EXPECT_EQ(b.bank->slotFile(CuePhase::Race, 0), "/r3.wav");
    EXPECT_EQ(b.bank->slotFile(CuePhase::Race, 1), "/r1.wav");
    EXPECT_EQ(b.bank->slotFile(CuePhase::Race, 2), "");
    EXPECT_EQ(b.bank->player(CuePhase::Race, 1)->FileName(), "/r1.wav");

    // Every player is closed first; the slot of a file that did not open goes to the next cue.
    auto* race2 = static_cast<FakeCuePlayer*>(b.bank->player(CuePhase::Race, 1));
    EXPECT_EQ(race2->calls, QStringList({ "close", "open /missing.wav", "close", "open /r1.wav" }));
    b.bank->stopAll();
    EXPECT_EQ(race2->calls.last(), "stop");
    auto* over1 = static_cast<FakeCuePlayer*>(b.bank->player(CuePhase::Over, 0));
    EXPECT_EQ(over1->calls, QStringList { "close" }) << "a player without a file is not stopped";

    b.bank->Clear();
    EXPECT_TRUE(race2->FileName().isEmpty());
    EXPECT_EQ(b.bank->slotFile(CuePhase::Race, 0), "");
}
