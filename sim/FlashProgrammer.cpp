// Programming mode of the simulated unit.
#include "FlashProgrammer.h"

namespace kvel::sim {

void FlashProgrammer::Enter() {
    active_ = true;
    secondsActive_ = 0;
    flash_.clear();
    blocksStored_ = 0;
}

bool FlashProgrammer::Ready() const {
    return active_ && !settings_.neverReady && secondsActive_ * 1000 >= settings_.readyDelayMs;
}

std::uint16_t FlashProgrammer::Status() const {
    return Ready() ? 1 : 0;
}

void FlashProgrammer::Tick(double seconds) {
    if (active_) secondsActive_ += seconds;
}

FlashProgrammer::Outcome FlashProgrammer::Take(const std::vector<std::uint8_t>& frame,
                                               std::string& why) {
    if (!Ready()) {
        why = "not ready for blocks";
        return Outcome::Refused;
    }
    const std::optional<BlockFrame> read = ReadBlockFrame(frame.data(), frame.size());
    if (!read) {
        why = "not a block frame";
        return Outcome::Refused;
    }
    const std::optional<std::uint32_t> block = BlockIndexAt(read->flashAddress);
    if (!block) {
        why = "flash address off the block grid";
        return Outcome::Refused;
    }
    if (*block == blocksStored_ && read->Closing()) {
        image_ = flash_;
        active_ = false;
        return Outcome::Closed;
    }
    return Store(*block, *read, why);
}

// The next block, the last one again (its acknowledgement may have been lost) or block 0 (a
// transfer started over) are taken; anything else would leave a hole.
FlashProgrammer::Outcome FlashProgrammer::Store(std::size_t block, const BlockFrame& frame,
                                                std::string& why) {
    if (block > blocksStored_ || (block + 1 < blocksStored_ && block != 0)) {
        why = "block " + std::to_string(block) + " out of sequence";
        return Outcome::Refused;
    }
    if (blocksStored_ > 0 && flash_.size() % kBlockBytes != 0 && block == blocksStored_) {
        why = "block after a short block";
        return Outcome::Refused;
    }
    flash_.resize(block * kBlockBytes);
    flash_.insert(flash_.end(), frame.data, frame.data + frame.dataBytes);
    blocksStored_ = block + 1;
    return Outcome::Stored;
}

} // namespace kvel::sim
