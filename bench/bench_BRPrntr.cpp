// Page compression speed and page store throughput on recorded schedule pages.
//
//   bench_BRPrntr [--benchmark_filter=...]
//
// Store arguments: {spilled, compressed}; "spilled" stores use the default 250000-byte memory
// limit, so the 200 pages live in a temporary file; the others keep everything in memory.

#include "bench/BenchMain.h"
#include "platform/TavoApplication.h"
#include "tests/report/BRPageSamples.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <limits>

namespace {

constexpr int StorePages = 200;

const QByteArray& pageBytes()
{
    static const QByteArray bytes = page_samples::pictureBytes(page_samples::recordPage(1, 40));
    return bytes;
}

void BM_Compress(benchmark::State& state)
{
    const QByteArray& page = pageBytes();
    qsizetype codeSize = 0;
    for (auto _ : state) {
        const QByteArray code = TBRCompress::compress(page);
        codeSize = code.size();
        benchmark::DoNotOptimize(code.constData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
    state.counters["page_bytes"] = static_cast<double>(page.size());
    state.counters["ratio"] = static_cast<double>(codeSize) / static_cast<double>(page.size());
}
BENCHMARK(BM_Compress);

void BM_Expand(benchmark::State& state)
{
    const QByteArray& page = pageBytes();
    const QByteArray code = TBRCompress::compress(page);
    for (auto _ : state) {
        const auto back = TBRCompress::expand(code, page.size());
        benchmark::DoNotOptimize(back->constData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}
BENCHMARK(BM_Expand);

std::unique_ptr<TBRPageList> makeStore(bool spilled, bool compressed)
{
    auto list = std::make_unique<TBRPageList>();
    list->setStream(TBRStream::CreateInMemory(
        spilled ? TBRStream::DefaultMemoryLimit : std::numeric_limits<qint32>::max()));
    list->SetCompression(compressed);
    return list;
}

void BM_AddPages(benchmark::State& state)
{
    const bool spilled = state.range(0) != 0;
    const bool compressed = state.range(1) != 0;
    const QByteArray& page = pageBytes();
    for (auto _ : state) {
        auto list = makeStore(spilled, compressed);
        for (int n = 0; n < StorePages; ++n)
            list->addPageData(page);
        list->Finish();
        if (list->stream()->inMemory() == spilled)
            state.SkipWithError("store not where it should be");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * StorePages);
}
BENCHMARK(BM_AddPages)->ArgsProduct({ { 0, 1 }, { 0, 1 } })->Unit(benchmark::kMillisecond);

void BM_FetchPages(benchmark::State& state)
{
    const bool spilled = state.range(0) != 0;
    const bool compressed = state.range(1) != 0;
    auto list = makeStore(spilled, compressed);
    for (int n = 0; n < StorePages; ++n)
        list->AddPage(page_samples::recordPage(n + 1, n % 40));
    list->Finish();
    for (auto _ : state) {
        // In order, as printing reads them, then a jump back as the preview does.
        for (int n = 1; n <= StorePages; ++n)
            benchmark::DoNotOptimize(list->GetPage(n).get());
        benchmark::DoNotOptimize(list->GetPage(1).get());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * (StorePages + 1));
}
BENCHMARK(BM_FetchPages)->ArgsProduct({ { 0, 1 }, { 0, 1 } })->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return bench_support::runBenchmarks<QGuiApplication>(argc, argv, platform::installFontSubstitutions);
}
