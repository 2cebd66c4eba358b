// The CPU the program uses while it polls kvel-sim, first without the chart window and then
// with it open and following the live samples (target: at most 2 x without).
// Usage: chart_cpu_bench [seconds per phase, default 60]
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"
#include "SystemSerialChannel.h"
#include "TelemetryChartWindow.h"
#include "TelemetryTools.h"
#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// CPU seconds the whole program used while the event loop ran for `seconds`.
double CpuOver(int seconds) {
    const double before = CpuSeconds();
    QTest::qWait(seconds * 1000);
    return CpuSeconds() - before;
}

int Measure(int seconds) {
    kvel::test::ScratchDir dir;
    QFile settings("data.inf");
    if (!settings.open(QIODevice::WriteOnly)) return 1;
    settings.write(QByteArray("\x01\x00\x03\x00\x01\x00", 6));
    settings.close();
    kvel::test::SimulatedUnit unit;
    if (!unit.Started()) return 1;

    kvel::SystemSerialChannel channel;
    kvel::TForm1 main(channel);
    main.show();
    main.activateWindow();
    const kvel::TelemetryRecorder& recorder = main.Telemetry().Recorder();
    if (!QTest::qWaitFor([&] { return recorder.Size() > 4; }, 10000)) return 1;

    const double without = CpuOver(seconds);
    main.Telemetry().ChartItem->trigger();
    kvel::TelemetryChartWindow* chart = kvel::NewestWindow<kvel::TelemetryChartWindow>::Get();
    if (!chart || !chart->LiveCheckBox->isChecked()) return 1;
    QTest::qWait(2000); // the window's first drawing is not what is measured
    const std::size_t samplesBefore = recorder.Size();
    const double with = CpuOver(seconds);
    if (recorder.Size() <= samplesBefore ||
        chart->ShownEndMs() < recorder.At(recorder.Size() - 1).timeMs - 2000)
        return 1;

    std::printf("polling kvel-sim for %d s: CPU %.2f s without the chart, %.2f s with it following "
                "live (%.2f x; target at most 2 x)\n",
                seconds, without, with, with / without);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int result = Measure(seconds > 0 ? seconds : 60);
    if (result != 0) std::fprintf(stderr, "chart_cpu_bench: polling or the chart did not run\n");
    return result;
}
