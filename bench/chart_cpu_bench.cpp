// The CPU the program uses minute by minute while it polls kvel-sim for a long while, with
// windows open as `mode` says: "plain" (none), "chart" ("График" following live over ten
// minutes, so its span is full from minute 11 on) or "all" (the chart, the monitor and the log
// window, with recording). bench/chart-cpu.sh runs the three side by side and compares them.
// Usage: chart_cpu_bench MODE [minutes, default 30]
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"
#include "SystemSerialChannel.h"
#include "TelemetryChartWindow.h"
#include "TelemetryRecording.h"
#include "TelemetryTools.h"
#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Waits on the event loop as the program does; QTest::qWait would wake every 10 ms and add its
// own cost to what is measured.
void RunEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool OpenWindows(kvel::TForm1& main, const char* mode) {
    if (std::strcmp(mode, "plain") == 0) return true;
    main.Room<kvel::TelemetryTools>()->ChartItem->trigger();
    const kvel::TelemetryChartWindow* chart = kvel::NewestWindow<kvel::TelemetryChartWindow>::Get();
    if (!chart || !chart->LiveCheckBox->isChecked()) return false;
    if (std::strcmp(mode, "chart") == 0) return true;
    if (std::strcmp(mode, "all") != 0) return false;
    main.ServiceItem(QStringLiteral("Монитор обмена"))->trigger();
    main.Room<kvel::TelemetryTools>()->LogItem->trigger();
    return main.Room<kvel::TelemetryTools>()->Recording().Start(QStringLiteral("log.csv"));
}

int Measure(const char* mode, int minutes) {
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
    const kvel::TelemetryRecorder& recorder = main.Room<kvel::TelemetryTools>()->Recorder();
    if (!QTest::qWaitFor([&] { return recorder.Size() > 4; }, 10000)) return 1;
    if (!OpenWindows(main, mode)) return 1;

    std::printf("mode %s: CPU seconds in each minute\n", mode);
    for (int minute = 1; minute <= minutes; ++minute) {
        const double before = CpuSeconds();
        const std::size_t samplesBefore = recorder.Size();
        RunEventLoopFor(60 * 1000);
        if (recorder.Size() <= samplesBefore) return 1;
        std::printf("minute %d %.3f\n", minute, CpuSeconds() - before);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const char* mode = argc > 1 ? argv[1] : "chart";
    const int minutes = argc > 2 ? std::atoi(argv[2]) : 30;
    const int result = Measure(mode, minutes > 0 ? minutes : 30);
    if (result != 0) std::fprintf(stderr, "chart_cpu_bench: polling or the windows did not run\n");
    return result;
}
