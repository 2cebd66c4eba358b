// kvel-cli serve: kvel-exporter for the units at the listed addresses on one port. It runs in
// kvel-cli's place, so that kvel-cli itself never loads the HTTP libraries.
#pragma once

#include "CommandLine.h"

namespace kvel::cli {

int Serve(const Invocation& invocation);

} // namespace kvel::cli
