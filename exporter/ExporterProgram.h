// kvel-exporter at work: the site started from the options or the configuration file, its
// endpoint listening, and the file read again on request.
#pragma once

#include "ExporterOptions.h"
#include "Journal.h"
#include "Site.h"

#include <optional>
#include <string>

namespace kvel::exporter {

class ExporterProgram {
public:
    ExporterProgram(ExporterOptions options, Journal& journal);

    // Nothing once serving; else the exit status, the reason told to the journal.
    std::optional<int> Start();
    // The configuration file again; one that is refused leaves the running lines as they are.
    void Reload();

private:
    std::optional<int> StartLines();
    cli::ListenAddress ListenAddressOf(const SiteConfig* config) const;

    ExporterOptions options_;
    Journal& journal_;
    Site site_;
    cli::ListenAddress listening_;
};

// "127.0.0.1:9877", "[::1]:9877".
std::string HostAndPort(const cli::ListenAddress& listen);

} // namespace kvel::exporter
