// A passive tap on the line: what went out, what came in, what the receiver accepted, and when
// the link was given up. Observers watch only; nothing they do reaches back into the link. Each
// event does nothing unless an observer wants it.
#pragma once

#include "MbapDrop.h"
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

    virtual void BytesWritten(LinkClock::time_point, const std::uint8_t*, std::size_t) {}
    virtual void ByteRead(LinkClock::time_point, std::uint8_t, ReceiverContext) {}
    // The newest bytes read, as many as the context of the last one expected, form the reply
    // the receiver took. Reported once the reply has been taken in: its registers are in the
    // images and the windows show them.
    virtual void ReplyAccepted(LinkClock::time_point, ReplyKind) {}
    virtual void LinkLost(LinkClock::time_point, bool /*portOpen*/) {}
    virtual void PortOpened(LinkClock::time_point, bool /*opened*/) {}
    // Both register images were zeroed: at a link loss, and when the program turns to another
    // address. What they held is no longer the unit's.
    virtual void ImagesZeroed(LinkClock::time_point) {}
    // Only network lines say anything here.
    virtual void NetworkNoted(LinkClock::time_point, const NetworkNote&) {}
};

} // namespace kvel
