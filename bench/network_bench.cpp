// The poll cycle over loopback RTU over TCP beside the serial one: replies taken, their
// latency and the program's CPU, one phase each against kvel-sim (targets: the same replies,
// tick for tick; CPU at most 1.1 x serial).
// Usage: network_bench [seconds per phase, default 60]
#include "DiagnosticsTools.h"
#include "NetworkLine.h"
#include "RoutingChannel.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"
#include "Unit1.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

struct Phase {
    std::uint64_t replies = 0;
    double meanLatencyMs = 0;
    double cpuSeconds = 0;
};

double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Polls the unit `seconds` long on the line the program opens at start.
bool Poll(kvel::test::SimulatedUnit& unit, int seconds, Phase& phase) {
    if (!unit.Started()) return false;
    kvel::RoutingChannel channel;
    kvel::TForm1 main(channel);
    main.show();
    main.activateWindow();
    const kvel::LinkCounters& counters = main.Room<kvel::DiagnosticsTools>()->Traffic().Counters();
    if (!QTest::qWaitFor([&] { return counters.Replies() > 4; }, 10000)) return false;
    const std::uint64_t repliesBefore = counters.Replies();
    const auto latencyBefore = counters.ReplyLatency();
    const double cpuBefore = CpuSeconds();
    QTest::qWait(seconds * 1000);
    phase.cpuSeconds = CpuSeconds() - cpuBefore;
    phase.replies = counters.Replies() - repliesBefore;
    const auto latency = counters.ReplyLatency();
    phase.meanLatencyMs =
        std::chrono::duration<double, std::milli>(latency.total - latencyBefore.total).count() /
        static_cast<double>(latency.count - latencyBefore.count);
    main.close();
    return true;
}

int Measure(int seconds) {
    kvel::test::ScratchDir dir;
    QFile settings("data.inf");
    if (!settings.open(QIODevice::WriteOnly)) return 1;
    settings.write(QByteArray("\x01\x00\x03\x00\x01\x00", 6));
    settings.close();

    Phase serial;
    Phase network;
    {
        kvel::test::SimulatedUnit unit;
        if (!Poll(unit, seconds, serial)) return 1;
    }
    {
        kvel::test::SimulatedUnit unit("--tcp", {});
        QFile choice(kvel::kNetworkIniName);
        if (!choice.open(QIODevice::WriteOnly)) return 1;
        choice.write("port = " + unit.PortName().toUtf8() + "\nin-use = yes\n");
        choice.close();
        if (!Poll(unit, seconds, network)) return 1;
    }
    std::printf("polling kvel-sim at 9600 bit/s for %d s a phase:\n"
                "  serial (pty):        %llu replies, mean latency %.1f ms, CPU %.2f s\n"
                "  RTU over TCP (lo):   %llu replies, mean latency %.1f ms, CPU %.2f s\n"
                "  replies %+lld, CPU %.2f x serial (target: same replies, at most 1.1 x)\n",
                seconds, static_cast<unsigned long long>(serial.replies), serial.meanLatencyMs,
                serial.cpuSeconds, static_cast<unsigned long long>(network.replies),
                network.meanLatencyMs, network.cpuSeconds,
                static_cast<long long>(network.replies) - static_cast<long long>(serial.replies),
                network.cpuSeconds / serial.cpuSeconds);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int result = Measure(seconds > 0 ? seconds : 60);
    if (result != 0) std::fprintf(stderr, "network_bench: polling did not run on both lines\n");
    return result;
}
