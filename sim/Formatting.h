// Text forms of what the unit sends, receives and holds, for logs and the state file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "UnitModel.h"

namespace kvel::sim {

// "01 03 00 00": upper-case pairs separated by single spaces.
std::string HexBytes(const std::uint8_t* bytes, std::size_t length);

// One "H<n>=<value>" line per holding register, values unsigned decimal.
std::string HoldingText(const HoldingBank& bank);

} // namespace kvel::sim
