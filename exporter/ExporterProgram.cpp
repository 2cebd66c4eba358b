// kvel-exporter at work.
#include "ExporterProgram.h"

namespace kvel::exporter {

std::string HostAndPort(const cli::ListenAddress& listen) {
    const std::string port = ":" + std::to_string(listen.port);
    if (listen.host.find(':') == std::string::npos) return listen.host + port;
    return "[" + listen.host + "]" + port;
}

ExporterProgram::ExporterProgram(ExporterOptions options, Journal& journal)
    : options_(std::move(options)), journal_(journal), site_(journal) {}

std::optional<int> ExporterProgram::Start() {
    if (options_.listen && QHostAddress(QString::fromStdString(options_.listen->host)).isNull()) {
        journal_.Tell("--listen: " + options_.listen->host + " is not an IP address");
        return kExporterUsage;
    }
    if (const std::optional<int> failed = StartLines()) return failed;
    const QHostAddress address(QString::fromStdString(listening_.host));
    const std::string where = HostAndPort(listening_);
    if (const std::optional<std::string> why =
            site_.Listen(address, static_cast<quint16>(listening_.port))) {
        journal_.Tell("cannot listen on " + where + ": " + *why);
        return kExporterFailed;
    }
    std::string lines;
    for (const auto& line : site_.Lines())
        lines += (lines.empty() ? "" : "; ") + LineSummary(line->Config());
    journal_.Tell("serving at http://" + where + "/metrics the lines " +
                  (lines.empty() ? "(none)" : lines));
    return std::nullopt;
}

// The command line's line must open at once, as kvel-cli serve's always had to; a file's
// lines are many, and one not there yet is waited for.
std::optional<int> ExporterProgram::StartLines() {
    if (options_.line) {
        listening_ = ListenAddressOf(nullptr);
        if (const std::optional<std::string> why = site_.Add(*options_.line)) {
            journal_.Tell(*why);
            return kExporterFailed;
        }
        return std::nullopt;
    }
    const ConfigRead read = ReadSiteConfig(options_.configPath);
    if (!read.config) {
        journal_.Tell("configuration refused: " + read.refusal.text);
        return kExporterFailed;
    }
    listening_ = ListenAddressOf(&*read.config);
    site_.AllowProbes(read.config->probeAllow);
    site_.Apply(read.config->lines);
    return std::nullopt;
}

cli::ListenAddress ExporterProgram::ListenAddressOf(const SiteConfig* config) const {
    if (options_.listen) return *options_.listen;
    if (config && config->listen) return *config->listen;
    return {"127.0.0.1", kDefaultListenPort};
}

void ExporterProgram::Reload() {
    if (options_.configPath.empty()) {
        journal_.Tell("SIGHUP: there is no configuration file to read again");
        return;
    }
    const ConfigRead read = ReadSiteConfig(options_.configPath);
    if (!read.config) {
        journal_.Tell("configuration refused: " + read.refusal.text +
                      "; the running lines are kept");
        return;
    }
    site_.AllowProbes(read.config->probeAllow);
    journal_.Tell("configuration reloaded from " + options_.configPath + ": " +
                  site_.Apply(read.config->lines));
    const cli::ListenAddress wanted = ListenAddressOf(&*read.config);
    if (wanted.host != listening_.host || wanted.port != listening_.port)
        journal_.Tell("a new listen address takes a restart; still at " + HostAndPort(listening_));
}

} // namespace kvel::exporter
