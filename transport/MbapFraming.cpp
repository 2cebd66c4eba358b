// MBAP frames out and RTU frames back.
#include "MbapFraming.h"

#include "ModbusFrame.h"

#include <algorithm>

namespace kvel {

namespace {
constexpr std::size_t kRtuAddressAndCrcBytes = 3;

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t word) {
    out.push_back(static_cast<std::uint8_t>(word >> 8));
    out.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

bool ValidLength(std::uint16_t lengthField) {
    return lengthField >= kShortestMbapLength && lengthField <= kLongestMbapLength;
}
} // namespace

std::vector<std::uint8_t> MbapBytes(std::uint16_t transaction, std::uint8_t unit,
                                    const std::uint8_t* pdu, std::size_t pduLength) {
    std::vector<std::uint8_t> frame;
    frame.reserve(kMbapHeaderBytes + pduLength);
    PutWord(frame, transaction);
    PutWord(frame, 0);
    PutWord(frame, static_cast<std::uint16_t>(pduLength + 1));
    frame.push_back(unit);
    frame.insert(frame.end(), pdu, pdu + pduLength);
    return frame;
}

void AppendRtuFrame(std::vector<std::uint8_t>& rtu, std::uint8_t unit,
                    const std::vector<std::uint8_t>& pdu) {
    const std::size_t start = rtu.size();
    rtu.push_back(unit);
    rtu.insert(rtu.end(), pdu.begin(), pdu.end());
    rtu.resize(rtu.size() + 2);
    AppendCrc(rtu.data() + start, static_cast<std::uint16_t>(pdu.size() + 1));
}

std::size_t MbapStream::FrameBytes() const {
    return kMbapHeaderBytes + WordAt(&pending_[4]) - 1;
}

void MbapStream::Push(const std::uint8_t* bytes, std::size_t length,
                      std::vector<MbapFrame>& frames) {
    while (length > 0) {
        const std::size_t wanted = pending_.size() < kMbapHeaderBytes
                                       ? kMbapHeaderBytes - pending_.size()
                                       : FrameBytes() - pending_.size();
        const std::size_t taken = std::min(wanted, length);
        pending_.insert(pending_.end(), bytes, bytes + taken);
        bytes += taken;
        length -= taken;
        if (pending_.size() < kMbapHeaderBytes) continue;
        const bool refused = !ValidLength(WordAt(&pending_[4]));
        if (!refused && pending_.size() != FrameBytes()) continue;
        MbapFrame frame{WordAt(&pending_[0]), WordAt(&pending_[2]), pending_[6], {}, {}};
        if (refused)
            frame.wrongLength = WordAt(&pending_[4]);
        else
            frame.pdu.assign(pending_.begin() + kMbapHeaderBytes, pending_.end());
        frames.push_back(std::move(frame));
        pending_.clear();
    }
}

std::vector<std::uint8_t> MbapAdapter::Request(const std::uint8_t* rtu, std::size_t length) {
    const std::size_t pduBytes = length - std::min(length, kRtuAddressAndCrcBytes);
    if (pduBytes == 0 || pduBytes + 1 > kLongestMbapLength) return {};
    if (!CrcHolds(rtu, length)) return {};
    awaited_ = nextTransaction_++;
    return MbapBytes(*awaited_, rtu[0], rtu + 1, pduBytes);
}

void MbapAdapter::Receive(const std::uint8_t* bytes, std::size_t length,
                          std::vector<std::uint8_t>& rtu, std::vector<MbapDrop>& drops) {
    std::vector<MbapFrame> frames;
    stream_.Push(bytes, length, frames);
    for (const MbapFrame& frame : frames) {
        const std::size_t frameBytes = kMbapHeaderBytes + frame.pdu.size();
        if (frame.wrongLength) {
            drops.push_back({MbapFault::WrongLength, *frame.wrongLength, std::nullopt, frameBytes});
        } else if (frame.protocol != 0) {
            drops.push_back({MbapFault::WrongProtocol, frame.protocol, std::nullopt, frameBytes});
        } else if (!awaited_ || frame.transaction != *awaited_) {
            drops.push_back({MbapFault::WrongTransaction, frame.transaction, awaited_, frameBytes});
        } else {
            awaited_.reset();
            AppendRtuFrame(rtu, frame.unit, frame.pdu);
        }
    }
}

void MbapAdapter::Reset() {
    awaited_.reset();
    stream_.Clear();
}

} // namespace kvel
