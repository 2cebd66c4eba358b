// The unit's end of its line, as the server sees it: a pseudo-terminal, or a TCP listener that
// plays a serial-device server or a Modbus TCP gateway.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvel::sim {

class LineTransport {
public:
    enum class ReadStatus { Data, Nothing, NoPeer };
    struct ReadResult {
        ReadStatus status = ReadStatus::Nothing;
        std::vector<std::uint8_t> bytes;
    };

    virtual ~LineTransport() = default;

    // What the server waits on for input; -1 while the line is away.
    virtual int Descriptor() const = 0;
    virtual ReadResult Read() = 0;
    // False when the bytes could not all be handed on.
    virtual bool Write(const std::vector<std::uint8_t>& bytes) = 0;
    // The rate the master's bytes reach the unit at; 0 when unknown.
    virtual std::int32_t PeerBitRate() const = 0;
    // The descriptor reported hang-up with nothing to read: the peer is gone.
    virtual void PeerHungUp() {}
    // As a pulled adapter or a server switched off: the line goes away until Reappear.
    virtual void Pull() = 0;
    virtual void Reappear(std::int32_t bitRate) = 0;
    // Where a master finds the line, for the start-up line and the log.
    virtual std::string Description() const = 0;
};

} // namespace kvel::sim
