// The block frame's layout: address, 0x06, the command register, the length without the CRC, the
// flash address (two words, high first), the data, the CRC.
#include "FirmwareFrames.h"

#include "ModbusFrame.h"
#include "RegisterMap.h"

namespace kvel {

namespace {
constexpr std::size_t kLengthField = 4;
constexpr std::size_t kFlashAddressField = 6;

void PutWordAt(std::uint8_t* bytes, std::uint16_t word) {
    bytes[0] = static_cast<std::uint8_t>(word >> 8);
    bytes[1] = static_cast<std::uint8_t>(word & 0xFF);
}

bool WritesCommandRegister(const std::uint8_t* head) {
    return head[1] == kWriteSingle && WordAt(head + 2) == reg::kCommandRegister;
}

// The length field counts everything but the CRC.
std::size_t AnnouncedLength(const std::uint8_t* head) {
    return WordAt(head + kLengthField) + kCrcBytes;
}
} // namespace

std::optional<std::uint32_t> BlockIndexAt(std::uint32_t flashAddress) {
    if (flashAddress < kFlashBase || (flashAddress - kFlashBase) % kBlockBytes != 0) return {};
    return (flashAddress - kFlashBase) / kBlockBytes;
}

std::uint16_t PutBlockHeader(std::uint8_t* frame, std::uint8_t address, std::uint32_t flashAddress,
                             std::uint16_t dataBytes) {
    const auto length = static_cast<std::uint16_t>(kBlockHeaderBytes + dataBytes);
    frame[0] = address;
    frame[1] = kWriteSingle;
    PutWordAt(frame + 2, reg::kCommandRegister);
    PutWordAt(frame + kLengthField, length);
    PutWordAt(frame + kFlashAddressField, static_cast<std::uint16_t>(flashAddress >> 16));
    PutWordAt(frame + kFlashAddressField + 2, static_cast<std::uint16_t>(flashAddress & 0xFFFF));
    return length;
}

std::optional<BlockFrame> ReadBlockFrame(const std::uint8_t* frame, std::size_t length) {
    if (length < kShortestBlockFrame || !WritesCommandRegister(frame)) return {};
    if (AnnouncedLength(frame) != length || !CrcHolds(frame, length)) return {};
    BlockFrame block;
    block.address = frame[0];
    block.flashAddress = static_cast<std::uint32_t>(WordAt(frame + kFlashAddressField)) << 16 |
                         WordAt(frame + kFlashAddressField + 2);
    block.data = frame + kBlockHeaderBytes;
    block.dataBytes = length - kBlockHeaderBytes - kCrcBytes;
    return block;
}

std::size_t AnnouncedBlockFrameLength(const std::uint8_t* head, std::size_t available) {
    if (available < kFlashAddressField || !WritesCommandRegister(head)) return 0;
    const std::size_t length = AnnouncedLength(head);
    if (length < kShortestBlockFrame || length > kLongestBlockFrame) return 0;
    return length;
}

} // namespace kvel
