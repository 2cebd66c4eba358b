// data.inf: the COM port, bit rate and device address kept between runs, as three
// little-endian 16-bit words.
#pragma once

#include "LinkState.h"

namespace kvel {

// Fills as many of the six bytes as the file has; the rest keep their values. False when the
// file cannot be opened for reading and writing.
bool LoadDataInf(const char* path, ConnectionSettings& settings);
// Rewrites the first six bytes, keeping any that follow; creates the file when it is missing.
bool SaveDataInf(const char* path, const ConnectionSettings& settings);

} // namespace kvel
