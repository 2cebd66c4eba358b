// Modbus TCP's MBAP framing. MbapStream cuts a TCP byte stream into MBAP frames for either end;
// MbapAdapter lets a link that speaks RTU talk through it: a request leaves as the MBAP frame
// it stands for, and a reply comes back as the RTU frame it stands for, CRC included, so the
// receiver judges it by the same rules as one from the serial line.
#pragma once

#include "MbapDrop.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kvel {

// Transaction id, protocol id, length, unit id.
constexpr std::size_t kMbapHeaderBytes = 7;
// The length field counts the unit id and the PDU; a PDU is 1 to 253 bytes.
constexpr std::uint16_t kShortestMbapLength = 2;
constexpr std::uint16_t kLongestMbapLength = 254;

struct MbapFrame {
    std::uint16_t transaction = 0;
    std::uint16_t protocol = 0;
    std::uint8_t unit = 0;
    std::vector<std::uint8_t> pdu;
    // Set for a header whose length field no frame has: the header alone, given up.
    std::optional<std::uint16_t> wrongLength;
};

// The bytes of an MBAP frame with protocol id 0.
std::vector<std::uint8_t> MbapBytes(std::uint16_t transaction, std::uint8_t unit,
                                    const std::uint8_t* pdu, std::size_t pduLength);

// Appends the RTU frame that a unit id and PDU stand for: address, PDU, CRC.
void AppendRtuFrame(std::vector<std::uint8_t>& rtu, std::uint8_t unit,
                    const std::vector<std::uint8_t>& pdu);

class MbapStream {
public:
    // Takes in bytes as the connection delivers them, in pieces of any size; the frames they
    // complete are appended to `frames` in stream order. A header whose length no frame has
    // cannot say where the next frame starts: it alone is given up (appended with
    // `wrongLength` set) and the stream read again from the byte after it. At most one frame's
    // bytes are held back between calls, whatever a header claims.
    void Push(const std::uint8_t* bytes, std::size_t length, std::vector<MbapFrame>& frames);
    void Clear() { pending_.clear(); }
    std::size_t PendingCount() const { return pending_.size(); }

private:
    std::size_t FrameBytes() const;

    std::vector<std::uint8_t> pending_;
};

class MbapAdapter {
public:
    // The MBAP frame for a CRC-sealed RTU frame, with the next transaction id, which its reply
    // must carry. Empty when `rtu` is no such frame or its PDU is longer than Modbus allows
    // (the firmware's block frames): nothing is then awaited.
    std::vector<std::uint8_t> Request(const std::uint8_t* rtu, std::size_t length);

    // Takes in bytes as the connection delivers them. The RTU frames of the replies they
    // complete are appended to `rtu`; what is dropped is told in `drops`. A unit id other than
    // the one asked is handed on as it came: the receiver turns it away as a reply from
    // another address, which is what it is.
    void Receive(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& rtu,
                 std::vector<MbapDrop>& drops);

    // A new connection: nothing half received, no reply awaited.
    void Reset();

    std::size_t PendingCount() const { return stream_.PendingCount(); }

private:
    std::uint16_t nextTransaction_ = 1;
    std::optional<std::uint16_t> awaited_;
    MbapStream stream_;
};

} // namespace kvel
