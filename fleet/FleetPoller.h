// Several units on one line, polled in turn: both register banks of each, through the direct
// transaction path, round after round. A silent unit costs one time-out a round and no more.
// The poller holds the port while it runs and reopens it when its device comes back. Driven by
// ticks that carry the time, so a window's timer, a service's timer or a test can run it.
#pragma once

#include "LinkState.h"
#include "ModbusTransaction.h"
#include "SerialChannel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvel {

// A unit's turnaround plus a USB adapter's latency, with room to spare; the frames' own line
// time comes on top.
constexpr auto kFleetReplyTimeout = std::chrono::milliseconds(200);
// While a request is under way the poller looks at the line this often.
constexpr int kFleetTickMs = 2;
// A vanished port is tried again this often.
constexpr auto kFleetReopenInterval = std::chrono::seconds(1);

// Every way a poll can fail, in the order their counters are kept.
constexpr std::array<TransactionOutcome, 6> kPollFailures{
    TransactionOutcome::TimedOut,  TransactionOutcome::Corrupt,    TransactionOutcome::WrongAddress,
    TransactionOutcome::Exception, TransactionOutcome::PortClosed, TransactionOutcome::NoUnit};

struct PolledUnit {
    std::uint8_t address = 0;
    RegisterImage holding{};
    RegisterImage input{};
    // Both banks answered in the unit's last poll.
    bool answered = false;
    // Why the last poll failed; nothing before the first poll and while the unit answers.
    std::optional<TransactionOutcome> failure;
    // The address that answered instead, or the exception code.
    std::uint8_t failureDetail = 0;
    std::optional<LinkClock::time_point> lastReply;

    std::uint64_t requests = 0;
    std::uint64_t replies = 0;
    // By the index of the outcome in kPollFailures.
    std::array<std::uint64_t, kPollFailures.size()> failures{};

    // Nothing answered the last poll: no byte came, or a gateway said no unit is there.
    bool Silent() const {
        return failure == TransactionOutcome::TimedOut || failure == TransactionOutcome::NoUnit;
    }
};

struct FleetSetup {
    std::string portName;
    std::int32_t bitRate = 9600;
    std::vector<std::uint8_t> addresses;
    // Between the starts of two rounds; zero runs them back to back.
    LinkClock::duration roundInterval{};
    // The wait for a reply beyond its own time on the line.
    LinkClock::duration replyTimeout = kFleetReplyTimeout;
};

class FleetPoller {
public:
    FleetPoller(SerialChannel& channel, FleetSetup setup);

    // Opens the port unless it is open already and starts the first round; the reason when
    // the port will not open.
    std::optional<OpenFailure> Start(LinkClock::time_point now);
    void Tick(LinkClock::time_point now);
    // Milliseconds to the next tick: a few while a request is under way, else until the next
    // round or the next try of a vanished port.
    int MsToNextTick(LinkClock::time_point now) const;

    const std::vector<PolledUnit>& Units() const { return units_; }
    const FleetSetup& Setup() const { return setup_; }
    std::uint64_t RoundsDone() const { return roundsDone_; }
    // From the first request of the last finished round to the end of its last.
    std::optional<LinkClock::duration> LastRoundTime() const { return lastRoundTime_; }

private:
    void BeginNext(LinkClock::time_point now);
    void Record(const TransactionResult& result, LinkClock::time_point now);
    void FinishUnit(LinkClock::time_point now);
    void KeepPort(LinkClock::time_point now);

    SerialChannel& channel_;
    FleetSetup setup_;
    ModbusTransaction transaction_;
    std::vector<PolledUnit> units_;
    bool started_ = false;
    bool inRound_ = false;
    std::size_t unitIndex_ = 0;
    // The input bank first, then the holding bank.
    bool askingHolding_ = false;
    LinkClock::time_point roundStartedAt_{};
    LinkClock::time_point nextRoundAt_{};
    LinkClock::time_point nextReopenAt_{};
    std::uint64_t roundsDone_ = 0;
    std::optional<LinkClock::duration> lastRoundTime_;
};

// The index of `outcome` in kPollFailures; outcomes that are not failures have none.
std::optional<std::size_t> FailureIndex(TransactionOutcome outcome);

} // namespace kvel
