// The one way the programs keep their small files (network.ini, overview.ini): never a file cut
// short in place of the one there was.
#pragma once

#include <string>

namespace kvel {

// Why a save failed: the system's error number and its own words for it.
struct SaveError {
    int code = 0;
    std::string text;
};

// Written beside `path` and renamed over it, so that a write cut short by a full disk or a crash
// leaves the file there was. False when it could not be written; the file is then as it was, and
// `error`, when given, says why.
bool SaveWholeFile(const std::string& path, const std::string& text, SaveError* error = nullptr);

} // namespace kvel
