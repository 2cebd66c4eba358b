// A site's exporter: its lines, each polled on its own, and the endpoint whose /metrics covers
// them all together with the exporter's own metrics. A scrape reads what the lines last
// stored; it never waits on one. /probe polls the gateways Prometheus names, as allowed.
#pragma once

#include "Journal.h"
#include "MetricsEndpoint.h"
#include "Prober.h"
#include "SiteConfig.h"
#include "SiteLine.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvel::exporter {

class Site : public QObject {
public:
    explicit Site(Journal& journal, EndpointLimits limits = {}, QObject* parent = nullptr);

    // Runs the configuration's lines in place of the running ones. A line whose settings did
    // not change runs on, counters and all; a changed line starts afresh. Says what changed.
    std::string Apply(const std::vector<LineConfig>& lines);
    // Adds one line and starts it; why its port would not open, if it would not.
    std::optional<std::string> Add(const LineConfig& line);
    // The hosts and networks /probe may reach, as the configuration writes them.
    void AllowProbes(const std::vector<std::string>& allowed) { prober_.Allow(allowed); }

    std::optional<std::string> Listen(const QHostAddress& address, quint16 port);
    quint16 Port() const { return endpoint_.Port(); }
    const std::vector<std::unique_ptr<SiteLine>>& Lines() const { return lines_; }
    std::string MetricsText() const;

private:
    std::string ExporterText(LinkClock::time_point now) const;
    const SiteLine* Named(const std::string& name) const;

    Journal& journal_;
    std::vector<std::unique_ptr<SiteLine>> lines_;
    MetricsEndpoint endpoint_;
    Prober prober_;
    QTimer journalFlush_;
};

// "plant-a (modbus-tcp://192.168.1.5:502, units 1-8, every 1 s)", or "COM1 (units 1, 7, every
// 1 s)": a line as the journal names it.
std::string LineSummary(const LineConfig& line);

} // namespace kvel::exporter
