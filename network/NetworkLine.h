// The network line the window program talks through instead of its COM port: the choice kept
// in network.ini beside data.inf, and what such a line cannot do.
#pragma once

#include "SettingsFileStore.h"

#include <string>

namespace kvel {

constexpr const char* kNetworkIniName = "network.ini";

struct NetworkChoice {
    // The network port name last chosen; empty when none ever was.
    std::string port;
    // In use when the program closed, so it is connected again at start.
    bool inUse = false;
};

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
