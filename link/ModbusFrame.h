// RTU request frames and the rules by which a reply frame is accepted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kvel {

constexpr std::uint8_t kReadHolding = 3;
constexpr std::uint8_t kReadInput = 4;
constexpr std::uint8_t kWriteSingle = 6;
// Set in the function code of a Modbus exception reply.
constexpr std::uint8_t kExceptionFlag = 0x80;
// A character on the line: start bit, 8 data bits, stop bit.
constexpr int kBitsPerByte = 10;

using RequestFrame = std::array<std::uint8_t, 8>;
// Address, function with the exception flag, exception code, CRC.
constexpr std::uint16_t kExceptionReplyLength = 5;

// Every queued request goes out as exactly these 8 bytes, whatever its function code.
RequestFrame BuildRequestFrame(std::uint8_t address, std::uint8_t function, std::uint16_t reg,
                               std::uint16_t countOrValue);

// 2 * count + 5 for reads, 8 for anything else (16-bit arithmetic).
constexpr std::uint16_t ReplyLengthFor(std::uint8_t function, std::uint16_t countOrValue) {
    if (function == kReadHolding || function == kReadInput)
        return static_cast<std::uint16_t>(2 * countOrValue + 5);
    return 8;
}

// Appends the CRC, low byte first, after `length` bytes already in `frame`.
void AppendCrc(std::uint8_t* frame, std::uint16_t length);

enum class ReplyKind { Rejected, Holding, Input, Write };

// Whether the last two of `length` bytes are the CRC of those before them, low byte first.
bool CrcHolds(const std::uint8_t* frame, std::size_t length);

// Classifies the last `length` bytes received. Checks run in order: CRC, address, function.
ReplyKind ClassifyReply(const std::uint8_t* frame, std::uint16_t length,
                        std::uint8_t deviceAddress);

// Exception codes that say the unit may take the same request a moment later.
constexpr std::uint8_t kExceptionAcknowledge = 0x05;
constexpr std::uint8_t kExceptionBusy = 0x06;

// What the Modbus standard calls an exception code: "busy" for 6, "exception" when unknown.
const char* ExceptionName(std::uint8_t code);

// A gateway answers these for the unit behind it when the unit never answered (0B) or cannot be
// reached at all (0A): no unit is there, however much the exception looks like an answer.
constexpr std::uint8_t kExceptionGatewayPathUnavailable = 0x0A;
constexpr std::uint8_t kExceptionGatewayTargetSilent = 0x0B;
constexpr bool GatewayFoundNoUnit(std::uint8_t code) {
    return code == kExceptionGatewayPathUnavailable || code == kExceptionGatewayTargetSilent;
}

inline std::uint16_t WordAt(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

} // namespace kvel
