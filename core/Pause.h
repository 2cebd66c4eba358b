// A pause that blocks the user-interface thread: no timer, paint or input handler runs
// meanwhile.
#pragma once

#include <chrono>
#include <thread>

namespace kvel {

inline void BlockingPause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace kvel
