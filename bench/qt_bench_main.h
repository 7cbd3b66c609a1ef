#pragma once

// The main of a benchmark program that needs a Qt application object. The program keeps its
// own one-line `int main(` (which tells the build not to link benchmark's main) calling this.

#include <QByteArray>
#include <QtGlobal>

#include <benchmark/benchmark.h>

namespace BenchApp {

// Runs the program's benchmarks inside an `Application` (QCoreApplication, QGuiApplication
// for fonts, QApplication for widgets); nothing is shown.
template <typename Application>
int runBenchmarks(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace BenchApp
