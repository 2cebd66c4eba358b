// How long the chart window takes to open over a day of samples at the poll rate, all of it
// shown, until its first picture is drawn (target: under 1 s); and one live redraw of the
// ten-minute view with a full day in the ring, which the window repeats every second.
#include "TelemetryChartWindow.h"
#include "TelemetryRecorder.h"

#include <QApplication>
#include <QChartView>
#include <QPushButton>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

constexpr std::int64_t kStartMs = 1796637600000; // 2026-12-07 10:00 UTC
constexpr int kDayOfReplies = 24 * 3600 * 2;     // one reply every 500 ms
constexpr std::int64_t kPollMs = 500;

// A day of a unit charging: the voltage climbs to its setpoint, the current falls, the
// temperature follows the current; the setpoint steps twice and the link is lost once an hour.
struct DayOfSamples {
    DayOfSamples() {
        recorder.InputReplyAccepted(kStartMs);
        for (int i = 1; i <= kDayOfReplies; ++i) {
            const std::int64_t timeMs = kStartMs + i * kPollMs;
            if (i % 7200 == 0) {
                recorder.LinkLost(timeMs);
                continue;
            }
            const int setpoint = i < kDayOfReplies / 3       ? 540
                                 : i < 2 * kDayOfReplies / 3 ? 560
                                                             : 545;
            state.HoldingImage[3] = static_cast<std::uint16_t>(setpoint - 20 + (i * 37) % 41);
            state.HoldingImage[1] = static_cast<std::uint16_t>(50 - i / 4000 + (i * 13) % 7);
            state.HoldingImage[2] = static_cast<std::uint16_t>(25 + (i / 3000) % 15);
            state.HoldingImage[0] = 600;
            state.HoldingImage[16] = static_cast<std::uint16_t>(setpoint);
            state.HoldingImage[17] = 50;
            state.InputImage[0] = 0x0031;
            if (i % 2 == 0)
                recorder.HoldingReplyAccepted(timeMs);
            else
                recorder.InputReplyAccepted(timeMs);
        }
    }
    kvel::LinkState state;
    kvel::TelemetryRecorder recorder{state};
    std::int64_t endMs = kStartMs + (kDayOfReplies + 1) * kPollMs;
};

DayOfSamples& Day() {
    static DayOfSamples day;
    return day;
}

void BM_OpenDayChart(benchmark::State& benchState) {
    DayOfSamples& day = Day();
    for (auto _ : benchState) {
        kvel::TelemetryChartWindow window(day.recorder, [&day] { return day.endMs; });
        window.SpanButtons[kvel::TelemetryChartWindow::Everything]->click();
        benchmark::DoNotOptimize(window.ChartView->grab());
    }
    benchState.counters["samples"] = static_cast<double>(day.recorder.Size());
}
BENCHMARK(BM_OpenDayChart)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LiveRedrawTenMinutes(benchmark::State& benchState) {
    DayOfSamples& day = Day();
    kvel::TelemetryChartWindow window(day.recorder, [&day] { return day.endMs; });
    for (auto _ : benchState) {
        window.Redraw();
        benchmark::DoNotOptimize(window.ChartView->grab());
    }
}
BENCHMARK(BM_LiveRedrawTenMinutes)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
