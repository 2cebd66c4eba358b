// How long "Сохранить…" in "Отчёт для сервиса…" takes after an hour of polling: the report
// gathered (the hour's log, the chart drawn off screen, the unit's part, the counters) and the
// archive written (target: under 2 s).
#include "DiagnosticsTools.h"
#include "ServiceReportTools.h"
#include "TelemetryTools.h"

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

constexpr std::int64_t kStartMs = 1796637600000; // 2026-12-07 10:00 UTC
constexpr int kHourOfReplies = 3600 * 2;         // one reply every 500 ms
constexpr std::int64_t kPollMs = 500;

void BM_WriteReportOfAnHour(benchmark::State& benchState) {
    kvel::LinkState state;
    std::int64_t nowMs = kStartMs;
    QMainWindow main;
    kvel::TelemetryTools telemetry(state, *main.statusBar(), &main, [&] { return nowMs; });
    kvel::DiagnosticsTools diagnostics(&main);
    kvel::ServiceReportTools report(state, diagnostics, telemetry, {}, &main);
    state.InputImage[0] = 0x0031;
    for (int i = 0; i < kHourOfReplies; ++i) {
        nowMs = kStartMs + i * kPollMs;
        state.HoldingImage[3] = static_cast<std::uint16_t>(520 + (i * 37) % 41);
        state.HoldingImage[1] = static_cast<std::uint16_t>(50 - i / 400 + (i * 13) % 7);
        state.HoldingImage[16] = 545;
        telemetry.ReplyAccepted({}, i % 2 ? kvel::ReplyKind::Holding : kvel::ReplyKind::Input);
    }
    QTemporaryDir dir;
    const std::string path = dir.filePath("report.zip").toStdString();
    for (auto _ : benchState) {
        const kvel::ServiceReport gathered = report.Gather(nowMs);
        if (gathered.Write(path)) benchState.SkipWithError("the report was not written");
    }
    benchState.counters["samples"] = static_cast<double>(telemetry.Recorder().Size());
}
BENCHMARK(BM_WriteReportOfAnHour)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
