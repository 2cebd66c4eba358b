// The CPU a headless line's poller spends per request, as kvel-exporter runs it: one site line
// polling eight units of kvel-sim back to back, on a pseudo-terminal at 9600 and 115200 bit/s
// and over Modbus TCP on loopback. Only this process's CPU is counted, not the simulated units'.
#include "Journal.h"
#include "SimulatedUnit.h"
#include "SiteLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <numeric>

namespace {

constexpr int kMeasuredMs = 5000;
// Rounds left to run before measuring: the port opening and the first replies.
constexpr int kSettleMs = 1000;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::uint64_t Requests(const kvel::FleetPoller& poller) {
    return std::accumulate(
        poller.Units().begin(), poller.Units().end(), std::uint64_t{0},
        [](std::uint64_t sum, const kvel::PolledUnit& unit) { return sum + unit.requests; });
}

void RunEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// False when the line never came up or its units did not answer.
bool Measure(const char* what, const std::string& port, const std::string& label,
             std::int32_t bitRate) {
    kvel::exporter::Journal journal([](const std::string&) {});
    kvel::exporter::LineConfig config;
    config.name = "bench";
    config.port = {port, label};
    config.bitRate = bitRate;
    config.addresses = {1, 2, 3, 4, 5, 6, 7, 8};
    config.intervalMs = 0;
    kvel::exporter::SiteLine line(config, journal);
    if (const std::optional<std::string> refused = line.Start()) {
        std::fprintf(stderr, "poller_cpu_bench: %s\n", refused->c_str());
        return false;
    }
    RunEventLoopFor(kSettleMs);
    const std::uint64_t requestsBefore = Requests(line.Poller());
    const std::uint64_t repliesBefore = line.Poller().RoundsDone();
    const double cpuBefore = CpuSeconds();
    RunEventLoopFor(kMeasuredMs);
    const double cpu = CpuSeconds() - cpuBefore;
    const std::uint64_t requests = Requests(line.Poller()) - requestsBefore;
    const std::uint64_t rounds = line.Poller().RoundsDone() - repliesBefore;
    const bool answered = std::all_of(line.Poller().Units().begin(), line.Poller().Units().end(),
                                      [](const kvel::PolledUnit& unit) { return unit.answered; });
    if (requests == 0 || !answered) {
        std::fprintf(stderr, "poller_cpu_bench: %s: %llu requests, every unit answered: %s\n", what,
                     static_cast<unsigned long long>(requests), answered ? "yes" : "no");
        return false;
    }
    std::printf("%s: %llu requests in %.1f s (%.0f a second, %llu rounds), CPU %.3f s: "
                "%.3f ms of CPU per request\n",
                what, static_cast<unsigned long long>(requests), kMeasuredMs / 1000.0,
                static_cast<double>(requests) * 1000.0 / kMeasuredMs,
                static_cast<unsigned long long>(rounds), cpu,
                cpu * 1000.0 / static_cast<double>(requests));
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QStringList addresses{"--address", "1,2,3,4,5,6,7,8"};
    const QStringList units = addresses + QStringList{"--baud-index", "9"};
    bool ok = true;
    {
        kvel::test::SimulatedUnit sim(addresses + QStringList{"--baud-index", "3"});
        ok = sim.Started() &&
             Measure("pseudo-terminal, 9600 bit/s", kvel::ComPortName(1), "COM1", 9600) && ok;
    }
    {
        kvel::test::SimulatedUnit sim(units);
        ok = sim.Started() &&
             Measure("pseudo-terminal, 115200 bit/s", kvel::ComPortName(1), "COM1", 115200) && ok;
    }
    {
        kvel::test::SimulatedUnit sim("--modbus-tcp", units);
        const std::string port = sim.PortName().toStdString();
        ok = sim.Started() && Measure("Modbus TCP on loopback", port, port, 115200) && ok;
    }
    return ok ? 0 : 1;
}
