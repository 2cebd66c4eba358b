// The unit finder's scan: one try per address and rate, answered or timed out.
#include "UnitFinder.h"

#include "Crc16.h"
#include "ModbusFrame.h"
#include "NetworkPort.h"
#include "RegisterMap.h"

#include <algorithm>

namespace kvel {

namespace {
constexpr std::size_t kOneRegisterReply = ReplyLengthFor(kReadHolding, 1);
constexpr std::size_t kRequestBytes = std::tuple_size_v<RequestFrame>;
// The holding-register poll's answer, the longest frame polling brings.
constexpr std::size_t kLongestPollReply = ReplyLengthFor(kReadHolding, kPolledHoldingCount);

// The newest `length` received bytes, when they form a frame from `address` with `function`.
const std::uint8_t* FrameAtEnd(const std::vector<std::uint8_t>& bytes, std::size_t length,
                               std::uint8_t address, std::uint8_t function) {
    if (bytes.size() < length) return nullptr;
    const std::uint8_t* frame = bytes.data() + bytes.size() - length;
    if (frame[0] != address || frame[1] != function) return nullptr;
    return CrcHolds(frame, length) ? frame : nullptr;
}
} // namespace

std::vector<std::uint8_t> FinderRateOrder(std::uint8_t storedBaudIndex) {
    // Units leave the works at the default rate and are mostly moved to one of the common faster
    // rates; the slow ones cost the most time to scan and are tried after them, fastest first,
    // and the uncommon ones last.
    const std::uint8_t stored =
        storedBaudIndex < kBaudIndexCount ? storedBaudIndex : kDefaultBaudIndex;
    std::vector<std::uint8_t> order{stored};
    for (std::uint8_t index = kDefaultBaudIndex; index < kBaudIndexCount; ++index)
        if (kLineRates[index].common) order.push_back(index);
    for (std::uint8_t index = kDefaultBaudIndex; index-- > 0;)
        if (kLineRates[index].common) order.push_back(index);
    for (std::uint8_t index = 0; index < kBaudIndexCount; ++index)
        order.push_back(index);
    std::vector<std::uint8_t> unique;
    for (std::uint8_t index : order)
        if (std::find(unique.begin(), unique.end(), index) == unique.end()) unique.push_back(index);
    return unique;
}

namespace {
int LineMs(std::size_t bytes, std::int32_t bitRate) {
    const std::int64_t bits = static_cast<std::int64_t>(bytes) * kBitsPerByte;
    return static_cast<int>((bits * 1000 + bitRate - 1) / bitRate);
}
} // namespace

int FinderTryMs(std::int32_t bitRate) {
    return kFinderReplyWaitMs + LineMs(kRequestBytes + kOneRegisterReply, bitRate);
}

int FinderSettleMs(std::int32_t bitRate) {
    return kFinderReplyWaitMs + LineMs(kLongestPollReply, bitRate);
}

UnitFinder::UnitFinder(SerialChannel& channel, std::uint16_t comPort, std::uint8_t storedBaudIndex)
    : UnitFinder(channel, ComPortName(comPort), FinderRateOrder(storedBaudIndex),
                 kFirstFinderAddress, kLastFinderAddress) {}

UnitFinder::UnitFinder(SerialChannel& channel, std::string portName,
                       std::vector<std::uint8_t> rates, std::uint8_t first, std::uint8_t last)
    : channel_(channel), portName_(std::move(portName)), rates_(std::move(rates)), first_(first),
      last_(last), address_(first) {
    if (!LineTakesBitRate(portName_)) rates_.resize(1);
}

// An answer to the last poll may still be coming in, and would spoil the first try.
void UnitFinder::Start(std::int64_t nowMs) {
    state_ = FinderState::Scanning;
    if (!OpenRate()) return;
    asking_ = Asking::Settling;
    deadlineMs_ = nowMs + FinderSettleMs(BaudRateFromIndex(BaudIndex()));
}

bool UnitFinder::OpenRate() {
    const std::int32_t bitRate = BaudRateFromIndex(BaudIndex());
    if (MoveOpenLineTo(channel_, bitRate)) return true;
    if (channel_.OpenComPort(portName_, bitRate) == kOpenOk) return true;
    failure_ = channel_.LastOpenFailure();
    state_ = FinderState::OpenFailed;
    return false;
}

// A late answer to an earlier try must not pass for an answer to this one.
void UnitFinder::Send(Asking asking, std::int64_t nowMs) {
    TakeInput();
    received_.clear();
    asking_ = asking;
    const RequestFrame frame =
        asking == Asking::Presence
            ? BuildRequestFrame(address_, kReadHolding, reg::holding::DeviceAddress, 1)
            : BuildRequestFrame(address_, kReadInput, reg::input::FirmwareVersion, 1);
    channel_.WriteComPort(frame.data(), static_cast<int>(frame.size()));
    deadlineMs_ = nowMs + FinderTryMs(BaudRateFromIndex(BaudIndex()));
}

void UnitFinder::TakeInput() {
    const std::uint32_t pending = channel_.PendingInputCount();
    for (std::uint32_t i = 0; i < pending; ++i)
        received_.push_back(channel_.ReadComByte());
}

const std::uint8_t* UnitFinder::PresenceException() const {
    return FrameAtEnd(received_, kExceptionReplyLength, address_, kReadHolding | kExceptionFlag);
}

// A unit that refuses the read with an exception is there all the same, unless the exception is
// a gateway's saying that nothing answered behind it.
bool UnitFinder::AnsweredPresence() const {
    if (FrameAtEnd(received_, kOneRegisterReply, address_, kReadHolding)) return true;
    const std::uint8_t* exception = PresenceException();
    return exception && !GatewayFoundNoUnit(exception[2]);
}

bool UnitFinder::GatewayFoundNone() const {
    const std::uint8_t* exception = PresenceException();
    return exception && GatewayFoundNoUnit(exception[2]);
}

std::optional<std::uint16_t> UnitFinder::AnsweredVersion() const {
    const std::uint8_t* frame = FrameAtEnd(received_, kOneRegisterReply, address_, kReadInput);
    if (!frame) return std::nullopt;
    return WordAt(frame + 3);
}

void UnitFinder::Tick(std::int64_t nowMs) {
    if (!Running()) return;
    TakeInput();
    if (asking_ == Asking::Settling) {
        if (nowMs >= deadlineMs_) Send(Asking::Presence, nowMs);
        return;
    }
    if (asking_ == Asking::Presence) {
        if (AnsweredPresence()) {
            noisyTries_ = 0;
            found_.push_back({address_, BaudIndex(), std::nullopt});
            Send(Asking::Version, nowMs);
        } else if (GatewayFoundNone()) {
            // The gateway has done the waiting: the try ends as a silent one, and no noise.
            noisyTries_ = 0;
            NextTry(nowMs);
        } else if (nowMs >= deadlineMs_) {
            EndSilentTry(nowMs);
        }
        return;
    }
    if (const std::optional<std::uint16_t> version = AnsweredVersion()) {
        found_.back().firmwareVersion = version;
        NextTry(nowMs);
    } else if (nowMs >= deadlineMs_) {
        NextTry(nowMs);
    }
}

void UnitFinder::EndSilentTry(std::int64_t nowMs) {
    noisyTries_ = received_.empty() ? 0 : noisyTries_ + 1;
    if (noisyTries_ < kNoisyTriesToSkipRate) {
        NextTry(nowMs);
        return;
    }
    triesDone_ += last_ - address_;
    address_ = last_;
    NextTry(nowMs);
}

// The bytes still coming in belong to the address just asked, not to the next one.
void UnitFinder::NextTry(std::int64_t nowMs) {
    TakeInput();
    ++triesDone_;
    if (address_ < last_) {
        ++address_;
        Send(Asking::Presence, nowMs);
        return;
    }
    if (rateIndex_ + 1 == RatesToTry()) {
        state_ = FinderState::Finished;
        return;
    }
    ++rateIndex_;
    address_ = first_;
    noisyTries_ = 0;
    if (OpenRate()) Send(Asking::Presence, nowMs);
}

// Units found at an earlier rate (all rates were asked for then) end the scan with this one.
std::size_t UnitFinder::RatesToTry() const {
    return !allRates_ && !found_.empty() ? rateIndex_ + 1 : rates_.size();
}

ReceiverContext UnitFinder::Listening() const {
    return {address_, static_cast<std::uint16_t>(kOneRegisterReply)};
}

void UnitFinder::Stop() {
    if (Running()) state_ = FinderState::Stopped;
}

std::int64_t UnitFinder::MsLeft() const {
    if (!Running()) return 0;
    std::int64_t ms = static_cast<std::int64_t>(last_ - address_ + 1) *
                      FinderTryMs(BaudRateFromIndex(BaudIndex()));
    for (std::size_t rate = rateIndex_ + 1; rate < RatesToTry(); ++rate)
        ms += static_cast<std::int64_t>(AddressCount()) *
              FinderTryMs(BaudRateFromIndex(rates_[rate]));
    return ms;
}

} // namespace kvel
