// A daemon's signals turned into event-loop calls: SIGHUP re-reads its configuration as often
// as it comes, SIGTERM and SIGINT end the program cleanly. A handler only writes a byte
// naming its signal into a socket the loop watches. Where there are no such signals, nothing.
#pragma once

#include <functional>

namespace kvel {

void HandleSignals(std::function<void()> reload, std::function<void()> end);

} // namespace kvel
