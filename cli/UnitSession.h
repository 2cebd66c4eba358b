// One conversation with the unit: the port, the link on its timers, and waits on the event loop
// that end when the unit has answered or the time-out has passed.
#pragma once

#include "CommandLine.h"
#include "HeadlessHost.h"
#include "LinkState.h"
#include "ModbusLink.h"
#include "RoutingChannel.h"

#include <functional>
#include <optional>
#include <string>

namespace kvel::cli {

class UnitSession {
public:
    explicit UnitSession(const Invocation& invocation);
    ~UnitSession();
    UnitSession(const UnitSession&) = delete;
    UnitSession& operator=(const UnitSession&) = delete;

    // Opens the port and starts the link's timers; the reason when the port will not open.
    std::optional<std::string> Open();
    // Reads both register banks afresh; false when the unit did not answer in time.
    bool ReadBanks();
    // Runs the event loop until `done` holds or the time-out passes; false on time-out.
    bool WaitFor(const std::function<bool()>& done, int timeoutMs);
    bool WaitFor(const std::function<bool()>& done) { return WaitFor(done, invocation_.timeoutMs); }

    // "no answer from the unit at address 1 on COM3 at 9600 bit/s within 5 s"
    std::string NoAnswer() const;
    std::string Where() const;
    int TimeoutMs() const { return invocation_.timeoutMs; }

    LinkState& State() { return state_; }
    ModbusLink& Link() { return link_; }
    HeadlessHost& Host() { return host_; }
    SerialChannel& Channel() { return channel_; }

private:
    std::string OpenFailure() const;
    std::string NetworkFailure() const;

    const Invocation& invocation_;
    LinkState state_;
    RoutingChannel channel_;
    HeadlessHost host_;
    ModbusLink link_;
};

} // namespace kvel::cli
