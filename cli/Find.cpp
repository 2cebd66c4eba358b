// kvel-cli find: the window's unit finder on the port or network line, ticked as fast as the line
// answers rather than on the window program's timers, with each unit printed as it is found.
#include "Find.h"

#include "Console.h"
#include "NetworkPort.h"
#include "RoutingChannel.h"
#include "UnitFinder.h"
#include "UnitLine.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace kvel::cli {

namespace {

// Short beside the finder's 50 ms wait for an answer, so an answer is taken in at once.
constexpr auto kTickPeriod = std::chrono::milliseconds(1);

std::string VersionText(const FoundUnit& unit) {
    return unit.firmwareVersion ? std::to_string(*unit.firmwareVersion) : "unknown";
}

std::string FoundUnitLine(const Invocation& invocation, const FoundUnit& unit) {
    return "address " + std::to_string(unit.address) +
           RateClause(invocation, BaudRateFromIndex(unit.baudIndex)) + ", firmware version " +
           VersionText(unit);
}

// A network line's rate is not known to the program: null.
std::string UnitsJson(const Invocation& invocation, const std::vector<FoundUnit>& units) {
    const bool network = !LineTakesBitRate(invocation.portName);
    std::string json = "[";
    for (const FoundUnit& unit : units) {
        json += json.size() == 1 ? "" : ", ";
        json += "{\"address\": " + std::to_string(unit.address) + ", \"baud\": " +
                (network ? "null" : std::to_string(BaudRateFromIndex(unit.baudIndex))) +
                ", \"version\": " +
                (unit.firmwareVersion ? std::to_string(*unit.firmwareVersion) : "null") + "}";
    }
    return json + "]";
}

// The scan as it goes: one line per unit once it has said all it will, and on a terminal a
// progress line that the unit lines write over.
class FindReport {
public:
    FindReport(const Invocation& invocation, const UnitFinder& finder)
        : invocation_(invocation), finder_(finder), progress_(IsTerminal(stderr)) {}

    void Update() {
        const std::vector<FoundUnit>& found = finder_.Found();
        for (; printed_ < found.size() && Complete(found[printed_]); ++printed_) {
            ClearProgress();
            if (!invocation_.json) Print(FoundUnitLine(invocation_, found[printed_]));
        }
        ShowProgress();
    }

    void Finish() {
        ClearProgress();
        if (invocation_.json) Print(UnitsJson(invocation_, finder_.Found()));
    }

private:
    // Its version is in, or the finder has moved on without it.
    bool Complete(const FoundUnit& unit) const {
        return unit.firmwareVersion || !finder_.Running() || finder_.Address() != unit.address ||
               finder_.BaudIndex() != unit.baudIndex;
    }

    // Drawn again only when it reads differently: the finder is ticked every millisecond.
    void ShowProgress() {
        if (!progress_ || !finder_.Running()) return;
        const std::string text = LineRateText(invocation_, BaudRateFromIndex(finder_.BaudIndex())) +
                                 ", address " + std::to_string(finder_.Address()) + " of " +
                                 std::to_string(invocation_.firstAddress) + "-" +
                                 std::to_string(invocation_.lastAddress) + ", at most " +
                                 std::to_string((finder_.MsLeft() + 999) / 1000) + " s left";
        if (text == shown_) return;
        std::fprintf(stderr, "\r%s\033[K", text.c_str());
        std::fflush(stderr);
        shown_ = text;
    }

    void ClearProgress() {
        if (shown_.empty()) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        shown_.clear();
    }

    const Invocation& invocation_;
    const UnitFinder& finder_;
    const bool progress_;
    std::string shown_;
    std::size_t printed_ = 0;
};

std::vector<std::uint8_t> RatesOf(const Invocation& invocation) {
    if (invocation.baudGiven) return {invocation.baudIndex};
    return FinderRateOrder(invocation.baudIndex);
}

} // namespace

int Find(const Invocation& invocation) {
    using Clock = std::chrono::steady_clock;
    if (invocation.allRates && !LineTakesBitRate(invocation.portName))
        Tell("a network line has no bit rate to sweep: --all-rates scans it once");
    RoutingChannel channel;
    UnitFinder finder(channel, invocation.portName, RatesOf(invocation), invocation.firstAddress,
                      invocation.lastAddress);
    finder.SetAllRates(invocation.allRates);
    const auto started = Clock::now();
    const auto elapsedMs = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started)
            .count();
    };
    FindReport report(invocation, finder);
    finder.Start(elapsedMs());
    // A network line is scanned once its connection is up: before, every address looks silent.
    if (finder.Running() && !channel.WaitUntilConnected(ConnectWaitMs(invocation)))
        return Fail(kExitLink, OpenFailureText(invocation.portLabel, channel.LastOpenFailure()));
    while (finder.Running()) {
        report.Update();
        // Waiting on the line takes its bytes in, which a network line needs: no event loop runs.
        if (channel.IsOpen())
            channel.WaitForInput(static_cast<int>(kTickPeriod.count()));
        else
            std::this_thread::sleep_for(kTickPeriod);
        finder.Tick(elapsedMs());
    }
    channel.CloseComPort();
    if (finder.State() == FinderState::OpenFailed)
        return Fail(kExitLink, OpenFailureText(invocation.portLabel, finder.Failure()));
    report.Update();
    report.Finish();
    if (!finder.Found().empty()) return kExitOk;
    const std::string rates = invocation.baudGiven || !LineTakesBitRate(invocation.portName)
                                  ? RateClause(invocation, BaudRateFromIndex(invocation.baudIndex))
                                  : " at any rate";
    return Fail(kExitLink, "no unit answered on " + invocation.portLabel + rates + ", addresses " +
                               std::to_string(invocation.firstAddress) + "-" +
                               std::to_string(invocation.lastAddress));
}

} // namespace kvel::cli
