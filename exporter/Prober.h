// GET /probe?target=modbus-tcp://host:502&address=1,3: the multi-target pattern of Prometheus'
// blackbox and SNMP exporters. The units of a gateway are polled on demand, within the scrape's
// own time-out, and answered with the metrics of /metrics and whether the probe succeeded;
// `target=NAME` answers what a configured line last read. Only the configured lines and the
// hosts and networks of the allow list are probed, so the exporter cannot be made to reach
// anything else. Each target's connection is kept for the next probe, and asked one probe at a
// time; the targets kept are capped, the least recently used going first.
#pragma once

#include "FleetMetrics.h"
#include "FleetPoller.h"
#include "LineOptions.h"
#include "MetricsEndpoint.h"
#include "NetworkChannel.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kvel::exporter {

class SiteLine;

// Targets whose connections are kept; beyond it the least recently used idle one is closed.
constexpr std::size_t kMostProbeTargets = 128;
// Probes that may wait for one target; more are refused with 503.
constexpr std::size_t kMostWaitingProbes = 8;
// Prometheus' own default when a scrape does not say its time-out.
constexpr double kDefaultProbeTimeoutSeconds = 10;
// Kept back from the scrape's time-out for the answer to reach Prometheus.
constexpr double kProbeAnswerMarginSeconds = 0.5;

struct Probe {
    std::vector<std::uint8_t> addresses;
    LinkClock::time_point startedAt;
    LinkClock::time_point deadline;
    MetricsEndpoint::Reply reply;
};

// One gateway probed: its connection, and the probes waiting for it.
class ProbeTarget : public QObject {
public:
    explicit ProbeTarget(cli::NamedPort port);

    // False when too many wait already.
    bool Enqueue(Probe probe);
    bool Idle() const { return !poller_ && waiting_.empty(); }
    LinkClock::time_point LastUsed() const { return lastUsed_; }

private:
    void BeginNext();
    void Tick();
    void Finish();

    cli::NamedPort port_;
    // Made for a probe when there is no connection to reuse.
    std::unique_ptr<NetworkChannel> channel_;
    std::unique_ptr<FleetPoller> poller_;
    std::optional<Probe> current_;
    std::deque<Probe> waiting_;
    QTimer timer_;
    LinkClock::time_point lastUsed_{};
};

class Prober : public QObject {
public:
    using FindLine = std::function<const SiteLine*(const std::string& name)>;

    explicit Prober(FindLine findLine, QObject* parent = nullptr);

    // Hosts, addresses and networks as the configuration writes them.
    void Allow(const std::vector<std::string>& allowed);
    void Answer(const QHttpServerRequest& request, const MetricsEndpoint::Reply& reply);
    std::size_t KeptTargets() const { return targets_.size(); }

private:
    bool Allowed(const std::string& host) const;
    void AnswerLine(const SiteLine& line, const MetricsEndpoint::Reply& reply) const;
    ProbeTarget* TargetFor(const cli::NamedPort& port);

    FindLine findLine_;
    std::vector<std::pair<QHostAddress, int>> networks_;
    std::vector<std::string> hostNames_;
    std::map<std::string, std::unique_ptr<ProbeTarget>> targets_;
};

// The page of the probed units and the probe's own two metrics.
std::string ProbePage(const FleetLine& line, bool success, double seconds);

} // namespace kvel::exporter
