// Several units on one line, polled in turn.
#include "FleetPoller.h"

#include "Crc16.h"
#include "ModbusFrame.h"
#include "ModbusLink.h"

#include <algorithm>
#include <utility>

namespace kvel {

std::optional<std::size_t> FailureIndex(TransactionOutcome outcome) {
    const auto* at = std::find(kPollFailures.begin(), kPollFailures.end(), outcome);
    if (at == kPollFailures.end()) return std::nullopt;
    return static_cast<std::size_t>(at - kPollFailures.begin());
}

namespace {
// The longest one wait for a tick lasts; a later round or reopen is reached in several.
constexpr std::int64_t kFleetLongestWaitMs = 60'000;

std::uint8_t FailureDetail(const TransactionResult& result) {
    if (result.outcome == TransactionOutcome::Exception ||
        result.outcome == TransactionOutcome::NoUnit)
        return result.exceptionCode;
    if (result.outcome == TransactionOutcome::WrongAddress && !result.frame.empty())
        return result.frame.front();
    return 0;
}
} // namespace

FleetPoller::FleetPoller(SerialChannel& channel, FleetSetup setup)
    : channel_(channel), setup_(std::move(setup)),
      transaction_(channel, TransactionTiming{setup_.bitRate, {}, setup_.replyTimeout}) {
    for (std::uint8_t address : setup_.addresses) {
        PolledUnit unit;
        unit.address = address;
        units_.push_back(unit);
    }
}

FleetPoller::~FleetPoller() {
    if (lineTells_) channel_.SetReadinessHandler({});
}

void FleetPoller::SetWakeUp(std::function<void()> wakeUp) {
    lineTells_ =
        channel_.SetReadinessHandler([this, wakeUp = std::move(wakeUp)](ChannelEvent event) {
            lineSpoke_ = true;
            if (event == ChannelEvent::ConnectionLost) lineLost_ = true;
            wakeUp();
        });
}

// A port already open is taken as it is: a gateway's connection kept between polls, or the main
// window's line, lent. An RFC 2217 line is moved to the rate in place, since its server may not
// take a new connection at once.
std::optional<OpenFailure> FleetPoller::Start(LinkClock::time_point now) {
    if (channel_.IsOpen())
        MoveOpenLineTo(channel_, setup_.bitRate);
    else if (channel_.OpenComPort(setup_.portName, setup_.bitRate) != kOpenOk)
        return channel_.LastOpenFailure();
    started_ = true;
    nextRoundAt_ = now;
    Tick(now);
    return std::nullopt;
}

void FleetPoller::Tick(LinkClock::time_point now) {
    if (!started_) return;
    lineSpoke_ = false;
    KeepPort(now);
    // A line lost between rounds fails its units at once, as one lost during a request does,
    // and with them its loss is told; only the first loss, not every failed try to reopen.
    if (std::exchange(lineLost_, false) && !inRound_ && roundFoundLineOpen_)
        nextRoundAt_ = std::min(nextRoundAt_, now);
    for (;;) {
        if (transaction_.Busy()) {
            if (transaction_.Poll(now) == ModbusTransaction::Step::Pending) return;
            Record(transaction_.Result(), now);
        }
        if (!inRound_ && (now < nextRoundAt_ || units_.empty())) return;
        BeginNext(now);
    }
}

// A closed port fails the whole round at once, and the next waits for the port to come back.
void FleetPoller::BeginNext(LinkClock::time_point now) {
    if (!inRound_) {
        inRound_ = true;
        unitIndex_ = 0;
        askingHolding_ = false;
        roundStartedAt_ = now;
        roundFoundLineOpen_ = channel_.IsOpen();
        nextRoundAt_ = std::max(nextRoundAt_ + setup_.roundInterval, now);
        if (!channel_.IsOpen()) nextRoundAt_ = std::max(nextRoundAt_, now + kFleetReopenInterval);
    }
    PolledUnit& unit = units_[unitIndex_];
    if (!channel_.IsOpen()) {
        Record(TransactionResult{TransactionOutcome::PortClosed, {}, 0, {}}, now);
        return;
    }
    const TransactionRequest request{unit.address, askingHolding_ ? kReadHolding : kReadInput, 0,
                                     askingHolding_ ? kPolledHoldingCount : kPolledInputCount};
    // The wait runs from the request's end, so the reply's own time on the line comes on top:
    // at 1200 bit/s that is half a second.
    transaction_.SetTiming(TransactionTiming{
        setup_.bitRate,
        {},
        setup_.replyTimeout +
            LineTime(setup_.bitRate, ReplyLengthFor(request.function, request.countOrValue))});
    ++unit.requests;
    transaction_.Begin(request, now);
}

void FleetPoller::Record(const TransactionResult& result, LinkClock::time_point now) {
    PolledUnit& unit = units_[unitIndex_];
    if (const std::optional<std::size_t> failure = FailureIndex(result.outcome)) {
        ++unit.failures[*failure];
        unit.answered = false;
        unit.failure = result.outcome;
        unit.failureDetail = FailureDetail(result);
        FinishUnit(now);
        return;
    }
    ++unit.replies;
    unit.lastReply = now;
    RegisterImage& image = askingHolding_ ? unit.holding : unit.input;
    const std::vector<std::uint16_t> words = result.Words();
    std::copy_n(words.begin(), std::min(words.size(), image.size()), image.begin());
    if (!askingHolding_) {
        askingHolding_ = true;
        return;
    }
    unit.answered = true;
    unit.failure.reset();
    FinishUnit(now);
}

void FleetPoller::FinishUnit(LinkClock::time_point now) {
    askingHolding_ = false;
    if (++unitIndex_ < units_.size()) return;
    inRound_ = false;
    ++roundsDone_;
    lastRoundTime_ = now - roundStartedAt_;
}

// As the window program's keeper: the first look only notes the loss, since the system may
// not have let go of the device yet; then the device it was is tried once a reopen interval
// has passed, never whatever the port's name leads to now.
void FleetPoller::KeepPort(LinkClock::time_point now) {
    if (!channel_.PortVanished()) {
        nextReopenAt_ = {};
        return;
    }
    if (nextReopenAt_ == LinkClock::time_point{}) {
        nextReopenAt_ = now + kFleetReopenInterval;
        return;
    }
    if (now < nextReopenAt_) return;
    nextReopenAt_ = now + kFleetReopenInterval;
    channel_.ReopenVanishedPort(setup_.bitRate);
}

// A connection coming up is announced by no channel, so it is looked for as bytes on a line that
// cannot tell of them are.
int FleetPoller::MsToNextTick(LinkClock::time_point now) const {
    if (lineSpoke_) return 0;
    if (transaction_.Busy()) {
        const bool waitOnLine = lineTells_ && !channel_.Connecting();
        return static_cast<int>(std::clamp<std::int64_t>(
            std::chrono::ceil<std::chrono::milliseconds>(transaction_.WakeAt() - now).count(), 0,
            waitOnLine ? kFleetLongestWaitMs : kFleetTickMs));
    }
    LinkClock::time_point next = nextRoundAt_;
    if (nextReopenAt_ != LinkClock::time_point{}) next = std::min(next, nextReopenAt_);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
    return static_cast<int>(std::clamp<std::int64_t>(wait, 0, kFleetLongestWaitMs));
}

} // namespace kvel
