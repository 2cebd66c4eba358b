// Programming mode of the simulated unit.
#include "FlashProgrammer.h"

namespace kvel::sim {

namespace {
std::uint32_t FlashAddressOf(const std::vector<std::uint8_t>& frame) {
    std::uint32_t address = 0;
    for (std::size_t i = 6; i < kBlockHeaderBytes; ++i)
        address = address << 8 | frame[i];
    return address;
}

// The closing frame is one zero byte at the address after the last block.
bool IsClosing(const std::vector<std::uint8_t>& frame) {
    return frame.size() == kShortestBlockFrame && frame[kBlockHeaderBytes] == 0;
}
} // namespace

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
    const std::uint32_t address = FlashAddressOf(frame);
    if (address < kFlashBase || (address - kFlashBase) % kBlockBytes != 0) {
        why = "flash address off the block grid";
        return Outcome::Refused;
    }
    const std::size_t block = (address - kFlashBase) / kBlockBytes;
    if (block == blocksStored_ && IsClosing(frame)) {
        image_ = flash_;
        active_ = false;
        return Outcome::Closed;
    }
    return Store(block, frame, why);
}

// The next block, the last one again (its acknowledgement may have been lost) or block 0 (a
// transfer started over) are taken; anything else would leave a hole.
FlashProgrammer::Outcome FlashProgrammer::Store(std::size_t block,
                                                const std::vector<std::uint8_t>& frame,
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
    flash_.insert(flash_.end(), frame.begin() + kBlockHeaderBytes, frame.end() - 2);
    blocksStored_ = block + 1;
    return Outcome::Stored;
}

} // namespace kvel::sim
