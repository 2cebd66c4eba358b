// Brings back a port whose device went away (an adapter pulled and plugged in again), so
// polling resumes with no action from the operator. It waits for that device alone: with its
// link gone, the port's number would lead elsewhere (an on-board UART), and polling something
// else is the operator's choice, made in the connection window.
#pragma once

#include "ModbusLink.h"

namespace kvel {

constexpr int kReopenIntervalMs = 1000;

class PortKeeper {
public:
    explicit PortKeeper(ModbusLink& link) : link_(link) {}

    // Every kReopenIntervalMs: the first tick after the loss shows it, the later ones try the
    // vanished device again. `portHeldElsewhere` while something other than polling drives the
    // port (a firmware upload, the unit finder): the loss is shown but the port is left alone.
    void Tick(bool portHeldElsewhere);
    // The port was opened but its connection is still coming up: polling starts once it is up,
    // and a connection that fails is a loss as a vanished port is.
    void AwaitConnection() { connecting_ = true; }

private:
    void ResumePolling();

    ModbusLink& link_;
    bool lossShown_ = false;
    bool connecting_ = false;
};

} // namespace kvel
