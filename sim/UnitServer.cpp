// Event loop of the simulated unit.
#include "UnitServer.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

#include "Formatting.h"
#include "ModbusFrame.h"

namespace kvel::sim {

namespace {
using namespace std::chrono_literals;

// A controller turns a request around in a few ms; replies then take their time on the wire.
constexpr auto kTurnaround = 4ms;
constexpr auto kTickPeriod = 100ms;
// While no client holds the line open the master reports hang-up at once; waiting this long
// between looks keeps that from becoming a busy loop.
constexpr auto kAbsentPeerRetry = 50ms;

std::string FrameLine(const char* direction, const std::vector<std::uint8_t>& bytes) {
    return std::string(direction) + ' ' + HexBytes(bytes.data(), bytes.size());
}
} // namespace

std::chrono::microseconds TransmissionTime(std::size_t byteCount, std::int32_t bitRate) {
    if (bitRate <= 0) return 0us;
    const auto bits = static_cast<std::int64_t>(byteCount) * kBitsPerByte;
    return std::chrono::microseconds(bits * 1'000'000 / bitRate);
}

UnitServer::UnitServer(UnitSimulator& unit, LineTransport& port, Hooks hooks)
    : UnitServer(std::vector<UnitSimulator*>{&unit}, port, std::move(hooks)) {}

UnitServer::UnitServer(std::vector<UnitSimulator*> units, LineTransport& port, Hooks hooks)
    : units_(std::move(units)), port_(port), hooks_(std::move(hooks)), lastTick_(Clock::now()) {}

void UnitServer::ServeFor(std::chrono::milliseconds duration) {
    const auto deadline = Clock::now() + duration;
    do {
        SendDue();
        AgePlant();
        auto wakeUp = std::min(deadline, lastTick_ + kTickPeriod);
        if (!outgoing_.empty()) wakeUp = std::min(wakeUp, outgoing_.front().due);
        if (!WaitForLine(wakeUp)) return;
    } while (Clock::now() < deadline);
    SendDue();
}

bool UnitServer::WaitForLine(Clock::time_point until) {
    const auto now = Clock::now();
    const bool lookAtLine = peerPresent_ || now >= peerAbsentUntil_;
    if (!lookAtLine) until = std::min(until, peerAbsentUntil_);
    const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    pollfd line{port_.Descriptor(), POLLIN, 0};
    const int ready = poll(&line, lookAtLine ? 1 : 0, static_cast<int>(std::max<long>(waitMs, 0)));
    if (ready < 0) return errno != EINTR;
    if (ready == 0) return true;
    if (line.revents & POLLIN)
        TakeInput();
    else if (line.revents & (POLLHUP | POLLERR)) {
        port_.PeerHungUp();
        LosePeer();
    }
    return true;
}

void UnitServer::TakeInput() {
    const LineTransport::ReadResult input = port_.Read();
    if (input.status == LineTransport::ReadStatus::NoPeer) LosePeer();
    if (input.status != LineTransport::ReadStatus::Data) return;
    if (!peerPresent_) Log("client opened the line");
    peerPresent_ = true;
    const std::int32_t peerBitRate = port_.PeerBitRate();
    for (UnitSimulator* unit : units_) {
        const Reception reception =
            unit->Receive(input.bytes.data(), input.bytes.size(), peerBitRate);
        // Said once for the line, by the first unit, rather than once per unit listening.
        if (!reception.discarded.empty() && unit == units_.front())
            Log(FrameLine("<-", input.bytes) + "  (lost: " + reception.discarded + ")");
        Handle(reception, units_.size() > 1);
    }
}

// With several units on the line, each frame is logged by the unit it was for.
void UnitServer::Handle(const Reception& reception, bool otherUnitsListen) {
    for (const Exchange& exchange : reception.exchanges) {
        if (otherUnitsListen && !exchange.addressed) continue;
        std::string line = "<- " + HexBytes(exchange.request.data(), exchange.request.size());
        if (!exchange.note.empty()) line += "  (" + exchange.note + ")";
        Log(line);
        if (exchange.wroteHolding && hooks_.holdingWritten) hooks_.holdingWritten();
        if (exchange.programmed && hooks_.programmed) hooks_.programmed();
        if (exchange.reply) Schedule(*exchange.reply);
    }
}

void UnitServer::Schedule(const Transmission& transmission) {
    auto due = std::max(Clock::now() + kTurnaround, lineFreeAt_);
    for (const ReplyPiece& piece : transmission.pieces) {
        due += std::chrono::milliseconds(piece.gapMs) +
               TransmissionTime(piece.bytes.size(), transmission.bitRate);
        outgoing_.push_back({due, piece.bytes});
    }
    lineFreeAt_ = due;
}

void UnitServer::SendDue() {
    const auto now = Clock::now();
    while (!outgoing_.empty() && outgoing_.front().due <= now) {
        const std::vector<std::uint8_t>& bytes = outgoing_.front().bytes;
        Log(FrameLine("->", bytes) + (port_.Write(bytes) ? "" : "  (not written)"));
        outgoing_.pop_front();
    }
}

void UnitServer::AgePlant() {
    const auto now = Clock::now();
    if (now - lastTick_ < kTickPeriod) return;
    for (UnitSimulator* unit : units_)
        unit->Tick(std::chrono::duration<double>(now - lastTick_).count());
    lastTick_ = now;
}

void UnitServer::LosePeer() {
    // Replies still queued would otherwise greet whoever opens the line next.
    outgoing_.clear();
    if (peerPresent_) Log("client closed the line");
    peerPresent_ = false;
    peerAbsentUntil_ = Clock::now() + kAbsentPeerRetry;
}

void UnitServer::Log(const std::string& line) const {
    if (hooks_.log) hooks_.log(line);
}

} // namespace kvel::sim
