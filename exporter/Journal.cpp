// kvel-exporter's journal.
#include "Journal.h"

#include <cstdio>

namespace kvel::exporter {

Journal::Journal(Writer writer) : writer_(std::move(writer)) {}

void Journal::Tell(const std::string& kind, const std::string& text, Clock::time_point now) {
    if (kind.empty()) return Write(text);
    const auto known = kinds_.find(kind);
    if (known != kinds_.end() && now - known->second.toldAt < kJournalFoldWindow) {
        ++known->second.folded;
        known->second.lastFolded = text;
        return;
    }
    Kind& entry = kinds_[kind];
    if (entry.folded > 0) Write(FoldedText(entry));
    entry = Kind{now, 0, {}};
    Write(text);
}

void Journal::FlushFolded(Clock::time_point now) {
    for (auto at = kinds_.begin(); at != kinds_.end();) {
        Kind& kind = at->second;
        if (now - kind.toldAt < kJournalFoldWindow) {
            ++at;
            continue;
        }
        if (kind.folded == 0) {
            at = kinds_.erase(at);
            continue;
        }
        Write(FoldedText(kind));
        kind = Kind{now, 0, {}};
        ++at;
    }
}

std::string Journal::FoldedText(const Kind& kind) {
    return kind.lastFolded + " (" + std::to_string(kind.folded) +
           (kind.folded == 1 ? " time" : " times") + " within " +
           std::to_string(kJournalFoldWindow.count()) + " s, folded)";
}

void Journal::Write(const std::string& text) const {
    if (writer_) return writer_(text);
    std::fprintf(stderr, "kvel-exporter: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace kvel::exporter
