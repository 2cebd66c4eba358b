// The unit on the direct transaction path: one request at a time at the line's own pace, asked
// again within the time budget when the answer is lost, garbled or the unit is busy.
#pragma once

#include "CommandLine.h"
#include "LineOptions.h"
#include "LinkState.h"
#include "ModbusTransaction.h"
#include "RoutingChannel.h"

#include <optional>
#include <string>
#include <vector>

namespace kvel::cli {

// One request's answer after all its tries.
struct Answer {
    // The most telling outcome of the tries: an exception says more than a lost reply.
    TransactionOutcome outcome = TransactionOutcome::TimedOut;
    std::vector<std::uint16_t> words;
    std::uint8_t exceptionCode = 0;
    std::uint8_t replyAddress = 0;
    int tries = 0;

    bool Ok() const { return outcome == TransactionOutcome::Ok; }
};

// What this run asked of the line, for a service report.
struct RunCounts {
    int requests = 0;
    int tries = 0;
    int answered = 0;
};

// Both banks as the window polls them.
struct UnitImages {
    RegisterImage holding{};
    RegisterImage input{};
};

class UnitLine {
public:
    explicit UnitLine(const Invocation& invocation);
    UnitLine(const UnitLine&) = delete;
    UnitLine& operator=(const UnitLine&) = delete;

    // The port's own reason, in English, when it will not open.
    std::optional<std::string> Open();

    Answer Read(unit::Bank bank, std::uint16_t first, std::uint16_t count);
    Answer Write(std::uint16_t reg, std::uint16_t value);
    // The input bank, then the holding bank, back to back; stops at the first that fails.
    Answer ReadBanks(UnitImages& images);

    // What went wrong, for a technician: "the unit answered with exception 06 (busy)".
    std::string Failure(const Answer& answer) const;
    // "address 1 on COM3 at 9600 bit/s", "address 1 on tcp://10.0.0.5:4001 (network)"
    std::string Where() const;

    // Later requests go to `address`, on the same open port.
    void SetAddress(std::uint8_t address) { address_ = address; }
    std::uint8_t Address() const { return address_; }

    SerialChannel& Channel() { return channel_; }
    const RunCounts& Counts() const { return counts_; }
    const Invocation& Call() const { return invocation_; }

private:
    Answer Exchange(const TransactionRequest& request);
    // One request after `pause` of silence (or --gap's, when longer), its answer awaited no
    // later than `deadline`.
    TransactionResult Try(const TransactionRequest& request, std::chrono::milliseconds pause,
                          LinkClock::time_point deadline);
    void ShowFrame(const char* direction, const std::vector<std::uint8_t>& bytes,
                   const std::string& note) const;

    const Invocation& invocation_;
    std::uint8_t address_;
    std::int32_t bitRate_;
    RoutingChannel channel_;
    ModbusTransaction transaction_;
    RunCounts counts_;
};

// How long a network line's connection may take to come up: the channel's own time-out, or the
// --timeout given when that is longer (a name may take the resolver a while).
int ConnectWaitMs(const Invocation& invocation);
// "9600 bit/s"; a network line's rate is the server's business: "network".
std::string LineRateText(const Invocation& invocation, std::int32_t bitRate);
// " at 9600 bit/s", or " (network)", to follow a port or an address.
std::string RateClause(const Invocation& invocation, std::int32_t bitRate);

} // namespace kvel::cli
