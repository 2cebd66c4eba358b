// A passive tap on the line: what went out, what came in, what the receiver accepted, and when
// the link was given up. Observers watch only; nothing they do reaches back into the link.
#pragma once

#include "MbapFraming.h"
#include "ModbusFrame.h"
#include "SerialChannel.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kvel {

using LinkClock = std::chrono::steady_clock;

// What the receiver compares the newest bytes against when a byte arrives.
struct ReceiverContext {
    std::uint8_t deviceAddress = 0;
    std::uint16_t expectedReplyLength = 0;
};

// What a network line did that its bytes do not show.
struct NetworkNote {
    enum class Kind {
        Connected,
        // The connection did not come up, or went down: `reason` says why.
        Failed,
        // Closed by the program.
        Closed,
        // A Modbus TCP reply dropped for its header; the receiver never saw it.
        ReplyDropped,
    };
    Kind kind = Kind::Connected;
    // "host:port"
    std::string where;
    OpenFailureReason reason = OpenFailureReason::None;
    MbapDrop drop;
};

class LinkObserver {
public:
    virtual ~LinkObserver() = default;

    virtual void BytesWritten(LinkClock::time_point when, const std::uint8_t* bytes,
                              std::size_t length) = 0;
    virtual void ByteRead(LinkClock::time_point when, std::uint8_t byte,
                          ReceiverContext context) = 0;
    // The newest bytes read, as many as the context of the last one expected, form the reply
    // the receiver took.
    virtual void ReplyAccepted(LinkClock::time_point when, ReplyKind kind) = 0;
    virtual void LinkLost(LinkClock::time_point when, bool portOpen) = 0;
    virtual void PortOpened(LinkClock::time_point when, bool opened) = 0;
    // Only network lines say anything here.
    virtual void NetworkNoted(LinkClock::time_point, const NetworkNote&) {}
};

} // namespace kvel
