// Bit rate of a terminal, in bit/s rather than as a B-constant, so odd rates work too.
#pragma once

#include <cstdint>

namespace kvel::sim {

// 0 when the descriptor is not a terminal.
std::int32_t TerminalBitRate(int fd);
// False when the rate could not be set.
bool SetTerminalBitRate(int fd, std::int32_t bitRate);

} // namespace kvel::sim
