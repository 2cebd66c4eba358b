// Finds the master's frames in the byte stream the unit receives, whatever chunks it arrives in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "ModbusFrame.h"

namespace kvel::sim {

// The master sends 8-byte requests and, while programming, block frames that carry their own
// length (address, 0x06, 0xFF, 0xFD, length high, length low, ...). A frame is a run of bytes of
// either shape whose CRC holds. Noise is shed one byte at a time until such a run lines up,
// which is how the unit regains step after a glitch without relying on inter-frame silence a
// pty cannot convey.
class FrameAssembler {
public:
    using Frame = std::vector<std::uint8_t>;

    void Append(const std::uint8_t* bytes, std::size_t length);
    std::optional<Frame> NextFrame();
    // Forgets a partial frame, e.g. after bytes the unit could not make sense of.
    void Discard() { pending_.clear(); }
    std::size_t PendingCount() const { return pending_.size(); }

private:
    std::size_t AnnouncedBlockSize() const;
    bool FrontHoldsCrc(std::size_t size);
    Frame TakeFront(std::size_t size);

    std::deque<std::uint8_t> pending_;
    Frame scratch_;
};

} // namespace kvel::sim
