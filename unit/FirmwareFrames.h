// The frames of the firmware programming exchange, as the controller expects them: the command
// written to the command register, the block frames and their acknowledgements.
#pragma once

#include <cstddef>
#include <cstdint>

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

} // namespace kvel
