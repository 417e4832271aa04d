#pragma once

// What every benchmark program's main does: make the Qt application its benchmarks need, then run
// the benchmarks named on the command line.

#include <QByteArray>
#include <QtGlobal>
#include <benchmark/benchmark.h>
#include <functional>

namespace bench_support {

// App is the Qt application class the benchmarks need. A GUI application (fonts, painting,
// printing, media) runs on the offscreen platform when there is no display. `afterStart` runs
// once the application exists (font substitutions, say).
template <class App> int runBenchmarks(int argc, char** argv, const std::function<void()>& afterStart = {})
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    App app(argc, argv);
    if (afterStart)
        afterStart();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace bench_support
