// kvel-cli find: the unit finder's scan from the command line.
#pragma once

#include "CommandLine.h"

namespace kvel::cli {

// Lists the units that answer on the port; exit 0 when any did, 2 when none did or the port
// would not open.
int Find(const Invocation& invocation);

} // namespace kvel::cli
