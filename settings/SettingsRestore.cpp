// Writing registers through the request queue, reading them back, and writing again.
#include "SettingsRestore.h"

#include "ModbusFrame.h"

namespace kvel {

RegisterImage HoldingAfter(const std::vector<Difference>& writes, RegisterImage holding) {
    for (const Difference& write : writes)
        holding[write.info->number] = write.fileWord;
    return holding;
}

std::vector<LimitBreach> LimitBreaches(const std::vector<Difference>& writes,
                                       const RegisterImage& holding) {
    const RegisterImage after = HoldingAfter(writes, holding);
    std::vector<LimitBreach> breaches;
    for (const Difference& write : writes) {
        const std::optional<reg::SetpointRange> range =
            reg::ReportedSetpointRange(write.info->number, after);
        if (range && !range->Holds(write.fileWord)) breaches.push_back({write, *range});
    }
    return breaches;
}

std::string RefusalOfWrites(const std::vector<Difference>& writes, const RegisterImage& holding) {
    const RegisterImage after = HoldingAfter(writes, holding);
    std::string refusals;
    for (const LimitBreach& breach : LimitBreaches(writes, holding))
        refusals += (refusals.empty() ? "" : "; ") +
                    unit::RefusalOfLimits(breach.write.info->number, breach.write.fileWord, after);
    return refusals;
}

int RoundBudgetMs(std::size_t writes) {
    constexpr int kLinkLossMs = kLinkTimeoutTicks * kSendIntervalMs;
    constexpr int kRequestMs = kLinkLossMs + kSendIntervalMs;
    constexpr int kPollCycleRequests = 2;
    const int requests = static_cast<int>(writes) + 1;
    return (requests + kPollCycleRequests) * kRequestMs;
}

void SettingsRestore::Start(std::vector<Difference> writes) {
    writes_ = std::move(writes);
    outcomes_.clear();
    for (const Difference& write : writes_)
        outcomes_.push_back({write, WriteOutcome::Unknown});
    tries_ = 0;
    checked_ = false;
    running_ = true;
    SendPending();
}

void SettingsRestore::SendPending() {
    ++tries_;
    for (RegisterOutcome& entry : outcomes_) {
        if (entry.outcome == WriteOutcome::Written) continue;
        entry.outcome = WriteOutcome::Unknown;
        link_.EnqueueRequest(kWriteSingle, entry.write.info->number, entry.write.fileWord);
    }
    link_.EnqueueRequest(kReadHolding, 0, kPolledHoldingCount);
}

// Requests leave one at a time in queue order, so a holding reply that arrives once the queue
// has been worked off answers a read sent after every write. After a link loss the polls bring
// such a reply as soon as the unit answers again.
bool SettingsRestore::OnHoldingReply() {
    if (!running_ || link_.State().QueueCount != 0) return false;
    const RegisterImage& holding = link_.State().HoldingImage;
    bool missing = false;
    for (RegisterOutcome& entry : outcomes_) {
        if (entry.outcome == WriteOutcome::Written) continue;
        entry.write.unitWord = holding[entry.write.info->number];
        const bool holds = entry.write.unitWord == entry.write.fileWord;
        entry.outcome = holds ? WriteOutcome::Written : WriteOutcome::NotWritten;
        missing = missing || !holds;
    }
    if (missing && tries_ < kTries) {
        SendPending();
        return true;
    }
    running_ = false;
    checked_ = true;
    return true;
}

void SettingsRestore::Abandon() {
    running_ = false;
}

std::vector<Difference> SettingsRestore::NotTaken() const {
    std::vector<Difference> notTaken;
    for (const RegisterOutcome& entry : outcomes_)
        if (entry.outcome == WriteOutcome::NotWritten) notTaken.push_back(entry.write);
    return notTaken;
}

} // namespace kvel
