// Logout, shutdown, `kill` and Ctrl+C end the program the way "Выход" does, so its close
// handler still saves data.inf and closes the port.
#pragma once

#include <functional>

namespace kvel {

// From then on SIGTERM, SIGHUP and SIGINT run `end` on the event loop, once. Where the system
// has no such signals, nothing changes.
void EndOnTerminationSignals(std::function<void()> end);

} // namespace kvel
