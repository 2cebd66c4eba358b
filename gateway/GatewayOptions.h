// kvel-gateway's command line, checked before the port is touched.
#pragma once

#include "IdleWatch.h"
#include "LineOptions.h"
#include "LineScheduler.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace kvel::gateway {

// Modbus TCP's own port is 502, which needs privileges; 5020 is the usual stand-in.
constexpr int kDefaultListenPort = 5020;

struct GatewayConfig {
    cli::NamedPort port;
    std::int32_t bitRate = 9600;
    cli::ListenAddress listen{"127.0.0.1", kDefaultListenPort};
    std::optional<cli::ListenAddress> rawListen;
    std::optional<cli::ListenAddress> metricsListen;
    SchedulerSettings scheduler;
    // Lets the borrower of the line write a unit's address and rate.
    bool allowLineChanges = false;
    std::chrono::seconds leaseTimeout{600};
    // Modbus TCP connections at once; one more takes the slot of one quiet long enough, or is
    // closed as it comes.
    int maxClients = 128;
    IdleLimits idle;
};

struct ParsedOptions {
    std::optional<GatewayConfig> config;
    // The help or version text (exit 0), or why the command line was refused (exit 3).
    std::string text;
    int exitCode = 0;
};

constexpr int kExitUsage = 3;
constexpr int kExitLine = 2;

ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

} // namespace kvel::gateway
