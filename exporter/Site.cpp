// A site's exporter.
#include "Site.h"

#include "AddressList.h"
#include "Exposition.h"
#include "FleetMetrics.h"
#include "KvelVersion.h"
#include "ProcessMetrics.h"

#include <algorithm>
#include <chrono>

namespace kvel::exporter {

namespace {

// Folded journal events are told this long after their window ends, at the latest.
constexpr int kJournalFlushMs = 5000;

std::string Names(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? "none" : text;
}

const LineConfig* ConfigNamed(const std::vector<LineConfig>& lines, const std::string& name) {
    const auto at = std::find_if(lines.begin(), lines.end(),
                                 [&](const LineConfig& line) { return line.name == name; });
    return at == lines.end() ? nullptr : &*at;
}

std::string SecondsText(int ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) : SampleValueText(ms / 1000.0);
}

} // namespace

// A line from the command line is named by its port, which is then said once.
std::string LineSummary(const LineConfig& line) {
    const std::string port = line.name == line.port.label ? "" : line.port.label + ", ";
    return line.name + " (" + port + "units " + AddressListText(line.addresses) + ", every " +
           SecondsText(line.intervalMs) + " s)";
}

Site::Site(Journal& journal, EndpointLimits limits, QObject* parent)
    : QObject(parent), journal_(journal), endpoint_([this] { return MetricsText(); }, limits, this),
      prober_([this](const std::string& name) { return Named(name); }, this) {
    endpoint_.AddLatePage(QStringLiteral("/probe"),
                          [this](const QHttpServerRequest& request, MetricsEndpoint::Reply reply) {
                              prober_.Answer(request, reply);
                          });
    connect(&journalFlush_, &QTimer::timeout, this,
            [this] { journal_.FlushFolded(Journal::Clock::now()); });
    journalFlush_.start(kJournalFlushMs);
}

std::optional<std::string> Site::Add(const LineConfig& line) {
    lines_.push_back(std::make_unique<SiteLine>(line, journal_));
    return lines_.back()->Start();
}

std::string Site::Apply(const std::vector<LineConfig>& lines) {
    std::vector<std::string> removed;
    std::vector<std::string> changed;
    std::vector<std::string> added;
    std::vector<std::unique_ptr<SiteLine>> kept;
    // Lines that go are closed before any comes, since a changed line may take the same port.
    for (std::unique_ptr<SiteLine>& running : lines_) {
        const LineConfig* wanted = ConfigNamed(lines, running->Config().name);
        if (wanted && *wanted == running->Config()) {
            kept.push_back(std::move(running));
            continue;
        }
        (wanted ? changed : removed).push_back(running->Config().name);
        running.reset();
    }
    lines_.clear();
    for (const LineConfig& line : lines) {
        // Those already taken over are empty.
        const auto same = [&](const std::unique_ptr<SiteLine>& running) {
            return running && running->Config().name == line.name;
        };
        const auto at = std::find_if(kept.begin(), kept.end(), same);
        if (at != kept.end()) {
            lines_.push_back(std::move(*at));
            continue;
        }
        if (std::find(changed.begin(), changed.end(), line.name) == changed.end())
            added.push_back(line.name);
        if (const std::optional<std::string> why = Add(line))
            journal_.Tell("lost " + line.name, "line " + line.name + " lost: " + *why,
                          Journal::Clock::now());
    }
    return "added " + Names(added) + "; changed " + Names(changed) + "; removed " + Names(removed);
}

const SiteLine* Site::Named(const std::string& name) const {
    for (const std::unique_ptr<SiteLine>& line : lines_)
        if (line->Config().name == name) return line.get();
    return nullptr;
}

std::optional<std::string> Site::Listen(const QHostAddress& address, quint16 port) {
    return endpoint_.Listen(address, port);
}

std::string Site::MetricsText() const {
    const LinkClock::time_point now = LinkClock::now();
    std::vector<FleetLine> lines;
    for (const std::unique_ptr<SiteLine>& line : lines_)
        lines.push_back(line->Metrics());
    return FleetMetricsText(lines, now) + ExporterText(now);
}

std::string Site::ExporterText(LinkClock::time_point now) const {
    ExpositionWriter writer;
    writer.Family("kvel_exporter_build_info", "The exporter's version; always 1.",
                  MetricType::Gauge);
    writer.Sample({{"version", kVersion}}, 1);
    WriteProcessMetrics(writer);

    writer.Family("kvel_line_up",
                  "1 while the line's port is open or its gateway's connection is up.",
                  MetricType::Gauge);
    for (const std::unique_ptr<SiteLine>& line : lines_)
        writer.Sample(line->Metrics().labels, line->Up() ? 1 : 0);
    writer.Family("kvel_round_duration_seconds",
                  "From the first request of the line's last finished round to its last answer.",
                  MetricType::Gauge);
    for (const std::unique_ptr<SiteLine>& line : lines_)
        if (const auto round = line->Poller().LastRoundTime())
            writer.Sample(line->Metrics().labels, std::chrono::duration<double>(*round).count());

    // A timestamp rather than an age: an age stored by Prometheus is stale the moment after.
    writer.Family("kvel_last_reply_timestamp_seconds",
                  "When the unit last answered, in seconds since the Unix epoch.",
                  MetricType::Gauge);
    const auto wallNow = std::chrono::system_clock::now().time_since_epoch();
    for (const std::unique_ptr<SiteLine>& line : lines_) {
        const FleetLine metrics = line->Metrics();
        for (const PolledUnit& unit : line->Poller().Units()) {
            if (!unit.lastReply) continue;
            const auto at = wallNow - (now - *unit.lastReply);
            writer.Sample(UnitLabels(metrics, unit), std::chrono::duration<double>(at).count());
        }
    }
    return writer.Text();
}

} // namespace kvel::exporter
