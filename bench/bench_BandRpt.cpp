// The cost of the band report engine against bare painting of the same texts.
//
//   bench_BandRpt [--benchmark_filter=...]
//
// Both benchmarks print the same 1,000 or 10,000 records of a query (the argument): A4 portrait,
// 10 mm margins; a 20-mm page header with a 14-pt title and five 9-pt column titles; a 6-mm
// detail band of five 9-pt texts at 0, 22, 44, 140 and 160 mm, the last an expression of the
// record; an 8-mm page footer with "n/N".
//   BM_BandReport     the report, built with the builder, run into its page store (Prepare).
//   BM_BarePictures   the same texts at the same places, painted straight onto QPicture pages.
//   BM_PrepareWithQueues  making the report and running 1,000 records into its page store, on a
//                     print system without queues (0), with three queues whose listing takes
//                     50 ms (1), and as the machine has it (2). A run into the page store asks
//                     the print server nothing, so the three should cost the same ("listings"
//                     counts the listings made during the runs: 0).
// The report is meant to cost at most 1.3 times the bare painting, at either number of records:
// the cost of a record must not grow with the number of records.

#include "bench/BenchMain.h"
#include "platform/DataSet.h"
#include "platform/TavoApplication.h"
#include "report/BRCtrls.h"
#include "report/BandRpt.h"

#include <QApplication>
#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

constexpr int MaxRows = 10000;
const double Columns[] = { 0, 220, 440, 1400, 1600 }; // tenths of a millimetre from the margin
const char* const Titles[] = { "開始時刻", "終了時刻", "クラス", "ヒート", "周回" };

// A database of 10,000 schedule rows and queries over the first 1,000 and over all, opened.
struct Data {
    Data()
    {
        qputenv("TAVO_HOME", home.path().toUtf8());
        db.setConnected(true);
        db.execute(
            "create table rmenu (btime time, etime time, cls varchar(40), heat integer, laps integer)");
        platform::Transaction t(db);
        for (int i = 0; i < MaxRows; ++i) {
            const int start = 9 * 3600 + i * 300;
            const auto clock = [](int s) {
                return QStringLiteral("%1:%2:00")
                    .arg(s / 3600 % 24)
                    .arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
            };
            db.execute(QStringLiteral("insert into rmenu values ('%1','%2','予選 クラス%3',%4,%5)")
                           .arg(clock(start), clock(start + 240))
                           .arg(i % 7 + 1)
                           .arg(i % 12 + 1)
                           .arg(i % 5 + 10));
        }
        t.Commit();
        thousand.SQL << "select * from rmenu limit 1000";
        thousand.Open();
        all.SQL << "select * from rmenu";
        all.Open();
    }
    QTemporaryDir home;
    platform::Database db;
    platform::Query thousand { &db };
    platform::Query all { &db };
};

// The opened query over `rows` records (1,000 or 10,000).
platform::Query& rmenu(int rows)
{
    static Data data;
    return rows == MaxRows ? data.all : data.thousand;
}

QFont Font(double points)
{
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPointSizeF(points);
    return font;
}

// The report: field texts come in through the labels' OnPrint, as data-bound texts would give
// them; the fifth is the value of an expression over the record.
struct Report {
    explicit Report(int rows)
    {
        platform::Query& q = rmenu(rows);
        report.setDataSet(&q);
        TBRReportBuilder b(report);
        b.Page(TBRPaperSize::A4, TPrinterOrientation::poPortrait, 100);
        TBRBand* header = b.band(TBRBandType::rbPageHeader, 200);
        b.label(header, QStringLiteral("レース スケジュール"),
            { .top = 20, .pointSize = 14, .alignment = TAlignment::taCenter, .alignToBand = true });
        for (int c = 0; c < 5; ++c)
            b.label(header, QString::fromUtf8(Titles[c]), { .left = Columns[c], .top = 140, .pointSize = 9 });
        TBRBand* detail = b.band(TBRBandType::rbDetail, 60);
        const char* const fields[] = { "btime", "etime", "cls", "heat" };
        for (int c = 0; c < 4; ++c) {
            TBRLabel* label = b.label(detail, QString(), { .left = Columns[c], .top = 5, .pointSize = 9 });
            platform::Field* field = q.FieldByName(QString::fromLatin1(fields[c]));
            label->OnPrint = [field](TBRCustomLabel*, QString& v) { v = field->AsString(); };
        }
        TBRLabel* expression = b.label(detail, QString(), { .left = Columns[4], .top = 5, .pointSize = 9 });
        expression->OnPrint
            = [this](TBRCustomLabel*, QString& v) { v = EvResultToString(evaluator.Value()); };
        TBRBand* footer = b.band(TBRBandType::rbPageFooter, 80);
        TBRLabel* pages = b.label(footer, QString(),
            { .left = 1900, .top = 10, .pointSize = 9, .alignment = TAlignment::taRightJustify });
        pages->OnPrint = [this](TBRCustomLabel*, QString& v) {
            v = QStringLiteral("%1/%2").arg(report.PageNumber()).arg(pageTotal);
        };
        b.Finish();
        evaluator.SetDataSets({ &q });
        evaluator.Prepare(QStringLiteral("'周回 ' + STR(laps * 2)"));
    }
    TBandReport report;
    TBREvaluator evaluator;
    int pageTotal = 0;
};

