// Plain reference models the fuzzers hold the code to: a bit-by-bit CRC, and the receiver's
// acceptance rule over a plain history of every byte received.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kvel::fuzz {

inline std::uint16_t BitwiseCrc(const std::uint8_t* bytes, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<std::uint16_t>(crc >> 1 ^ 0xA001)
                             : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

// The bytes with their CRC appended, low byte first: lets a fuzzer make whole frames cheaply.
inline void Seal(std::vector<std::uint8_t>& frame) {
    const std::uint16_t crc = BitwiseCrc(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

// What the receiver has seen: 256 zero bytes before the first byte, as at start-up.
class History {
public:
    History() : bytes_(256, 0) {}
    void Push(std::uint8_t byte) { bytes_.push_back(byte); }
    // The newest `length` bytes; `length` at most 256.
    const std::uint8_t* Newest(std::size_t length) const {
        return bytes_.data() + bytes_.size() - length;
    }

private:
    std::vector<std::uint8_t> bytes_;
};

// Accepted: a length of 5 to 256, the CRC holds, our address, and a read reply whose byte
// count fits the length or a write reply.
inline bool ReceiverMustAccept(const History& history, std::uint16_t length, std::uint8_t address) {
    if (length < 5 || length > 256) return false;
    const std::uint8_t* frame = history.Newest(length);
    const std::uint16_t carried =
        static_cast<std::uint16_t>(frame[length - 2] | frame[length - 1] << 8);
    if (BitwiseCrc(frame, length - 2u) != carried || frame[0] != address) return false;
    const bool read = frame[1] == 3 || frame[1] == 4;
    if (read) return frame[2] != 0 && frame[2] + 5 == length;
    return frame[1] == 6;
}

// A broken oracle is a finding: say what and stop, so libFuzzer keeps the input.
#define KVEL_FUZZ_CHECK(condition)                                                                 \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "oracle failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

} // namespace kvel::fuzz
