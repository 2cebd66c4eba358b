// The controller's firmware identification.
#include "VersionInfo.h"

#include "RegisterMap.h"

namespace kvel {

VersionInfo VersionFromInputs(const RegisterImage& input) {
    // Month and day travel in whole registers, but only their low bytes carry them.
    return {input[reg::input::FirmwareVersion], input[reg::input::CompileYear],
            static_cast<std::uint8_t>(input[reg::input::CompileMonth] & 0xFF),
            static_cast<std::uint8_t>(input[reg::input::CompileDay] & 0xFF),
            input[reg::input::CompileNumber]};
}

} // namespace kvel
