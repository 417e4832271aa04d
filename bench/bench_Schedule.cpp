// How long the schedule takes for its heaviest command and for the monitor file that follows
// every command: a 500-row day, one row inserted after the first (every later row re-chained),
// and RInfo.txt rewritten from the rows.
#include "app/Udm1.h"
#include "app/uComm.h"
#include "bench/BenchMain.h"
#include "console/MonitorFiles.h"
#include "console/Schedule.h"
#include "console/Utaikai_time.h"
#include "platform/DataSet.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const QString kCode = QStringLiteral("202403091");

// An event whose day holds `rows` one-minute rows from 8:00 on, in the data module's tables.
struct Day {
    QTemporaryDir dir;
    TDM1 dm;
    explicit Day(int rows)
    {
        qputenv("TAVO_HOME", dir.path().toUtf8());
        dm.reconnect();
        platform::Transaction tx(*dm.Database1);
        for (int i = 0; i < rows; ++i) {
            const int start = 8 * 3600 + i * 60;
            dm.Database1->execute(
                QStringLiteral("insert into rmenu (tcode,rr,btime,etime,kara,rmenu,uc,round,heat) values "
                               "('%1',1,'%2','%3','-','item %4','%4','0','0')")
                    .arg(kCode, console::longTimeTextOfSeconds(start),
                        console::longTimeTextOfSeconds(start + 60))
                    .arg(i + 1));
        }
        tx.Commit();
    }
};

void insertAtTheTopOfTheDay(benchmark::State& state)
{
    Day day(int(state.range(0)));
    console::Schedule schedule(day.dm, kCode);
    const console::ScheduleEditor editor { QTime(0, 0), QTime(0, 1), QStringLiteral("inserted") };
    for (auto _ : state) {
        const console::ScheduleOutcome out = schedule.insert(editor, 1);
        if (!out.done)
            state.SkipWithError("the insert was refused");
        state.PauseTiming();
        // Back to the same day for the next round: the row goes and the others move forward.
        schedule.remove(out.uc);
        state.ResumeTiming();
    }
}
BENCHMARK(insertAtTheTopOfTheDay)->Arg(500)->Unit(benchmark::kMillisecond);

void writeinfoOfTheDay(benchmark::State& state)
{
    Day day(int(state.range(0)));
    console::MonitorFileWriter files(day.dir.path());
    for (auto _ : state)
        benchmark::DoNotOptimize(console::Writeinfo(*day.dm.Database1, kCode, files));
}
BENCHMARK(writeinfoOfTheDay)->Arg(500)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return bench_support::runBenchmarks<QCoreApplication>(argc, argv); }
