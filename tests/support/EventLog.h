// One ordered record of what the fakes were asked to do, shared between a fake channel and a
// fake host when a test cares how their calls interleave.
#pragma once

#include <string>
#include <vector>

namespace kvel::test {

struct EventLog {
    std::vector<std::string> entries;

    void Add(std::string entry) { entries.push_back(std::move(entry)); }
    void Clear() { entries.clear(); }
};

} // namespace kvel::test
