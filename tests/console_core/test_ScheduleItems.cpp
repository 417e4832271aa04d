// The running and next schedule item as the control page shows them, on a simulated clock.

#include "ScheduleFixture.h"
#include "console/ScheduleItems.h"

using console::ItemLabels;
using console::ScheduleItems;
using testing_support::ScheduleFixture;

namespace console {
void PrintTo(const ItemLabels& l, std::ostream* os)
{
    *os << '[' << l.current.toStdString() << " | " << l.next.toStdString() << " | "
        << l.nextTimes.toStdString() << ']';
}
} // namespace console

namespace {

class ScheduleItemsTest : public ScheduleFixture {
protected:
    static QTime T(const char* text)
    {
        return QTime::fromString(QLatin1String(text), QStringLiteral("H:mm:ss.zzz"));
    }
    void SetUp() override
    {
        ScheduleFixture::SetUp();
        shown.emplace(*dm, kCode);
    }
    std::optional<ScheduleItems> shown; // made once the data module exists
    const QTime end { 10, 0 };
};

const ItemLabels kNone {};

// A row of a table: the labels the page shows at a time of day.
struct LabelsAt {
    const char* now;
    ItemLabels labels;
};

} // namespace

TEST_F(ScheduleItemsTest, PageShowFindsTheRunningAndTheNextItem)
{
    addAbc();
    // Contents an older program stored with line breaks show on one line, as on the monitor.
    exec("update rmenu set rmenu='B'||char(13)||char(10)||'b' where rmenu='B'");
    exec("update rmenu set rmenu='C'||char(13)||'c'||char(10)||'d' where rmenu='C'");
    const LabelsAt cases[] = {
        { "8:50:00.000", { "", "A", "9:00:00-9:30:00" } },
        { "9:35:00.000", { "B b", "C c d", "9:40:00-10:00:00" } },
        { "9:45:00.000", { "C c d", "", "" } },
        { "10:00:01.000", kNone },
    };
    for (const LabelsAt& c : cases)
        EXPECT_EQ(shown->show(T(c.now)), c.labels) << c.now;
}

TEST_F(ScheduleItemsTest, TheTickerAdvancesAtTheNextStartAndEmptiesAfterTheEnd)
{
    addAbc();
    exec("update rmenu set rmenu='C'||char(10)||'c' where rmenu='C'");
    shown->show(T("9:35:00.000"));
    EXPECT_EQ(shown->NextItemStart(), QTime(9, 40));
    const LabelsAt steps[] = {
        { "9:39:59.750", { "B", "C c", "9:40:00-10:00:00" } },
        { "9:40:00.000", { "C c", "", "" } },
        { "9:59:59.750", { "C c", "", "" } },
        { "10:00:00.500", { "C c", "", "" } },
        { "10:00:01.000", kNone },
    };
    for (const LabelsAt& s : steps)
        EXPECT_EQ(shown->Tick(T(s.now), end), s.labels) << s.now;
}

TEST_F(ScheduleItemsTest, AStalledSecondAtAStartIsCaughtUpOnce)
{
    addAbc();
    shown->show(T("9:35:00.000"));
    shown->Tick(T("9:39:59.900"), end);
    EXPECT_EQ(shown->Tick(T("9:40:01.300"), end), ItemLabels({ "C", "", "" }));
    // Worked out once: later ticks do not read the schedule again.
    exec("delete from rmenu where rmenu='C'");
    EXPECT_EQ(shown->Tick(T("9:40:02.000"), end), ItemLabels({ "C", "", "" }));
}

TEST_F(ScheduleItemsTest, AnItemThatHasNotStartedIsNeverShownAsRunning)
{
    addAbc();
    shown->show(T("9:35:00.000"));
    exec("update rmenu set btime='9:45:00' where rmenu='C'");
    EXPECT_EQ(shown->Tick(T("9:40:00.000"), end), ItemLabels({ "B", "C", "9:45:00-10:00:00" }));
    EXPECT_EQ(shown->Tick(T("9:45:00.250"), end), ItemLabels({ "C", "", "" }));
}

TEST_F(ScheduleItemsTest, AScheduleWithoutRowsShowsNothing)
{
    EXPECT_EQ(shown->show(T("9:35:00.000")), kNone);
    EXPECT_EQ(shown->Tick(T("9:35:00.250"), QTime(0, 0)), kNone);
}
