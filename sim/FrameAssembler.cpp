// Request framing by CRC search.
#include "FrameAssembler.h"

#include <algorithm>

#include "Crc16.h"

namespace kvel::sim {

void FrameAssembler::Append(const std::uint8_t* bytes, std::size_t length) {
    pending_.insert(pending_.end(), bytes, bytes + length);
}

bool FrameAssembler::FrontIsFrame() const {
    RequestFrame window{};
    std::copy_n(pending_.begin(), window.size(), window.begin());
    const std::uint16_t carried = static_cast<std::uint16_t>(window[6] | window[7] << 8);
    return Crc16Block(6, window.data()) == carried;
}

std::optional<RequestFrame> FrameAssembler::NextFrame() {
    constexpr std::size_t frameSize = std::tuple_size_v<RequestFrame>;
    while (pending_.size() >= frameSize) {
        if (FrontIsFrame()) {
            RequestFrame frame{};
            std::copy_n(pending_.begin(), frameSize, frame.begin());
            pending_.erase(pending_.begin(), pending_.begin() + frameSize);
            return frame;
        }
        pending_.pop_front();
    }
    return std::nullopt;
}

} // namespace kvel::sim
