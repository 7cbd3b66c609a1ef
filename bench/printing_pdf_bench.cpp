#include "bench/district_generator.h"
#include "bench/qt_bench_main.h"
#include "core/chart/chart_layout.h"
#include "core/model/print_settings.h"
#include "printing/chart_pdf_rasterizer.h"
#include "printing/chart_pdf_renderer.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

using BenchDistrict::plainDistrict;

// Letter portrait at range(1) percent; 0 fits the whole chart on one page. A 5,000-position
// district at 100 % would need thousands of pages, past the tiling's limit of 500.
void pdfOnLetter(benchmark::State &state)
{
    const Organization &organization = plainDistrict(static_cast<int>(state.range(0)));
    ChartPrintSettings settings;
    settings.scalePercent = static_cast<double>(state.range(1));
    if (state.range(1) == 0)
        settings.scalePercent = settings.fittedPercentage(settings.layout(organization).size);
    QByteArray pdf;
    for (auto _ : state) {
        pdf = ChartPDFRenderer::render(organization, "District", "Entire organization", settings, {});
        benchmark::DoNotOptimize(pdf.data());
    }
    state.counters["positions"] = static_cast<double>(organization.positions.size());
    state.counters["pages"] = ChartPDFRasterizer::pageCount(pdf);
    state.counters["MB"] = static_cast<double>(pdf.size()) / 1e6;
}

void previewPage(benchmark::State &state)
{
    const QByteArray pdf = ChartPDFRenderer::render(plainDistrict(1000), "District", "Entire organization",
                                                    ChartPrintSettings{}, {});
    for (auto _ : state)
        benchmark::DoNotOptimize(ChartPDFRasterizer::bitmap(pdf, 0, 1400));
}

} // namespace

BENCHMARK(pdfOnLetter)->Args({1000, 100})->Args({5000, 25})->Args({5000, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(previewPage)->Unit(benchmark::kMillisecond);

// Fonts need an application object; nothing is shown.
int main(int argc, char **argv) { return BenchApp::runBenchmarks<QGuiApplication>(argc, argv); }
