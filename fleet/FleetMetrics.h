// What the exporter tells Prometheus about the units on one port: every metric and the register
// or status bit it comes from, in one table, and the page made from the poller's last reading.
#pragma once

#include "Exposition.h"
#include "FleetPoller.h"

#include <string>

namespace kvel {

// "timeout", "corrupt", "wrong_address", "exception", "port_closed", "gateway_no_answer": the
// cause label of kvel_link_errors_total.
const char* FailureCauseLabel(TransactionOutcome outcome);

// The readings of the units that answered their last poll, and for every unit whether it did,
// how long ago it last answered and the link's counters. `port` labels every sample.
std::string FleetMetricsText(const std::string& port, const FleetPoller& poller,
                             LinkClock::time_point now);

// One line of several on a page: its poller and the labels of all its units' samples, `port`
// first; each unit's `address` follows it.
struct FleetLine {
    const FleetPoller* poller;
    MetricLabels labels;
};

// The same families for several lines, each family's samples of every line together, as the
// exposition format wants them.
std::string FleetMetricsText(const std::vector<FleetLine>& lines, LinkClock::time_point now);
// A unit's labels on such a page: the line's, with `address` after `port`.
MetricLabels UnitLabels(const FleetLine& line, const PolledUnit& unit);

} // namespace kvel
