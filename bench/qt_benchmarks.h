#pragma once

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QtGlobal>

// The body of a benchmark program's main() that needs a Qt application of type `App`
// (fonts, widgets): offscreen unless a platform is chosen, nothing is shown.
template <typename App>
int runQtBenchmarks(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
