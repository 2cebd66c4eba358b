// The frames of the firmware programming exchange, as the controller expects them: the command
// written to the command register, the block frames and their acknowledgements. The block frame's
// layout is written here once: the upload builds it, the monitor and the simulated unit read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kvel {

// Written to the command register with function 6: the controller enters programming mode.
constexpr std::uint16_t kProgrammingCommand = 0x00B9;
// Read from the command register with function 3 once the controller takes blocks.
constexpr std::uint16_t kReadyStatus = 1;

// Block frame: address, 0x06, the command register, the length without the CRC, the flash
// address (two words, high first), the data, the CRC. The closing frame carries one zero byte.
constexpr std::size_t kBlockHeaderBytes = 10;
constexpr std::uint16_t kBlockBytes = 2048;
constexpr std::uint32_t kFlashBase = 0x08004000;
constexpr std::size_t kCrcBytes = 2;
constexpr std::size_t kShortestBlockFrame = kBlockHeaderBytes + 1 + kCrcBytes;
constexpr std::size_t kLongestBlockFrame = kBlockHeaderBytes + kBlockBytes + kCrcBytes;
// The controller answers a block with address, 0x06, the block frame's CRC and its own CRC.
constexpr std::size_t kAcknowledgementBytes = 7;

// Where block `index` goes in flash.
constexpr std::uint32_t FlashAddressOfBlock(std::uint32_t index) {
    return kFlashBase + index * kBlockBytes;
}
// Which block a flash address starts; none off the block grid.
std::optional<std::uint32_t> BlockIndexAt(std::uint32_t flashAddress);

// Writes the header for `dataBytes` of data into the first kBlockHeaderBytes of `frame`; the
// data follow it and the CRC after them. Returns the frame's length without the CRC.
std::uint16_t PutBlockHeader(std::uint8_t* frame, std::uint8_t address, std::uint32_t flashAddress,
                             std::uint16_t dataBytes);

// What a block or closing frame carries.
struct BlockFrame {
    std::uint8_t address = 0;
    std::uint32_t flashAddress = 0;
    const std::uint8_t* data = nullptr;
    std::size_t dataBytes = 0;

    // The closing frame is one zero byte at the address after the last block.
    bool Closing() const { return dataBytes == 1 && data[0] == 0; }
};

// The frame read back: none unless it is a write to the command register whose length field
// matches `length`, with some data and a CRC that holds.
std::optional<BlockFrame> ReadBlockFrame(const std::uint8_t* frame, std::size_t length);

// The whole length, CRC included, that the block header at the front of `head` announces; 0 while
// fewer than its first six bytes are there, when they are no block header, or when the length is
// outside a block frame's.
std::size_t AnnouncedBlockFrameLength(const std::uint8_t* head, std::size_t available);

} // namespace kvel
