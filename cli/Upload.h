// kvel-cli upload: the firmware window's transfer, with a progress bar on a terminal and plain
// progress lines elsewhere.
#pragma once

#include "CommandLine.h"
#include "UnitSession.h"

namespace kvel::cli {

int Upload(UnitSession& session, const Invocation& invocation);

} // namespace kvel::cli