void BM_BandReport(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    Report r(rows);
    r.report.Prepare();
    r.pageTotal = r.report.BRPrinter()->PageCount();
    for (auto _ : state)
        r.report.Prepare();
    state.counters["pages"] = r.report.BRPrinter()->PageCount();
    state.counters["page_bytes"] = static_cast<double>(r.report.BRPrinter()->GetPage(2)->size());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * rows);
}
BENCHMARK(BM_BandReport)->Unit(benchmark::kMillisecond)->Arg(1000)->Arg(MaxRows);

void BM_PrepareWithQueues(benchmark::State& state)
{
    std::atomic<int> listings = 0;
    TBRQueueLister previous;
    if (state.range(0) < 2) {
        const bool queues = state.range(0) == 1;
        previous = setQueueLister([&listings, queues] {
            ++listings;
            TBRQueueList list;
            if (!queues)
                return list;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            for (const char* name : { "office", "track", "pit" })
                list.append({ QString::fromLatin1(name), list.isEmpty(), TBRPaperSize::A4, { 9 } });
            return list;
        });
    }
    for (auto _ : state) {
        Report r(1000);
        r.report.Prepare();
        benchmark::DoNotOptimize(r.report.BRPrinter()->PageCount());
    }
    state.counters["listings"] = listings.load();
    if (state.range(0) < 2)
        setQueueLister(previous);
}
BENCHMARK(BM_PrepareWithQueues)->Unit(benchmark::kMillisecond)->Arg(0)->Arg(1)->Arg(2);

// The same texts painted at the same places, page after page, with nothing in between.
void BM_BarePictures(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    platform::Query& q = rmenu(rows);
    TBREvaluator evaluator;
    evaluator.SetDataSets({ &q });
    evaluator.Prepare(QStringLiteral("'周回 ' + STR(laps * 2)"));
    const double f = 96 / 254.0;
    const auto px = [f](double tenths) { return tenths * f; };
    const QFont title = Font(14);
    const QFont text = Font(9);
    const QFontMetricsF textMetrics(text);
    const int perPage = (2970 - 100 - 100 - 200 - 80) / 60;
    const int pageTotal = (rows + perPage - 1) / perPage;
    const QRect sheet(0, 0, static_cast<int>(std::lround(px(2100))), static_cast<int>(std::lround(px(2970))));
    std::vector<QPicture> pages;
    for (auto _ : state) {
        pages.clear();
        pages.reserve(static_cast<std::size_t>(pageTotal));
        q.First();
        for (int page = 1; !q.Eof(); ++page) {
            pages.emplace_back();
            QPicture& pic = pages.back();
            pic.setBoundingRect(sheet);
            QPainter p(&pic);
            p.setFont(title);
            p.drawText(QRectF(px(100), px(120), px(1900), px(60)), Qt::AlignHCenter | Qt::AlignTop,
                QStringLiteral("レース スケジュール"));
            p.setFont(text);
            for (int c = 0; c < 5; ++c)
                p.drawText(QPointF(px(100 + Columns[c]), px(240) + textMetrics.ascent()),
                    QString::fromUtf8(Titles[c]));
            double y = 300;
            for (int n = 0; n < perPage && !q.Eof(); ++n, q.Next()) {
                const double baseline = px(y + 5) + textMetrics.ascent();
                p.drawText(QPointF(px(100 + Columns[0]), baseline), q.FieldByName("btime")->AsString());
                p.drawText(QPointF(px(100 + Columns[1]), baseline), q.FieldByName("etime")->AsString());
                p.drawText(QPointF(px(100 + Columns[2]), baseline), q.FieldByName("cls")->AsString());
                p.drawText(QPointF(px(100 + Columns[3]), baseline), q.FieldByName("heat")->AsString());
                p.drawText(QPointF(px(100 + Columns[4]), baseline), EvResultToString(evaluator.Value()));
                y += 60;
            }
            p.drawText(QRectF(px(100), px(2790 + 10), px(1900), px(60)), Qt::AlignRight | Qt::AlignTop,
                QStringLiteral("%1/%2").arg(page).arg(pageTotal));
        }
        benchmark::DoNotOptimize(pages.data());
    }
    state.counters["pages"] = static_cast<double>(pages.size());
    state.counters["page_bytes"] = static_cast<double>(pages[1].size());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * rows);
}
BENCHMARK(BM_BarePictures)->Unit(benchmark::kMillisecond)->Arg(1000)->Arg(MaxRows);

} // namespace

int main(int argc, char** argv)
{
    return bench_support::runBenchmarks<QApplication>(argc, argv, platform::installFontSubstitutions);
}
