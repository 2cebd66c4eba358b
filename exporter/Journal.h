// kvel-exporter's journal: one line per event on stderr, which systemd keeps. An event of a kind
// already told within the fold window is only counted, and the count is told once the window
// is over, so a flapping line writes a few lines a minute, not one a round.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

namespace kvel::exporter {

constexpr std::chrono::seconds kJournalFoldWindow{60};

class Journal {
public:
    using Clock = std::chrono::steady_clock;
    using Writer = std::function<void(const std::string& line)>;

    // By default each line goes to stderr, "kvel-exporter: " before it.
    explicit Journal(Writer writer = {});

    // `kind` names what repeats ("lost plant-a/3"); an event that never repeats may leave it
    // empty.
    void Tell(const std::string& kind, const std::string& text, Clock::time_point now);
    void Tell(const std::string& text) { Tell({}, text, Clock::now()); }
    // Tells the counts of the windows that are over.
    void FlushFolded(Clock::time_point now);

private:
    struct Kind {
        Clock::time_point toldAt;
        int folded = 0;
        std::string lastFolded;
    };

    void Write(const std::string& text) const;
    static std::string FoldedText(const Kind& kind);

    Writer writer_;
    std::map<std::string, Kind> kinds_;
};

} // namespace kvel::exporter
