// kvel-exporter's configuration file under libFuzzer. Oracles: a refusal names a line of the
// file (or none) and says why; what is accepted has lines with a port, units within 1-254, an
// interval in range, label names Prometheus takes, and no two lines on one port or by one name.
#include "SiteConfig.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

namespace {

void CheckAccepted(const kvel::exporter::SiteConfig& site) {
    std::set<std::string> names;
    std::set<std::string> ports;
    for (const kvel::exporter::LineConfig& line : site.lines) {
        if (!names.insert(line.name).second || !ports.insert(line.port.name).second) std::abort();
        if (line.port.name.empty() || line.addresses.empty()) std::abort();
        for (std::uint8_t address : line.addresses)
            if (address == 0 || address > 254) std::abort();
        if (line.intervalMs < 100 || line.intervalMs > 3'600'000) std::abort();
        for (const auto& [label, value] : line.labels)
            if (label.empty() || value.empty() || label.compare(0, 2, "__") == 0 ||
                (label[0] >= '0' && label[0] <= '9'))
                std::abort();
    }
    if (site.listen && (site.listen->port < 1 || site.listen->port > 65535)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kvel::exporter::ConfigRead read = kvel::exporter::ParseSiteConfig(text);
    if (read.config) {
        CheckAccepted(*read.config);
        return 0;
    }
    const long lines = std::count(text.begin(), text.end(), '\n') + 1;
    if (read.refusal.text.empty() || read.refusal.line < 0 || read.refusal.line > lines)
        std::abort();
    return 0;
}
