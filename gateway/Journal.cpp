// One line per event, repeats folded.
#include "Journal.h"

#include <cstdio>

namespace kvel::gateway {

namespace {
constexpr auto kFoldWindow = std::chrono::minutes(1);
// Distinct lines remembered; past it the oldest go, and one of them may be written twice.
constexpr std::size_t kMostRemembered = 256;
} // namespace

Journal::Journal(Sink sink) : sink_(std::move(sink)) {
    if (sink_) return;
    sink_ = [](const std::string& line) {
        std::fprintf(stderr, "kvel-gateway: %s\n", line.c_str());
        std::fflush(stderr);
    };
}

void Journal::Write(const std::string& line, Clock::time_point now) {
    const auto found = seen_.find(line);
    if (found != seen_.end() && now - found->second.writtenAt < kFoldWindow) {
        ++found->second.folded;
        return;
    }
    const int folded = found == seen_.end() ? 0 : found->second.folded;
    sink_(folded == 0 ? line : line + " (and " + std::to_string(folded) + " times more before)");
    Forget(now);
    seen_[line] = {now, 0};
}

void Journal::Forget(Clock::time_point now) {
    if (seen_.size() < kMostRemembered) return;
    for (auto it = seen_.begin(); it != seen_.end();)
        it = now - it->second.writtenAt >= kFoldWindow ? seen_.erase(it) : std::next(it);
    if (seen_.size() >= kMostRemembered) seen_.clear();
}

} // namespace kvel::gateway
