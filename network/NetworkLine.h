// The network line the window program talks through instead of its COM port: the choice kept
// in network.ini beside data.inf, and what such a line cannot do.
#pragma once

#include "SettingsFileStore.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace kvel {

constexpr const char* kNetworkIniName = "network.ini";

struct NetworkChoice {
    // Brace-initialised by callers as {port, inUse} or {port, inUse, recent}.
    NetworkChoice(std::string chosen = {}, bool connectAtStart = false,
                  std::vector<std::string> recentLines = {})
        : port(std::move(chosen)), inUse(connectAtStart), recent(std::move(recentLines)) {}

    // The network port name last chosen; empty when none ever was.
    std::string port;
    // In use when the program closed, so it is connected again at start.
    bool inUse;
    // The lines connected to, newest first, at most kRecentNetworkPorts of them.
    std::vector<std::string> recent;
};

constexpr std::size_t kRecentNetworkPorts = 5;

// `port` first among `recent`, once, and the oldest dropped beyond kRecentNetworkPorts.
void RememberRecent(std::vector<std::string>& recent, const std::string& port);

// A missing file chooses nothing. A file that does not read chooses nothing either, and
// `problem` says what is wrong with it.
NetworkChoice ReadNetworkChoice(const std::string& path, std::string& problem);
// False when the file could not be written; the file is then as it was, and `failure`, when
// given, says why.
bool WriteNetworkChoice(const std::string& path, const NetworkChoice& choice,
                        SaveFailure* failure = nullptr);

// The refusals of what the unit could do on its serial line but not through a server.
extern const char* const kRateChangeRefusedOverNetwork;

} // namespace kvel
