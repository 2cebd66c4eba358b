// Writes a set of holding registers through the request queue, one function-6 write each, and
// checks them against the first holding-register reply that must reflect them all.
#pragma once

#include "ModbusLink.h"
#include "SettingsFile.h"

#include <string>
#include <vector>

namespace kvel {

// Why the unit would not take the writes: a setpoint outside the limits the unit will have once
// every write is in. Empty when they may go.
std::string RefusalOfWrites(const std::vector<Difference>& writes, RegisterImage holding);

class SettingsRestore {
public:
    explicit SettingsRestore(ModbusLink& link) : link_(link) {}

    // Queues the writes and a read of the holding registers behind them.
    void Start(std::vector<Difference> writes);
    // Call on every accepted holding-register reply; true once the check has been made.
    bool OnHoldingReply();
    // Stops waiting for the check, when the unit does not answer.
    void Abandon() { running_ = false; }

    bool Running() const { return running_; }
    bool Checked() const { return checked_; }
    const std::vector<Difference>& Writes() const { return writes_; }
    // After the check: the writes the unit does not hold, with what it holds instead.
    const std::vector<Difference>& NotTaken() const { return notTaken_; }

private:
    ModbusLink& link_;
    std::vector<Difference> writes_;
    std::vector<Difference> notTaken_;
    bool running_ = false;
    bool checked_ = false;
};

} // namespace kvel
