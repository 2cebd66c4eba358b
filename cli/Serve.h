// kvel-cli serve: the units at the listed addresses polled in the background, their readings
// and link served to Prometheus over HTTP until the program is stopped.
#pragma once

#include "CommandLine.h"

namespace kvel::cli {

int Serve(const Invocation& invocation);

} // namespace kvel::cli
