// RTU request frames and reply acceptance.
#include "ModbusFrame.h"

#include "Crc16.h"

namespace kvel {

void AppendCrc(std::uint8_t* frame, std::uint16_t length) {
    const std::uint16_t crc = Crc16Block(length, frame);
    frame[length] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[length + 1] = static_cast<std::uint8_t>(crc >> 8);
}

RequestFrame BuildRequestFrame(std::uint8_t address, std::uint8_t function, std::uint16_t reg,
                               std::uint16_t countOrValue) {
    RequestFrame frame{address,
                       function,
                       static_cast<std::uint8_t>(reg >> 8),
                       static_cast<std::uint8_t>(reg & 0xFF),
                       static_cast<std::uint8_t>(countOrValue >> 8),
                       static_cast<std::uint8_t>(countOrValue & 0xFF),
                       0,
                       0};
    AppendCrc(frame.data(), 6);
    return frame;
}

bool CrcHolds(const std::uint8_t* frame, std::size_t length) {
    // A frame is at least an address, a function and the CRC.
    if (length < 4 || length > 0xFFFF) return false;
    const auto body = static_cast<std::uint16_t>(length - 2);
    return Crc16Block(body, frame) == (frame[body] | frame[body + 1] << 8);
}

namespace {
bool ByteCountMatches(const std::uint8_t* frame, std::uint16_t length) {
    return frame[2] != 0 && ReplyLengthAt(frame, length) == length;
}
} // namespace

ReplyKind ClassifyReply(const std::uint8_t* frame, std::uint16_t length,
                        std::uint8_t deviceAddress) {
    if (!CrcHolds(frame, length)) return ReplyKind::Rejected;
    if (frame[0] != deviceAddress) return ReplyKind::Rejected;
    const std::uint8_t function = frame[1];
    if (function == kReadHolding && ByteCountMatches(frame, length)) return ReplyKind::Holding;
    if (function == kReadInput && ByteCountMatches(frame, length)) return ReplyKind::Input;
    if (function == kWriteSingle && length >= 5) return ReplyKind::Write;
    return ReplyKind::Rejected;
}

} // namespace kvel
