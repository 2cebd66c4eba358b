// The controller's firmware identification, as the last input-register poll gave it.
#pragma once

#include "LinkState.h"

#include <cstdint>

namespace kvel {

struct VersionInfo {
    std::uint16_t firmwareVersion = 0;
    std::uint16_t compileYear = 0;
    std::uint8_t compileMonth = 0;
    std::uint8_t compileDay = 0;
    std::uint16_t compileNumber = 0;
};

VersionInfo VersionFromInputs(const RegisterImage& input);

} // namespace kvel
