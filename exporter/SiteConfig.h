// kvel-exporter's configuration file: the listening address, the targets /probe may reach, and
// the lines of a site with their units, poll interval and extra labels, in INI form:
//
//   [exporter]
//   listen = 127.0.0.1:9877
//   probe-allow = 127.0.0.1, 192.168.1.0/24
//
//   [line plant-a]
//   port = modbus-tcp://192.168.1.5:502
//   addresses = 1-8
//   interval = 1
//   labels = site=north, cabinet=3
//
// Read from the raw lines rather than through QSettings, which merges a repeated section
// silently, knows no line numbers and splits every value at its commas: here each refusal names
// its line, and only the keys that hold lists are read as lists.
#pragma once

#include "LineOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvel::exporter {

// The longest file taken; a site's lines fit in a small fraction of it.
constexpr std::size_t kMostConfigBytes = 1 << 20;

struct LineConfig {
    std::string name;
    cli::NamedPort port;
    std::int32_t bitRate = 9600;
    std::vector<std::uint8_t> addresses;
    int intervalMs = 1000;
    // In the order written, after port and address on every sample of the line's units.
    std::vector<std::pair<std::string, std::string>> labels;

    bool operator==(const LineConfig& other) const;
};

struct SiteConfig {
    std::optional<cli::ListenAddress> listen;
    // Hosts, addresses and networks (CIDR) that /probe may reach, as written.
    std::vector<std::string> probeAllow;
    std::vector<LineConfig> lines;
};

struct ConfigRefusal {
    // 1 for the first line; 0 when the refusal is about the file as a whole.
    int line = 0;
    std::string text;
};

struct ConfigRead {
    std::optional<SiteConfig> config;
    ConfigRefusal refusal;
};

ConfigRead ParseSiteConfig(std::string_view text);
// The file read and parsed; a refusal's text starts with "FILE:LINE: ".
ConfigRead ReadSiteConfig(const std::string& path);

} // namespace kvel::exporter
