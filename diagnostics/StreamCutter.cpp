// The stream cutter mirrors the receiver with the receiver's own window and acceptance rule, so
// what it calls accepted is exactly what the link took.
#include "StreamCutter.h"

#include "FirmwareFrames.h"
#include "ModbusFrame.h"

#include <algorithm>
#include <array>

namespace kvel {

namespace {

// Past this many unaccepted bytes the oldest are given up, so noise never grows the buffer.
constexpr std::size_t kMostPending = 2 * kReceiveWindowSize;

// The length of a whole frame starting at `frame`, judged by its function and check sum; 0
// when none starts there.
std::size_t WholeFrameAt(const std::uint8_t* frame, std::size_t available) {
    if (available < kExceptionReplyLength) return 0;
    const std::uint8_t function = frame[1];
    const bool spoken = (function & kExceptionFlag) || IsRead(function) || function == kWriteSingle;
    if (!spoken) return 0;
    // A write is answered by its echo, a firmware block by the shorter acknowledgement.
    const std::array<std::size_t, 2> candidates{
        ReplyLengthAt(frame, available), function == kWriteSingle ? kAcknowledgementBytes : 0};
    for (const std::size_t length : candidates)
        if (length != 0 && length <= available && CrcHolds(frame, length)) return length;
    return 0;
}

PieceKind KindOfWholeFrame(const std::uint8_t* frame, std::uint8_t deviceAddress) {
    if (frame[0] != deviceAddress) return PieceKind::OtherAddress;
    if (frame[1] & kExceptionFlag) return PieceKind::Exception;
    return PieceKind::WrongLength;
}

bool LooksLikeOurReply(const std::uint8_t* bytes, std::size_t length, std::uint8_t deviceAddress) {
    if (length < 2 || bytes[0] != deviceAddress) return false;
    const std::uint8_t function = bytes[1] & static_cast<std::uint8_t>(~kExceptionFlag);
    return IsRead(function) || function == kWriteSingle;
}

ReceivedPiece Piece(PieceKind kind, const std::uint8_t* bytes, std::size_t length) {
    ReceivedPiece piece;
    piece.kind = kind;
    piece.bytes.assign(bytes, bytes + length);
    return piece;
}

void AddUnframed(std::vector<ReceivedPiece>& pieces, const std::uint8_t* bytes, std::size_t length,
                 std::uint8_t deviceAddress) {
    if (length == 0) return;
    const bool ours = LooksLikeOurReply(bytes, length, deviceAddress);
    pieces.push_back(Piece(ours ? PieceKind::CrcError : PieceKind::Noise, bytes, length));
}

} // namespace

std::vector<ReceivedPiece> ExplainRejected(const std::uint8_t* bytes, std::size_t length,
                                           std::uint8_t deviceAddress) {
    std::vector<ReceivedPiece> pieces;
    std::size_t unframedStart = 0;
    std::size_t at = 0;
    while (at < length) {
        const std::size_t frameLength = WholeFrameAt(bytes + at, length - at);
        if (frameLength == 0) {
            ++at;
            continue;
        }
        AddUnframed(pieces, bytes + unframedStart, at - unframedStart, deviceAddress);
        ReceivedPiece frame =
            Piece(KindOfWholeFrame(bytes + at, deviceAddress), bytes + at, frameLength);
        frame.address = bytes[at];
        if (bytes[at + 1] & kExceptionFlag) frame.exceptionCode = bytes[at + 2];
        pieces.push_back(std::move(frame));
        at += frameLength;
        unframedStart = at;
    }
    AddUnframed(pieces, bytes + unframedStart, length - unframedStart, deviceAddress);
    return pieces;
}

const std::vector<ReceivedPiece>& StreamCutter::Push(LinkClock::time_point when, std::uint8_t byte,
                                                     ReceiverContext context) {
    out_.clear();
    window_.Push(byte);
    pending_.push_back(byte);
    pendingTimes_.push_back(when);

    const std::uint16_t length = context.expectedReplyLength;
    const bool checked = length >= 5 && length <= kReceiveWindowSize;
    const std::uint8_t* frame = checked ? window_.Newest(length) : nullptr;
    const ReplyKind kind =
        checked ? ClassifyReply(frame, length, context.deviceAddress) : ReplyKind::Rejected;
    if (kind == ReplyKind::Rejected) {
        if (pending_.size() > kMostPending) CutRejected(kReceiveWindowSize, context.deviceAddress);
        return out_;
    }
    // The reply may reach back over bytes already given out; only what is newer is rejected.
    const std::size_t replyInPending = std::min<std::size_t>(length, pending_.size());
    CutRejected(pending_.size() - replyInPending, context.deviceAddress);

    ReceivedPiece reply = Piece(PieceKind::Accepted, frame, length);
    reply.reply = kind;
    reply.address = context.deviceAddress;
    reply.lastByte = when;
    out_.push_back(std::move(reply));
    pending_.clear();
    pendingTimes_.clear();
    return out_;
}

const std::vector<ReceivedPiece>& StreamCutter::Flush(std::uint8_t deviceAddress) {
    out_.clear();
    CutRejected(pending_.size(), deviceAddress);
    return out_;
}

void StreamCutter::Clear() {
    pending_.clear();
    pendingTimes_.clear();
}

void StreamCutter::CutRejected(std::size_t count, std::uint8_t deviceAddress) {
    if (count == 0) return;
    std::size_t offset = 0;
    for (ReceivedPiece& piece : ExplainRejected(pending_.data(), count, deviceAddress)) {
        offset += piece.bytes.size();
        piece.lastByte = pendingTimes_[offset - 1];
        out_.push_back(std::move(piece));
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    pendingTimes_.erase(pendingTimes_.begin(),
                        pendingTimes_.begin() + static_cast<std::ptrdiff_t>(count));
}

} // namespace kvel
