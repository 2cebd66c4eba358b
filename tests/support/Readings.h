// When the program has heard the simulated unit: both banks answered since the images were last
// cleared. The simulated unit's status word and voltage setpoint are never 0.
#pragma once

#include "LinkState.h"
#include "RegisterMap.h"

namespace kvel::test {

inline bool BothBanksRead(const LinkState& state) {
    return state.InputImage[reg::input::Status] != 0 &&
           state.HoldingImage[reg::holding::VoltageSetpoint] != 0;
}

} // namespace kvel::test
