// Frames told in the language of the register map, one line each, for the traffic monitor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvel {

// What the frame alone cannot tell: how many blocks the firmware upload has, 0 when unknown.
struct DecodeContext {
    std::uint16_t firmwareBlocks = 0;
};

// A frame the program wrote: a request, the programming command or a firmware block.
std::string DescribeRequest(const std::uint8_t* frame, std::size_t length,
                            const DecodeContext& context = {});
// A frame the receiver took, or a CRC-valid frame it refused.
std::string DescribeReply(const std::uint8_t* frame, std::size_t length);
// "Исключение 02: недопустимый адрес данных".
std::string ExceptionText(std::uint8_t code);

// "01 03 00 00": bytes as hex pairs, at most `most` of them, then "…" when there were more.
std::string HexBytes(const std::uint8_t* bytes, std::size_t length, std::size_t most);
// "48,5": a word of tenths with the decimal comma.
std::string DecimalTenths(std::uint16_t tenths);

} // namespace kvel
