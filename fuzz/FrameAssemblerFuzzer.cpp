// The simulated unit's frame assembler on arbitrary byte streams arriving in arbitrary chunks.
// Oracle: every frame it hands out has a good CRC and the shape of a request or of the block
// it announces, the frames appear in the stream in order without overlapping, and what it
// keeps waiting is never a whole request.
#include "Crc16.h"
#include "FrameAssembler.h"
#include "Reference.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

using namespace kvel;

namespace {
bool WellShaped(const sim::FrameAssembler::Frame& frame) {
    if (frame.size() < 8) return false;
    const std::size_t body = frame.size() - 2;
    if (fuzz::BitwiseCrc(frame.data(), body) != (frame[body] | frame[body + 1] << 8)) return false;
    return frame.size() == 8 || (std::size_t{frame[4]} << 8 | frame[5]) + 2 == frame.size();
}

// Only the start of a block frame still missing bytes may hold eight bytes or more back.
bool RightlyWaiting(const std::uint8_t* pending, std::size_t count) {
    if (count < 8) return true;
    const std::size_t announced = (std::size_t{pending[4]} << 8 | pending[5]) + 2;
    const bool blockHeader = pending[1] == 0x06 && pending[2] == 0xFF && pending[3] == 0xFD &&
                             announced >= 13 && announced <= 2060;
    const bool request = fuzz::BitwiseCrc(pending, 6) == (pending[6] | pending[7] << 8);
    return blockHeader && count < announced && !request;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::vector<std::uint8_t> chunkSizes = input.ConsumeBytes<std::uint8_t>(8);
    const std::vector<std::uint8_t> stream = input.ConsumeRemainingBytes<std::uint8_t>();

    sim::FrameAssembler assembler;
    std::size_t appended = 0;
    std::size_t searchFrom = 0;
    for (std::size_t chunk = 0; appended < stream.size(); ++chunk) {
        const std::size_t want =
            chunkSizes.empty() ? stream.size() : chunkSizes[chunk % chunkSizes.size()] + 1u;
        const std::size_t length = std::min(want, stream.size() - appended);
        assembler.Append(stream.data() + appended, length);
        appended += length;
        while (const auto frame = assembler.NextFrame()) {
            KVEL_FUZZ_CHECK(WellShaped(*frame));
            const auto found = std::search(stream.begin() + static_cast<std::ptrdiff_t>(searchFrom),
                                           stream.begin() + static_cast<std::ptrdiff_t>(appended),
                                           frame->begin(), frame->end());
            KVEL_FUZZ_CHECK(found != stream.begin() + static_cast<std::ptrdiff_t>(appended));
            searchFrom = static_cast<std::size_t>(found - stream.begin()) + frame->size();
        }
        const std::size_t pending = assembler.PendingCount();
        KVEL_FUZZ_CHECK(pending <= appended - std::min(searchFrom, appended));
        KVEL_FUZZ_CHECK(RightlyWaiting(stream.data() + appended - pending, pending));
    }
    return 0;
}
