// data.inf: the COM port, bit rate and device address kept between runs, as three
// little-endian 16-bit words.
#pragma once

#include "LinkState.h"

#include <string>

namespace kvel {

// Fills as many of the six bytes as the file has; the rest keep their values. False when the
// file cannot be opened for reading and writing, or is not a regular file (a pipe would keep
// the program waiting before any window).
bool LoadDataInf(const char* path, ConnectionSettings& settings);
// Rewrites the first six bytes, keeping any that follow; creates the file when it is missing.
// False when it could not, and then `failure`, when given, says why.
bool SaveDataInf(const char* path, const ConnectionSettings& settings,
                 std::string* failure = nullptr);

} // namespace kvel
