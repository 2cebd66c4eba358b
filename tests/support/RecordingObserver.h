// A link observer that keeps everything it is told, for tests that check what the tap reports.
#pragma once

#include "LinkObserver.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace kvel::test {

// Test programs run with KVEL_OBSERVE_LINK in their environment run their fixtures with a
// recording observer attached, which must change nothing the tests see.
inline bool ObserveLink() {
    return std::getenv("KVEL_OBSERVE_LINK") != nullptr;
}

class RecordingObserver : public kvel::LinkObserver {
public:
    void BytesWritten(kvel::LinkClock::time_point, const std::uint8_t* bytes,
                      std::size_t length) override {
        writes.emplace_back(bytes, bytes + length);
    }
    void ByteRead(kvel::LinkClock::time_point, std::uint8_t byte,
                  kvel::ReceiverContext context) override {
        bytesRead.push_back(byte);
        contexts.push_back(context);
    }
    void ReplyAccepted(kvel::LinkClock::time_point, kvel::ReplyKind kind) override {
        accepted.push_back(kind);
    }
    void LinkLost(kvel::LinkClock::time_point, bool portOpen) override {
        losses.push_back(portOpen);
    }
    void PortOpened(kvel::LinkClock::time_point, bool opened) override { opens.push_back(opened); }
    void ImagesZeroed(kvel::LinkClock::time_point) override { ++zeroings; }

    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<std::uint8_t> bytesRead;
    std::vector<kvel::ReceiverContext> contexts;
    std::vector<kvel::ReplyKind> accepted;
    std::vector<bool> losses;
    std::vector<bool> opens;
    int zeroings = 0;
};

} // namespace kvel::test
