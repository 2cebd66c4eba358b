// One request and its reply, straight on the channel.
#include "ModbusTransaction.h"

#include "ModbusFrame.h"

#include <algorithm>

namespace kvel {

namespace {

using std::chrono::nanoseconds;

// A reply that has come whole but is not one the receiver takes is given up this long after its
// last byte rather than at the time-out: room for a USB adapter's latency timer and for a reply
// that the unit sends in pieces.
constexpr auto kReplyEndAllowance = std::chrono::milliseconds(50);

ReplyKind KindAnswering(std::uint8_t function) {
    switch (function) {
    case kReadHolding:
        return ReplyKind::Holding;
    case kReadInput:
        return ReplyKind::Input;
    case kWriteSingle:
        return ReplyKind::Write;
    default:
        return ReplyKind::Rejected;
    }
}

// An exception from another address is a wrong unit's answer; a gateway's 0A or 0B says that no
// unit answered at all.
TransactionOutcome OutcomeOfException(const std::uint8_t* exception, std::uint8_t address) {
    if (exception[0] != address) return TransactionOutcome::WrongAddress;
    return GatewayFoundNoUnit(exception[2]) ? TransactionOutcome::NoUnit
                                            : TransactionOutcome::Exception;
}

} // namespace

LinkClock::duration LineTime(std::int32_t bitRate, std::size_t bytes) {
    const auto bits = static_cast<std::int64_t>(bytes) * kBitsPerByte;
    return nanoseconds(bits * 1'000'000'000 / std::max<std::int32_t>(bitRate, 1));
}

// Above 19200 bit/s 3.5 characters shrink below what many units' receivers need to see a frame
// end (0.3 ms at 115200), so the Modbus serial line's fixed 1.75 ms holds there instead.
LinkClock::duration SilentInterval(std::int32_t bitRate) {
    constexpr std::int32_t kHighestCountedRate = 19200;
    constexpr auto kFixedSilence = std::chrono::microseconds(1750);
    if (bitRate > kHighestCountedRate) return kFixedSilence;
    constexpr std::int64_t kHalfCharacters = 7;
    return nanoseconds(kHalfCharacters * kBitsPerByte * 1'000'000'000 /
                       (2 * std::int64_t{std::max<std::int32_t>(bitRate, 1)}));
}

std::vector<std::uint16_t> TransactionResult::Words() const {
    std::vector<std::uint16_t> words;
    if (outcome != TransactionOutcome::Ok || frame.size() < 4) return words;
    if (frame[1] == kWriteSingle) {
        if (frame.size() >= 6) words.push_back(WordAt(frame.data() + 4));
        return words;
    }
    for (std::size_t at = 3; at + 1 < frame.size() - 2; at += 2)
        words.push_back(WordAt(frame.data() + at));
    return words;
}

bool ModbusTransaction::Begin(const TransactionRequest& request, LinkClock::time_point now) {
    if (Busy()) return false;
    request_ = request;
    expectedLength_ = ReplyLengthFor(request.function, request.countOrValue);
    received_.clear();
    result_ = {};
    // Until the request is out, the time a reply would be given bounds the wait for the line.
    deadline_ = now + Gap() + timing_.replyTimeout;
    phase_ = Phase::Silence;
    Poll(now);
    return true;
}

LinkClock::duration ModbusTransaction::Gap() const {
    return std::max(SilentInterval(timing_.bitRate), timing_.minimumGap);
}

ModbusTransaction::Step ModbusTransaction::Poll(LinkClock::time_point now) {
    if (!Busy()) return Step::Done;
    if (!channel_.IsOpen()) return Finish(TransactionOutcome::PortClosed, now);
    if (phase_ == Phase::Silence) {
        TakeInput(now);
        // A connection coming up is waited for, as long as a reply would be.
        if (!channel_.Connecting()) {
            if (now >= lineBusyUntil_ + Gap()) return Send(now);
        } else if (now >= deadline_) {
            return Finish(TransactionOutcome::PortClosed, now);
        }
        return Step::Pending;
    }
    const std::uint32_t pending = channel_.PendingInputCount();
    for (std::uint32_t i = 0; i < pending; ++i) {
        lineBusyUntil_ = now;
        if (Judge(channel_.ReadComByte(), now)) return Step::Done;
    }
    if (now >= deadline_ || ReplyEnded(now))
        return Finish(
            received_.empty() ? TransactionOutcome::TimedOut : TransactionOutcome::Corrupt, now);
    return Step::Pending;
}

LinkClock::time_point ModbusTransaction::WakeAt() const {
    switch (phase_) {
    case Phase::Idle:
        return LinkClock::time_point::max();
    case Phase::Silence:
        return channel_.Connecting() ? deadline_ : lineBusyUntil_ + Gap();
    case Phase::Awaiting:
        break;
    }
    if (received_.size() < expectedLength_) return deadline_;
    return std::min(deadline_,
                    lineBusyUntil_ + SilentInterval(timing_.bitRate) + kReplyEndAllowance);
}

TransactionResult ModbusTransaction::Run(const TransactionRequest& request) {
    WaitUntilDone();
    Begin(request, LinkClock::now());
    WaitUntilDone();
    return result_;
}

void ModbusTransaction::WaitUntilDone() {
    for (;;) {
        const LinkClock::time_point now = LinkClock::now();
        if (Poll(now) == Step::Done) return;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(WakeAt() - now).count();
        channel_.WaitForInput(static_cast<int>(std::clamp<std::int64_t>(wait, 0, 1000)));
    }
}

// Bytes before the request are the tail of something else: they only put the silence off.
void ModbusTransaction::TakeInput(LinkClock::time_point now) {
    const std::uint32_t pending = channel_.PendingInputCount();
    for (std::uint32_t i = 0; i < pending; ++i) {
        const std::uint8_t byte = channel_.ReadComByte();
        if (observer_) observer_->ByteRead(now, byte, ReceiverContext{request_.address, 0});
        lineBusyUntil_ = now;
    }
}

// A request that could not go out has no answer to wait for.
ModbusTransaction::Step ModbusTransaction::Send(LinkClock::time_point now) {
    const RequestFrame frame =
        BuildRequestFrame(request_.address, request_.function, request_.reg, request_.countOrValue);
    if (channel_.WriteComPort(frame.data(), static_cast<int>(frame.size())) == kWriteNotSent)
        return Finish(TransactionOutcome::PortClosed, now);
    if (observer_) observer_->BytesWritten(now, frame.data(), frame.size());
    sentAt_ = now;
    lineBusyUntil_ = now + LineTime(timing_.bitRate, frame.size());
    deadline_ = lineBusyUntil_ + timing_.replyTimeout;
    phase_ = Phase::Awaiting;
    return Step::Pending;
}

// The window receiver's test on the newest bytes after each one, and besides it the two answers
// that receiver passes over: an exception, and a whole reply from another address.
bool ModbusTransaction::Judge(std::uint8_t byte, LinkClock::time_point now) {
    if (observer_)
        observer_->ByteRead(now, byte, ReceiverContext{request_.address, expectedLength_});
    received_.push_back(byte);
    const std::uint8_t function = request_.function;
    const ReplyKind wanted = KindAnswering(function);
    if (received_.size() >= expectedLength_) {
        const std::uint8_t* newest = received_.data() + received_.size() - expectedLength_;
        if (wanted != ReplyKind::Rejected &&
            ClassifyReply(newest, expectedLength_, request_.address) == wanted) {
            if (observer_) observer_->ReplyAccepted(now, wanted);
            Finish(TransactionOutcome::Ok, now);
            return true;
        }
        if (newest[0] != request_.address &&
            ClassifyReply(newest, expectedLength_, newest[0]) == wanted) {
            Finish(TransactionOutcome::WrongAddress, now);
            return true;
        }
    }
    if (NewestAreFrame(kExceptionReplyLength, function | kExceptionFlag)) {
        const std::uint8_t* exception = received_.data() + received_.size() - kExceptionReplyLength;
        Finish(OutcomeOfException(exception, request_.address), now);
        return true;
    }
    return false;
}

bool ModbusTransaction::NewestAreFrame(std::uint16_t length, std::uint8_t function) const {
    if (received_.size() < length) return false;
    const std::uint8_t* newest = received_.data() + received_.size() - length;
    return newest[1] == function && CrcHolds(newest, length);
}

bool ModbusTransaction::ReplyEnded(LinkClock::time_point now) const {
    return received_.size() >= expectedLength_ &&
           now >= lineBusyUntil_ + SilentInterval(timing_.bitRate) + kReplyEndAllowance;
}

ModbusTransaction::Step ModbusTransaction::Finish(TransactionOutcome outcome,
                                                  LinkClock::time_point now) {
    result_.outcome = outcome;
    result_.elapsed = phase_ == Phase::Awaiting ? now - sentAt_ : LinkClock::duration{};
    std::size_t length = received_.size();
    if (outcome == TransactionOutcome::Ok) length = expectedLength_;
    const bool exceptionFrame =
        outcome == TransactionOutcome::Exception || outcome == TransactionOutcome::NoUnit;
    if (outcome == TransactionOutcome::WrongAddress || exceptionFrame)
        length = NewestAreFrame(kExceptionReplyLength, request_.function | kExceptionFlag)
                     ? kExceptionReplyLength
                     : expectedLength_;
    result_.frame.assign(received_.end() - static_cast<std::ptrdiff_t>(length), received_.end());
    if (exceptionFrame) result_.exceptionCode = result_.frame[2];
    phase_ = Phase::Idle;
    return Step::Done;
}

} // namespace kvel
