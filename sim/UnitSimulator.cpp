// Request handling and fault injection of the simulated unit.
#include "UnitSimulator.h"

#include <algorithm>

#include "Crc16.h"
#include "FirmwareFrames.h"
#include "SerialChannel.h"

namespace kvel::sim {

namespace {
constexpr std::uint16_t kMostRegistersPerRead = 125;
constexpr std::size_t kMostReplyPieces = 3;

std::uint16_t RegisterOf(const RequestFrame& request) {
    return WordAt(&request[2]);
}
std::uint16_t ArgumentOf(const RequestFrame& request) {
    return WordAt(&request[4]);
}

void PushWord(std::vector<std::uint8_t>& frame, std::uint16_t word) {
    frame.push_back(static_cast<std::uint8_t>(word >> 8));
    frame.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

void SealWithCrc(std::vector<std::uint8_t>& frame) {
    const auto length = static_cast<std::uint16_t>(frame.size());
    frame.resize(frame.size() + 2);
    AppendCrc(frame.data(), length);
}

void AddNote(std::string& note, const char* what) {
    if (!note.empty()) note += ", ";
    note += what;
}
} // namespace

std::vector<std::uint8_t> ExceptionFrame(std::uint8_t address, std::uint8_t function,
                                         std::uint8_t code) {
    std::vector<std::uint8_t> frame{address, static_cast<std::uint8_t>(function | kExceptionFlag),
                                    code};
    SealWithCrc(frame);
    return frame;
}

UnitSimulator::UnitSimulator(const UnitSetup& setup, const ProgrammingSettings& programming)
    : model_(setup), programmer_(programming), faultRng_(setup.seed + 1) {}

std::uint8_t UnitSimulator::Address() const {
    return static_cast<std::uint8_t>(model_.Holding()[reg::holding::DeviceAddress]);
}

std::int32_t UnitSimulator::BitRate() const {
    const std::uint16_t index = model_.Holding()[reg::holding::BaudIndex];
    // Indexes past one byte must not wrap onto a valid one.
    return BaudRateFromIndex(static_cast<std::uint8_t>(std::min<std::uint16_t>(index, 0xFF)));
}

Reception UnitSimulator::Receive(const std::uint8_t* bytes, std::size_t length,
                                 std::int32_t senderBitRate) {
    Reception reception;
    if (faults_.silent) {
        reception.discarded = "unit silent";
        return reception;
    }
    if (senderBitRate != BitRate()) {
        // Garbage also ruins whatever frame was in progress.
        assembler_.Discard();
        reception.discarded = "sent at " + std::to_string(senderBitRate) + " bit/s, unit at " +
                              std::to_string(BitRate());
        return reception;
    }
    assembler_.Append(bytes, length);
    while (auto frame = assembler_.NextFrame())
        reception.exchanges.push_back(Serve(std::move(*frame)));
    return reception;
}

Exchange UnitSimulator::Serve(std::vector<std::uint8_t> frame) {
    Exchange exchange;
    exchange.request = std::move(frame);
    const std::vector<std::uint8_t>& request = exchange.request;
    if (request[0] != Address()) {
        exchange.note = "not for this unit";
        exchange.addressed = false;
        return exchange;
    }
    // Captured first: an echo goes out at the rate the request came in at.
    const std::int32_t bitRate = BitRate();
    std::vector<std::uint8_t> reply;
    if (Chance(faults_.exceptionShare)) {
        reply = ExceptionFrame(request[0], request[1], kExceptionBusy);
        AddNote(exchange.note, "exception injected");
    } else {
        reply = Answer(request, exchange);
    }
    if (reply.empty()) return exchange;
    if (Chance(faults_.dropShare)) {
        AddNote(exchange.note, "reply dropped");
        return exchange;
    }
    exchange.reply = Deliver(std::move(reply), bitRate, exchange.note);
    return exchange;
}

std::vector<std::uint8_t> UnitSimulator::Answer(const std::vector<std::uint8_t>& frame,
                                                Exchange& exchange) {
    if (frame.size() != std::tuple_size_v<RequestFrame>) return Program(frame, exchange);
    RequestFrame request{};
    std::copy(frame.begin(), frame.end(), request.begin());
    return Execute(request, exchange);
}

std::vector<std::uint8_t> UnitSimulator::Execute(const RequestFrame& request, Exchange& exchange) {
    if (RegisterOf(request) == reg::kCommandRegister) return CommandReply(request);
    switch (request[1]) {
    case kReadHolding:
    case kReadInput:
        return ReadReply(request);
    case kWriteSingle:
        return WriteReply(request, exchange);
    default:
        return ExceptionFrame(request[0], request[1], kExceptionIllegalFunction);
    }
}

std::vector<std::uint8_t> UnitSimulator::ReadReply(const RequestFrame& request) {
    const std::uint16_t first = RegisterOf(request);
    const std::uint16_t count = ArgumentOf(request);
    if (count == 0 || count > kMostRegistersPerRead)
        return ExceptionFrame(request[0], request[1], kExceptionIllegalValue);
    const bool holding = request[1] == kReadHolding;
    const std::uint16_t* bank = holding ? model_.Holding().data() : model_.Input().data();
    const std::size_t bankSize = holding ? model_.Holding().size() : model_.Input().size();
    if (std::size_t{first} + count > bankSize)
        return ExceptionFrame(request[0], request[1], kExceptionIllegalAddress);

    std::vector<std::uint8_t> reply{request[0], request[1], static_cast<std::uint8_t>(2 * count)};
    for (std::uint16_t i = 0; i < count; ++i)
        PushWord(reply, bank[first + i]);
    SealWithCrc(reply);
    return reply;
}

std::vector<std::uint8_t> UnitSimulator::WriteReply(const RequestFrame& request,
                                                    Exchange& exchange) {
    const std::uint16_t reg = RegisterOf(request);
    if (reg >= model_.Holding().size())
        return ExceptionFrame(request[0], request[1], kExceptionIllegalAddress);
    if (!model_.WriteHolding(reg, ArgumentOf(request)))
        return ExceptionFrame(request[0], request[1], kExceptionIllegalValue);
    exchange.wroteHolding = true;
    return {request.begin(), request.end()};
}

// The programming-mode command is echoed like any write; the status read answers 1 once ready.
std::vector<std::uint8_t> UnitSimulator::CommandReply(const RequestFrame& request) {
    if (request[1] == kWriteSingle && ArgumentOf(request) == kProgrammingCommand) {
        programmer_.Enter();
        return {request.begin(), request.end()};
    }
    if (request[1] == kReadHolding && ArgumentOf(request) == 1) {
        std::vector<std::uint8_t> reply{request[0], request[1], 2};
        PushWord(reply, programmer_.Status());
        SealWithCrc(reply);
        return reply;
    }
    return ExceptionFrame(request[0], request[1], kExceptionIllegalAddress);
}

// A stored block is acknowledged with a 7-byte frame carrying its CRC, high byte first; the
// closing frame and refused frames get no answer.
std::vector<std::uint8_t> UnitSimulator::Program(const std::vector<std::uint8_t>& frame,
                                                 Exchange& exchange) {
    const FlashProgrammer::Outcome outcome = programmer_.Take(frame, exchange.note);
    if (outcome == FlashProgrammer::Outcome::Closed) {
        model_.NewFirmware();
        exchange.programmed = true;
        AddNote(exchange.note, "programming closed");
    }
    if (outcome != FlashProgrammer::Outcome::Stored) return {};
    if (Chance(faults_.ackDropShare)) {
        AddNote(exchange.note, "acknowledgement dropped");
        return {};
    }
    std::uint16_t crc = WordAt(&frame[frame.size() - 2]);
    crc = static_cast<std::uint16_t>(crc >> 8 | crc << 8); // carried low byte first
    if (faults_.wrongAckCrc) {
        crc = static_cast<std::uint16_t>(~crc);
        AddNote(exchange.note, "acknowledged with a wrong CRC");
    }
    std::vector<std::uint8_t> reply{frame[0], kWriteSingle, 0};
    PushWord(reply, crc);
    SealWithCrc(reply);
    return reply;
}

Transmission UnitSimulator::Deliver(std::vector<std::uint8_t> reply, std::int32_t bitRate,
                                    std::string& note) {
    if (Chance(faults_.corruptShare)) {
        Corrupt(reply);
        AddNote(note, "reply corrupted");
    }
    Transmission transmission;
    transmission.bitRate = bitRate;
    if (faults_.splitGapMs > 0 && reply.size() > 1) {
        transmission.pieces = Split(reply);
        AddNote(note, "reply split");
    } else {
        transmission.pieces.push_back({0, std::move(reply)});
    }
    if (faults_.delayMs > 0) {
        transmission.pieces.front().gapMs += faults_.delayMs;
        AddNote(note, "reply delayed");
    }
    return transmission;
}

void UnitSimulator::Corrupt(std::vector<std::uint8_t>& reply) {
    // One flipped byte is always caught by the CRC, so the master is sure to reject the frame.
    std::uniform_int_distribution<std::size_t> position(0, reply.size() - 1);
    std::uniform_int_distribution<int> flip(1, 0xFF);
    reply[position(faultRng_)] ^= static_cast<std::uint8_t>(flip(faultRng_));
}

std::vector<ReplyPiece> UnitSimulator::Split(const std::vector<std::uint8_t>& reply) {
    std::vector<std::size_t> cuts(reply.size() - 1);
    for (std::size_t i = 0; i < cuts.size(); ++i)
        cuts[i] = i + 1;
    std::shuffle(cuts.begin(), cuts.end(), faultRng_);
    cuts.resize(std::min(cuts.size(), kMostReplyPieces - 1));
    std::sort(cuts.begin(), cuts.end());
    cuts.push_back(reply.size());

    std::vector<ReplyPiece> pieces;
    std::size_t start = 0;
    for (const std::size_t end : cuts) {
        const int gap = pieces.empty() ? 0 : faults_.splitGapMs;
        pieces.push_back({gap,
                          {reply.begin() + static_cast<std::ptrdiff_t>(start),
                           reply.begin() + static_cast<std::ptrdiff_t>(end)}});
        start = end;
    }
    return pieces;
}

bool UnitSimulator::Chance(double share) {
    if (!(share > 0)) return false;
    if (share >= 1) return true;
    return std::uniform_real_distribution<double>(0.0, 1.0)(faultRng_) < share;
}

} // namespace kvel::sim
