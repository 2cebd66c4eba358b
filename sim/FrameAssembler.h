// Finds 8-byte requests in the byte stream the unit receives, whatever chunks it arrives in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "ModbusFrame.h"

namespace kvel::sim {

// The master only ever sends 8-byte requests, so a frame is any 8 consecutive bytes whose CRC
// holds. Noise is shed one byte at a time until such a window lines up, which is how the unit
// regains step after a glitch without relying on inter-frame silence a pty cannot convey.
class FrameAssembler {
  public:
    void Append(const std::uint8_t* bytes, std::size_t length);
    std::optional<RequestFrame> NextFrame();
    // Forgets a partial frame, e.g. after bytes the unit could not make sense of.
    void Discard() { pending_.clear(); }
    std::size_t PendingCount() const { return pending_.size(); }

  private:
    bool FrontIsFrame() const;

    std::deque<std::uint8_t> pending_;
};

} // namespace kvel::sim
