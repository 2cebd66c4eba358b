// RTU request frames and the rules by which a reply frame is accepted.
#pragma once

#include "ModbusExceptions.h"

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

constexpr bool IsRead(std::uint8_t function) {
    return function == kReadHolding || function == kReadInput;
}

// The whole length of a reply frame by its function code, as QModbusPdu::calculateDataSize tells
// a reply's size: an exception is 5 bytes, a read its byte count and 5, anything else the 8 bytes
// of a write's echo (16-bit arithmetic). The firmware's block acknowledgement is the unit's own
// and sits with its frames.
constexpr std::uint16_t ReplyLength(std::uint8_t function, std::uint16_t byteCount) {
    if (function & kExceptionFlag) return kExceptionReplyLength;
    if (IsRead(function)) return static_cast<std::uint16_t>(byteCount + 5);
    return 8;
}

// The reply a request calls for: 2 * count + 5 for reads, 8 for anything else.
constexpr std::uint16_t ReplyLengthFor(std::uint8_t function, std::uint16_t countOrValue) {
    return ReplyLength(function,
                       IsRead(function) ? static_cast<std::uint16_t>(2 * countOrValue) : 0);
}

// The length the head of a received reply announces; 0 while too few bytes are there to tell.
constexpr std::size_t ReplyLengthAt(const std::uint8_t* head, std::size_t available) {
    if (available < 3) return 0;
    return ReplyLength(head[1], head[2]);
}

// Appends the CRC, low byte first, after `length` bytes already in `frame`.
void AppendCrc(std::uint8_t* frame, std::uint16_t length);

enum class ReplyKind { Rejected, Holding, Input, Write };

// Whether the last two of `length` bytes are the CRC of those before them, low byte first.
bool CrcHolds(const std::uint8_t* frame, std::size_t length);

// Classifies the last `length` bytes received. Checks run in order: CRC, address, function.
ReplyKind ClassifyReply(const std::uint8_t* frame, std::uint16_t length,
                        std::uint8_t deviceAddress);

inline std::uint16_t WordAt(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

} // namespace kvel
