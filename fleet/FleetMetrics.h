// What the exporter tells Prometheus about the units on one port: every metric and the register
// or status bit it comes from, in one table, and the page made from the poller's last reading.
#pragma once

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

} // namespace kvel
