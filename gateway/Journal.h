// One line per event on stderr, where systemd's journal takes it. A line that comes again
// within a minute (a client reconnecting every second, a unit flapping) is counted instead of
// written, and the count rides on its next line, so that no client can flood the journal.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

namespace kvel::gateway {

class Journal {
public:
    using Clock = std::chrono::steady_clock;
    using Sink = std::function<void(const std::string&)>;

    // Writes to stderr unless given a sink.
    explicit Journal(Sink sink = {});

    void Write(const std::string& line, Clock::time_point now = Clock::now());

private:
    struct Seen {
        Clock::time_point writtenAt;
        int folded = 0;
    };
    void Forget(Clock::time_point now);

    Sink sink_;
    std::map<std::string, Seen> seen_;
};

} // namespace kvel::gateway
