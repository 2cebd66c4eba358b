// Runs the simulated unit on its line (a pseudo-terminal or a TCP listener): reads requests, paces
// replies, ages the plant.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "LineTransport.h"
#include "UnitSimulator.h"

namespace kvel::sim {

class UnitServer {
public:
    struct Hooks {
        std::function<void(const std::string&)> log; // one line per frame or event; may be empty
        std::function<void()> holdingWritten;
        std::function<void()> programmed;
    };

    UnitServer(UnitSimulator& unit, LineTransport& port, Hooks hooks = {});
    // Several units at different addresses sharing one line; each hears every frame.
    UnitServer(std::vector<UnitSimulator*> units, LineTransport& port, Hooks hooks = {});

    // Serves the line for `duration`, returning early when a signal interrupts the wait so the
    // caller can act on it.
    void ServeFor(std::chrono::milliseconds duration);
    // The line was replaced (a new pseudo-terminal, a new connection): nothing queued goes to
    // the new one.
    void LineRenewed() { LosePeer(); }

private:
    using Clock = std::chrono::steady_clock;
    struct Outgoing {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };

    bool WaitForLine(Clock::time_point until);
    void TakeInput();
    void Handle(const Reception& reception, bool otherUnitsListen);
    void Schedule(const Transmission& transmission);
    void SendDue();
    void AgePlant();
    void LosePeer();
    void Log(const std::string& line) const;

    std::vector<UnitSimulator*> units_;
    LineTransport& port_;
    Hooks hooks_;
    std::deque<Outgoing> outgoing_;
    Clock::time_point lastTick_;
    Clock::time_point lineFreeAt_;
    Clock::time_point peerAbsentUntil_;
    bool peerPresent_ = false;
};

// Time 8N1 needs to carry `byteCount` bytes at `bitRate`.
std::chrono::microseconds TransmissionTime(std::size_t byteCount, std::int32_t bitRate);

} // namespace kvel::sim
