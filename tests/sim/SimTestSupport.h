// Helpers shared by the simulated unit's tests: frames written as hex, replies read back.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "Formatting.h"
#include "ModbusFrame.h"
#include "UnitSimulator.h"

namespace kvel::sim::test {

inline std::vector<std::uint8_t> Hex(const std::string& text) {
    std::istringstream pairs(text);
    std::vector<std::uint8_t> bytes;
    unsigned value = 0;
    while (pairs >> std::hex >> value)
        bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
}

inline std::string HexOf(const std::vector<std::uint8_t>& bytes) {
    return HexBytes(bytes.data(), bytes.size());
}

inline std::vector<std::uint8_t> Joined(const Transmission& transmission) {
    std::vector<std::uint8_t> bytes;
    for (const ReplyPiece& piece : transmission.pieces)
        bytes.insert(bytes.end(), piece.bytes.begin(), piece.bytes.end());
    return bytes;
}

inline bool CrcHolds(const std::vector<std::uint8_t>& frame) {
    return kvel::CrcHolds(frame.data(), frame.size());
}

// Every holding register of unit 1.
constexpr const char* kReadAllHolding = "01 03 00 00 00 1B 05 C1";

// Feeds hex to the unit and returns its replies, pieces joined, in the order they would go out.
inline std::vector<std::vector<std::uint8_t>> RepliesTo(UnitSimulator& unit, const std::string& hex,
                                                        std::int32_t rate = 9600) {
    const std::vector<std::uint8_t> bytes = Hex(hex);
    std::vector<std::vector<std::uint8_t>> replies;
    for (const Exchange& exchange : unit.Receive(bytes.data(), bytes.size(), rate).exchanges)
        if (exchange.reply) replies.push_back(Joined(*exchange.reply));
    return replies;
}

// The single reply as hex, or "" when the unit kept quiet.
inline std::string ReplyTo(UnitSimulator& unit, const std::string& hex, std::int32_t rate = 9600) {
    const auto replies = RepliesTo(unit, hex, rate);
    return replies.empty() ? std::string() : HexOf(replies.front());
}

inline std::uint16_t ReadRegister(UnitSimulator& unit, std::uint8_t function, std::uint16_t reg) {
    const RequestFrame request = BuildRequestFrame(unit.Address(), function, reg, 1);
    const Exchange exchange =
        unit.Receive(request.data(), request.size(), unit.BitRate()).exchanges.at(0);
    return WordAt(&Joined(exchange.reply.value()).at(3));
}

inline void WriteRegister(UnitSimulator& unit, std::uint16_t reg, std::uint16_t value) {
    const RequestFrame request = BuildRequestFrame(unit.Address(), kWriteSingle, reg, value);
    unit.Receive(request.data(), request.size(), unit.BitRate());
}

} // namespace kvel::sim::test
