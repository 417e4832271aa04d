// How long the table layout upgrade of a large old database takes (2,000 events, 50,000 schedule
// rows, the first layout), and the longest stretch in which the start window hears nothing from
// it: the window paints and refuses input only when it is told of progress.
#include "app/Udm1.h"
#include "app/Umain_upgrade.h"
#include "bench/BenchMain.h"
#include "platform/DataSet.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>

namespace {

constexpr int kEvents = 2000;
constexpr int kRowsPerEvent = 25;

// A database of the first layout, written once and copied before each run.
QString makeOldDatabase(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("old.db"));
    platform::Database db;
    db.setPath(path);
    db.execute("create table taikai (tcode varchar(10), tname varchar(60), tdate date, status smallint)");
    db.execute("create table rmenu (tcode varchar(10), rr integer, btime time, etime time, kara varchar(2),"
               " rmenu varchar(60))");
    db.execute("create table music (tcode varchar(10), bun varchar(1), tno time, mname varchar(255))");
    db.execute("begin");
    for (int e = 0; e < kEvents; ++e) {
        const QString code = QString::number(e + 1);
        db.execute(
            QStringLiteral("insert into taikai (tcode,tname,tdate) values ('%1','Event %1','%2/%3/2023')")
                .arg(code)
                .arg(e % 12 + 1, 2, 10, QChar(u'0'))
                .arg(e % 28 + 1, 2, 10, QChar(u'0')));
        for (int r = 0; r < kRowsPerEvent; ++r)
            db.execute(QStringLiteral("insert into rmenu (tcode,rr,btime,etime,kara,rmenu) values "
                                      "('%1',1,'%2:00:00','%2:30:00','-','Heat %3 A %2')")
                           .arg(code)
                           .arg(r % 20)
                           .arg(r));
    }
    db.execute("commit");
    return path;
}

void upgradeLargeOldDatabase(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString old = makeOldDatabase(dir);
    qputenv("TAVO_HOME", QFile::encodeName(dir.path()));
    const QString live = QDir(dir.path()).filePath(QStringLiteral("tavo.db"));
    double longestGapMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (const char* suffix : { "", "-wal", "-shm" })
            QFile::remove(live + QLatin1String(suffix));
        QFile::copy(old, live);
        TDM1 dm;
        dm.Database1->setConnected(true);
        QElapsedTimer sinceLast;
        state.ResumeTiming();
        sinceLast.start();
        const LayoutUpgradeResult r = upgradeTableLayout(dm, [&](const QString&) {
            longestGapMs = std::max(longestGapMs, double(sinceLast.nsecsElapsed()) / 1e6);
            sinceLast.restart();
        });
        longestGapMs = std::max(longestGapMs, double(sinceLast.nsecsElapsed()) / 1e6);
        if (r.versionAfter != CurrentLayoutVersion)
            state.SkipWithError(r.failure.toStdString().c_str());
    }
    state.counters["longest_gap_ms"] = longestGapMs;
}
BENCHMARK(upgradeLargeOldDatabase)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) { return bench_support::runBenchmarks<QApplication>(argc, argv); }
