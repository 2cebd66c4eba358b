// Settings-file reader under libFuzzer. Oracles: every refusal says why; an accepted file holds
// only registers that belong in settings files; what is accepted, written again, reads back
// equal, and writing that is a fixed point.
#include "Registers.h"
#include "SettingsFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kvel::SettingsFileRead read = kvel::ReadSettingsFile(text);
    if (!read.snapshot) {
        if (read.error.empty()) std::abort();
        return 0;
    }
    for (const auto& [number, word] : read.snapshot->holding) {
        const kvel::unit::Register* info = kvel::unit::Find(kvel::unit::Bank::Holding, number);
        if (!info || kvel::unit::SectionOf(*info) == kvel::unit::FileSection::None) std::abort();
    }
    const std::string written = kvel::WriteSettingsFile(*read.snapshot);
    const kvel::SettingsFileRead again = kvel::ReadSettingsFile(written);
    if (!again.snapshot || !(*again.snapshot == *read.snapshot)) std::abort();
    if (kvel::WriteSettingsFile(*again.snapshot) != written) std::abort();
    return 0;
}
