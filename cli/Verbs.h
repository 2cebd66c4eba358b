// The verbs of kvel-cli, each from an opened session to an exit code.
#pragma once

#include "CommandLine.h"

namespace kvel::cli {

// Opens the port, runs the verb and says on stderr what failed and why.
int RunVerb(const Invocation& invocation);

} // namespace kvel::cli
