// Settings-file reader under libFuzzer. Oracles: every refusal says why, in both languages; an
// accepted file holds only registers that belong in settings files; what is accepted, written
// again, reads back equal, and writing that is a fixed point; a byte-order mark in front changes
// nothing; the file cut at any point is refused or reads as the whole of it; and any of its
// entries given twice is refused.
#include "Registers.h"
#include "SettingsFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool holds) {
    if (!holds) std::abort();
}

bool IsEntry(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return false;
    const char c = line[first];
    return c != '#' && c != ';' && c != '[';
}

// A cut file is what a write that failed part-way leaves behind.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Windows editors put a byte-order mark in front; one is passed over, as if it were not there.
void CheckByteOrderMarkChangesNothing(std::string_view text, const kvel::SettingsFileRead& read) {
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) return;
    const kvel::SettingsFileRead marked =
        kvel::ReadSettingsFile(std::string(kByteOrderMark) + std::string(text));
    Check(marked.snapshot.has_value() == read.snapshot.has_value());
    Check(!read.snapshot || *marked.snapshot == *read.snapshot);
}

void CheckEveryCut(std::string_view text, const kvel::SettingsSnapshot& whole) {
    for (std::size_t length = 0; length < text.size(); ++length) {
        const kvel::SettingsFileRead cut = kvel::ReadSettingsFile(text.substr(0, length));
        Check(!cut.snapshot || *cut.snapshot == whole);
    }
}

void CheckEveryEntryTwiceIsRefused(std::string_view text) {
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        if (IsEntry(line)) {
            const std::string twice = std::string(text.substr(0, end)) + "\n" + std::string(line) +
                                      std::string(text.substr(end));
            Check(!kvel::ReadSettingsFile(twice).snapshot);
        }
        start = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kvel::SettingsFileRead read = kvel::ReadSettingsFile(text);
    CheckByteOrderMarkChangesNothing(text, read);
    if (!read.snapshot) {
        Check(!read.error.empty() && !read.russianError.empty());
        return 0;
    }
    for (const auto& [number, word] : read.snapshot->holding) {
        const kvel::unit::Register* info = kvel::unit::Find(kvel::unit::Bank::Holding, number);
        Check(info && kvel::unit::SectionOf(*info) != kvel::unit::FileSection::None);
    }
    const std::string written = kvel::WriteSettingsFile(*read.snapshot);
    const kvel::SettingsFileRead again = kvel::ReadSettingsFile(written);
    Check(again.snapshot && *again.snapshot == *read.snapshot);
    Check(kvel::WriteSettingsFile(*again.snapshot) == written);
    CheckEveryCut(text, *read.snapshot);
    CheckEveryCut(written, *read.snapshot);
    CheckEveryEntryTwiceIsRefused(text);
    return 0;
}
