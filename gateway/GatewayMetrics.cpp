// What the gateway counts for Prometheus.
#include "GatewayMetrics.h"

#include "Exposition.h"
#include "KvelVersion.h"

namespace kvel::gateway {

namespace {
// Client addresses counted apart; the rest share one series, so that a scan of many addresses
// cannot grow the page without bound.
constexpr std::size_t kMostClientSeries = 256;
const char* const kOtherClients = "other";

double Seconds(LinkClock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

const char* OutcomeLabel(LineOutcome outcome) {
    switch (outcome) {
    case LineOutcome::Answered:
        return "answered";
    case LineOutcome::Silent:
        return "silent";
    case LineOutcome::Garbled:
        return "garbled";
    case LineOutcome::LineLost:
        return "line_lost";
    }
    return "answered";
}
} // namespace

GatewayMetrics::ClientCounts& GatewayMetrics::CountsOf(const std::string& client) {
    if (clients_.count(client) || clients_.size() < kMostClientSeries) return clients_[client];
    return clients_[kOtherClients];
}

void GatewayMetrics::Served(const std::string& client, std::uint8_t unit,
                            LinkClock::duration waited, LinkClock::duration onLine,
                            LineOutcome outcome) {
    ClientCounts& counts = CountsOf(client);
    counts.requests += 1;
    counts.waitSeconds += Seconds(waited);
    UnitCounts& unitCounts = units_[unit];
    unitCounts.outcomes[outcome] += 1;
    unitCounts.lineSeconds += Seconds(onLine);
}

std::string GatewayMetrics::Page(const GatewayState& state) const {
    ExpositionWriter page;
    page.Family("kvel_gateway_build_info", "The gateway's version.", MetricType::Gauge);
    page.Sample({{"version", kVersion}}, 1);
    page.Family("kvel_gateway_line_up", "1 while the line is open.", MetricType::Gauge);
    page.Sample({}, state.lineUp ? 1 : 0);
    page.Family("kvel_gateway_line_lent", "1 while the line is lent to one client whole.",
                MetricType::Gauge);
    page.Sample({}, state.lent ? 1 : 0);
    page.Family("kvel_gateway_clients", "Modbus TCP connections open.", MetricType::Gauge);
    page.Sample({}, static_cast<double>(state.clients));
    page.Family("kvel_gateway_queue_depth", "Requests waiting for the line, by client address.",
                MetricType::Gauge);
    for (const auto& [client, depth] : state.queueDepths)
        page.Sample({{"client", client}}, static_cast<double>(depth));
    page.Family("kvel_gateway_client_requests_total",
                "Requests put on the line, by client address.", MetricType::Counter);
    for (const auto& [client, counts] : clients_)
        page.Sample({{"client", client}}, counts.requests);
    page.Family("kvel_gateway_client_wait_seconds_total",
                "Time requests waited for their turn on the line, by client address.",
                MetricType::Counter);
    for (const auto& [client, counts] : clients_)
        page.Sample({{"client", client}}, counts.waitSeconds);
    page.Family("kvel_gateway_unit_requests_total",
                "Requests put on the line, by unit address and how they ended.",
                MetricType::Counter);
    for (const auto& [unit, counts] : units_)
        for (const auto& [outcome, count] : counts.outcomes)
            page.Sample({{"address", std::to_string(unit)}, {"outcome", OutcomeLabel(outcome)}},
                        count);
    page.Family("kvel_gateway_unit_line_seconds_total",
                "Time the line spent on each unit's requests, from the request to its end.",
                MetricType::Counter);
    for (const auto& [unit, counts] : units_)
        page.Sample({{"address", std::to_string(unit)}}, counts.lineSeconds);
    return page.Text();
}

} // namespace kvel::gateway
