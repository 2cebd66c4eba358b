// kvel-exporter's command line: a configuration file, or one line given as kvel-cli names it.
#pragma once

#include "SiteConfig.h"

#include <optional>
#include <string>
#include <vector>

namespace kvel::exporter {

enum ExporterExit {
    kExporterOk = 0,
    kExporterFailed = 2, // a configuration refused, a port that would not open, no listening
    kExporterUsage = 3,
};

constexpr int kDefaultListenPort = 9877;

struct ExporterOptions {
    // Empty for the single line the options give.
    std::string configPath;
    std::optional<LineConfig> line;
    std::optional<cli::ListenAddress> listen;
};

struct ParsedOptions {
    std::optional<ExporterOptions> options;
    // Help or version asked for (exit 0), or what is wrong (exit `exitCode`).
    std::string text;
    int exitCode = kExporterOk;
};

// `arguments` without the program name.
ParsedOptions ParseExporterOptions(const std::vector<std::string>& arguments);

} // namespace kvel::exporter
