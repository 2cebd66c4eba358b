// The unit finder's worst case: a whole scan of one port at one rate with no unit answering, so
// every address waits out its try. Once on a simulated clock at each rate (the scan's length as
// the finder's timing makes it, and the CPU it costs), and once for real at 115200 bit/s on a
// pseudo-terminal with nobody at the other end, ticked as the finder window ticks it.
// Target: under 20 s at 115200 bit/s.
#include "QuietFakes.h"
#include "SystemSerialChannel.h"
#include "UnitFinder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

constexpr double kTargetSeconds = 20;

// The stored rate is scanned first; the scan of it ends when the port is opened at the next one.
template <class Tick> void ScanFirstRate(kvel::UnitFinder& finder, const int& opens, Tick tick) {
    while (finder.Running() && opens < 2)
        tick();
}

void BM_FinderSilentRateSimulatedClock(benchmark::State& state) {
    const auto baudIndex = static_cast<std::uint8_t>(state.range(0));
    double scanSeconds = 0;
    for (auto _ : state) {
        kvel::test::QuietChannel line; // no unit on it
        kvel::UnitFinder finder(line, 1, baudIndex);
        std::int64_t nowMs = 0;
        finder.Start(nowMs);
        ScanFirstRate(finder, line.opens, [&] {
            nowMs += kvel::kFinderTickMs;
            finder.Tick(nowMs);
        });
        scanSeconds = nowMs / 1000.0;
        benchmark::DoNotOptimize(finder.TriesDone());
    }
    state.counters["bit_per_s"] = kvel::BaudRateFromIndex(baudIndex);
    state.counters["scan_s"] = scanSeconds;
    state.counters["target_s"] = kTargetSeconds;
}
BENCHMARK(BM_FinderSilentRateSimulatedClock)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);

// A pseudo-terminal whose far end is open but silent, linked as dosdevices/com1.
class SilentTerminal {
public:
    SilentTerminal() : previousDir_(QDir::currentPath()) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        QDir::setCurrent(dir_.path());
        QDir().mkpath("dosdevices");
        ready_ = QFile::link(QString::fromLocal8Bit(::ptsname(master_)), "dosdevices/com1");
    }
    ~SilentTerminal() {
        QDir::setCurrent(previousDir_);
        if (master_ >= 0) ::close(master_);
    }
    bool Ready() const { return ready_; }

private:
    QTemporaryDir dir_;
    QString previousDir_;
    int master_ = -1;
    bool ready_ = false;
};

// Counts the port's opens, so the scan of the first rate can be told apart from the next.
class CountingChannel : public kvel::SystemSerialChannel {
public:
    int OpenComPort(const std::string& name, std::int32_t bitRate) override {
        ++opens;
        return kvel::SystemSerialChannel::OpenComPort(name, bitRate);
    }
    int opens = 0;
};

void BM_FinderSilentRateOnAPty(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    SilentTerminal terminal;
    if (!terminal.Ready()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    double scanSeconds = 0;
    for (auto _ : state) {
        CountingChannel channel;
        kvel::UnitFinder finder(channel, 1, 9);
        const auto started = Clock::now();
        auto nextTick = started;
        const auto elapsedMs = [&] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started)
                .count();
        };
        finder.Start(elapsedMs());
        ScanFirstRate(finder, channel.opens, [&] {
            nextTick += std::chrono::milliseconds(kvel::kFinderTickMs);
            std::this_thread::sleep_until(nextTick);
            finder.Tick(elapsedMs());
        });
        scanSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    }
    state.counters["scan_s"] = scanSeconds;
    state.counters["target_s"] = kTargetSeconds;
}
BENCHMARK(BM_FinderSilentRateOnAPty)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
