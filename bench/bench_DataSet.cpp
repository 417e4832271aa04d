// How long the data-set layer takes for the schedule's everyday work: opening a day's rows
// ordered by start time (the time collation runs on every comparison) and walking them.
#include "bench/BenchMain.h"
#include "platform/DataSet.h"
#include "platform/SqlDialect.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstring>

namespace {

struct Fixture {
    QTemporaryDir dir;
    platform::Database db;
    explicit Fixture(int rows)
    {
        db.setPath(dir.filePath("bench.db"));
        db.execute(
            "create table rmenu (tcode integer, btime time, etime time, rmenu varchar(60), uc integer)");
        db.execute("begin");
        for (int i = 0; i < rows; ++i) {
            const int s = (i * 7919) % 86000; // start times in no order
            const QString b = QStringLiteral("%1:%2:%3")
                                  .arg(s / 3600)
                                  .arg(s / 60 % 60, 2, 10, QChar(u'0'))
                                  .arg(s % 60, 2, 10, QChar(u'0'));
            db.execute(QStringLiteral("insert into rmenu values ('202403092','%1','%1','item %2','%2')")
                           .arg(b)
                           .arg(i));
        }
        db.execute("commit");
    }
};

void openScheduleOrderedByTime(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    platform::Query q(&f.db);
    for (auto _ : state) {
        q.SQL.clear();
        q.SQL << "select * from rmenu where tcode='202403092'"
              << "order by btime";
        q.Open();
        int n = 0;
        for (q.First(); !q.Eof(); q.Next())
            n += q.FieldByName("btime")->AsString().size();
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(openScheduleOrderedByTime)->Arg(100)->Arg(1000);

void compareTimeTexts(benchmark::State& state)
{
    const char *a = "9:30:00", *b = "10:00:00";
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::sql::compareTimeTexts(a, int(strlen(a)), b, int(strlen(b))));
}
BENCHMARK(compareTimeTexts);

} // namespace

int main(int argc, char** argv) { return bench_support::runBenchmarks<QCoreApplication>(argc, argv); }
