// overview.ini beside data.inf: the addresses the bus overview polled last, so that the list an
// operator typed outlives the window and the program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvel {

constexpr const char* kOverviewIniName = "overview.ini";

// Nothing for a missing file. Nothing either for a file that does not read, and `problem` says
// what is wrong with it.
std::optional<std::vector<std::uint8_t>> ReadOverviewList(const std::string& path,
                                                          std::string& problem);
// False when the file could not be written; the file is then as it was.
bool WriteOverviewList(const std::string& path, const std::vector<std::uint8_t>& addresses);

} // namespace kvel
