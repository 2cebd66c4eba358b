// The one way the programs keep their files (settings files, the monitor's log, network.ini,
// overview.ini): never a file cut short in place of the one there was.
#pragma once

#include <optional>
#include <string>

namespace kvel {

// Why a save failed: the system's error number where it gave one (0 where it gave none), and
// the system's own words for it.
struct SaveError {
    int error = 0;
    std::string systemText;
};

// Written beside `path` and renamed over it, so that a write cut short by a full disk or a crash
// leaves the file there was. None when saved; the file is otherwise as it was.
std::optional<SaveError> SaveWholeFileOrSayWhy(const std::string& path, const std::string& text);

// The same, where only whether it was saved matters.
inline bool SaveWholeFile(const std::string& path, const std::string& text) {
    return !SaveWholeFileOrSayWhy(path, text);
}

} // namespace kvel
