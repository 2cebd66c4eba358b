// What the gateway counts for Prometheus, per client (by its address, not its connection, so
// that reconnecting masters add no series) and per unit, in the exporter's conventions.
#pragma once

#include "LineScheduler.h"

#include <cstdint>
#include <map>
#include <string>

namespace kvel::gateway {

struct GatewayState {
    // Requests waiting for the line, by client address.
    std::map<std::string, std::size_t> queueDepths;
    std::size_t clients = 0;
    bool lineUp = false;
    bool lent = false;
};

class GatewayMetrics {
public:
    void Served(const std::string& client, std::uint8_t unit, LinkClock::duration waited,
                LinkClock::duration onLine, LineOutcome outcome);
    std::string Page(const GatewayState& state) const;

private:
    struct ClientCounts {
        double requests = 0;
        double waitSeconds = 0;
    };
    struct UnitCounts {
        std::map<LineOutcome, double> outcomes;
        double lineSeconds = 0;
    };
    ClientCounts& CountsOf(const std::string& client);

    std::map<std::string, ClientCounts> clients_;
    std::map<std::uint8_t, UnitCounts> units_;
};

} // namespace kvel::gateway
