// Cuts the received byte stream the way the receiver sees it: into the replies it accepted and
// the runs of bytes it passed over, each run with the likeliest reason.
#pragma once

#include "LinkObserver.h"
#include "LinkState.h"
#include "ModbusFrame.h"

#include <cstdint>
#include <vector>

namespace kvel {

enum class PieceKind {
    Accepted,
    CrcError,     // our address and function, but the check sum fails
    OtherAddress, // a whole frame from another unit
    WrongLength,  // a whole frame from our unit that is not the reply awaited
    Exception,    // an exception reply
    Noise,        // nothing frame-like
};

struct ReceivedPiece {
    PieceKind kind = PieceKind::Noise;
    std::vector<std::uint8_t> bytes;
    LinkClock::time_point lastByte;
    ReplyKind reply = ReplyKind::Rejected; // for Accepted
    std::uint8_t address = 0;              // who sent a whole frame
    std::uint8_t exceptionCode = 0;        // for Exception
};

class StreamCutter {
public:
    // Returns the pieces this byte completed, oldest first: rejected runs, and last the reply
    // it completed, if any. Unaccepted bytes past 512 are given up 256 at a time.
    const std::vector<ReceivedPiece>& Push(LinkClock::time_point when, std::uint8_t byte,
                                           ReceiverContext context);
    // The bytes not yet part of an accepted reply are given up as rejected, e.g. when a new
    // request goes out or the link is lost.
    const std::vector<ReceivedPiece>& Flush(std::uint8_t deviceAddress);
    void Clear();

private:
    void CutRejected(std::size_t count, std::uint8_t deviceAddress);

    ReceiveWindow window_;
    std::vector<std::uint8_t> pending_;
    std::vector<LinkClock::time_point> pendingTimes_;
    std::vector<ReceivedPiece> out_;
};

// Splits bytes the receiver did not accept into whole frames (by their check sums) and the
// noise between them. Every byte lands in exactly one piece, in order.
std::vector<ReceivedPiece> ExplainRejected(const std::uint8_t* bytes, std::size_t length,
                                           std::uint8_t deviceAddress);

} // namespace kvel
