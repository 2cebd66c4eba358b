// Writes a set of holding registers through the request queue, one function-6 write each, reads
// them back, writes again those the unit does not hold, and ends by naming each register as
// written, not written or unknown.
#pragma once

#include "ModbusLink.h"
#include "RegisterMap.h"
#include "SettingsFile.h"

#include <string>
#include <vector>

namespace kvel {

// The holding registers as they will be once every write is in.
RegisterImage HoldingAfter(const std::vector<Difference>& writes, RegisterImage holding);

// A setpoint outside the limits the unit will have once every write is in.
struct LimitBreach {
    Difference write;
    reg::SetpointRange range;
};
std::vector<LimitBreach> LimitBreaches(const std::vector<Difference>& writes,
                                       const RegisterImage& holding);
// The breaches in words, for kvel-cli. Empty when the writes may go.
std::string RefusalOfWrites(const std::vector<Difference>& writes, const RegisterImage& holding);

// What became of one register's write, as the unit's registers read back show it.
enum class WriteOutcome {
    Written,    // read back holding the file's value
    NotWritten, // read back holding another value after the last try
    Unknown,    // not read back since the last try: the write may or may not have landed
};

struct RegisterOutcome {
    Difference write; // unitWord: what the unit held when last read
    WriteOutcome outcome;
};

// How long one round of writes and its read-back may take while the unit still answers now and
// then: every request in it may cost the link-loss wait, and after a loss the polls need a
// cycle before they read the registers back.
int RoundBudgetMs(std::size_t writes);

class SettingsRestore {
public:
    // A first write and two more for registers the read-back does not show.
    static constexpr int kTries = 3;

    explicit SettingsRestore(ModbusLink& link) : link_(link) {}

    // Queues the writes and a read of the holding registers behind them.
    void Start(std::vector<Difference> writes);
    // Call on every accepted holding-register reply; true when it served as the read-back of a
    // round. Running() then tells whether another round has begun.
    bool OnHoldingReply();
    // Stops waiting when the unit does not answer: what was not read back is unknown.
    void Abandon();

    bool Running() const { return running_; }
    // Ended on a read-back rather than abandoned.
    bool Checked() const { return checked_; }
    int Tries() const { return tries_; }
    const std::vector<Difference>& Writes() const { return writes_; }
    const std::vector<RegisterOutcome>& Outcomes() const { return outcomes_; }
    // The writes the unit does not hold, with what it holds instead.
    std::vector<Difference> NotTaken() const;

private:
    void SendPending();

    ModbusLink& link_;
    std::vector<Difference> writes_;
    std::vector<RegisterOutcome> outcomes_;
    int tries_ = 0;
    bool running_ = false;
    bool checked_ = false;
};

} // namespace kvel
