// Frame search by CRC, for requests and block frames.
#include "FrameAssembler.h"

#include <algorithm>
#include <array>

#include "FirmwareFrames.h"

namespace kvel::sim {

namespace {
constexpr std::size_t kRequestSize = std::tuple_size_v<RequestFrame>;
constexpr std::size_t kLengthFieldEnd = 6;
} // namespace

void FrameAssembler::Append(const std::uint8_t* bytes, std::size_t length) {
    pending_.insert(pending_.end(), bytes, bytes + length);
}

// The whole size a block frame at the front announces, or 0 when the front is no block header.
std::size_t FrameAssembler::AnnouncedBlockSize() const {
    std::array<std::uint8_t, kLengthFieldEnd> head{};
    if (pending_.size() < head.size()) return 0;
    std::copy_n(pending_.begin(), head.size(), head.begin());
    return AnnouncedBlockFrameLength(head.data(), head.size());
}

bool FrameAssembler::FrontHoldsCrc(std::size_t size) {
    scratch_.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(size));
    return CrcHolds(scratch_.data(), size);
}

FrameAssembler::Frame FrameAssembler::TakeFront(std::size_t size) {
    Frame frame(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(size));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(size));
    return frame;
}

// The programming-mode command also looks like a block header, so a complete block is tried
// first, then a request, and only then is the rest of an announced block waited for.
std::optional<FrameAssembler::Frame> FrameAssembler::NextFrame() {
    while (pending_.size() >= kRequestSize) {
        const std::size_t blockSize = AnnouncedBlockSize();
        const bool blockComplete = blockSize != 0 && pending_.size() >= blockSize;
        if (blockComplete && FrontHoldsCrc(blockSize)) return TakeFront(blockSize);
        if (FrontHoldsCrc(kRequestSize)) return TakeFront(kRequestSize);
        if (blockSize != 0 && !blockComplete) return std::nullopt;
        pending_.pop_front();
    }
    return std::nullopt;
}

} // namespace kvel::sim
