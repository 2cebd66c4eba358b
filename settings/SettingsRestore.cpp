// Writing registers through the request queue and reading them back.
#include "SettingsRestore.h"

#include "ModbusFrame.h"

namespace kvel {

std::string RefusalOfWrites(const std::vector<Difference>& writes, RegisterImage holding) {
    for (const Difference& write : writes)
        holding[write.info->number] = write.fileWord;
    std::string refusals;
    for (const Difference& write : writes) {
        const std::string refusal =
            unit::RefusalOfLimits(write.info->number, write.fileWord, holding);
        if (!refusal.empty()) refusals += (refusals.empty() ? "" : "; ") + refusal;
    }
    return refusals;
}

void SettingsRestore::Start(std::vector<Difference> writes) {
    writes_ = std::move(writes);
    notTaken_.clear();
    checked_ = false;
    running_ = true;
    for (const Difference& write : writes_)
        link_.EnqueueRequest(kWriteSingle, write.info->number, write.fileWord);
    link_.EnqueueRequest(kReadHolding, 0, kPolledHoldingCount);
}

// Requests leave one at a time in queue order, so a holding reply that arrives once the queue
// has been worked off answers a read sent after every write.
bool SettingsRestore::OnHoldingReply() {
    if (!running_ || link_.State().QueueCount != 0) return false;
    const RegisterImage& holding = link_.State().HoldingImage;
    for (const Difference& write : writes_)
        if (holding[write.info->number] != write.fileWord)
            notTaken_.push_back({write.info, write.fileWord, holding[write.info->number]});
    running_ = false;
    checked_ = true;
    return true;
}

} // namespace kvel
