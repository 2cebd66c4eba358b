// kvel-cli upload: the firmware window's checks and transfer, with a progress bar on a terminal
// and plain progress lines elsewhere.
#pragma once

#include "CommandLine.h"

namespace kvel::cli {

int Upload(const Invocation& call);

} // namespace kvel::cli
