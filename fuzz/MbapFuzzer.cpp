// The Modbus TCP adapter's reader on arbitrary byte streams arriving in arbitrary chunks, after
// one request. Oracle: it returns exactly what a plain reference reader of the whole stream
// returns (the RTU frame of the first protocol-0 frame of the awaited transaction, the drops by
// kind), whatever the chunks, and never holds back more than one frame.
#include "MbapFraming.h"
#include "Reference.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>

using namespace kvel;

namespace {
constexpr std::uint16_t kAwaited = 1;

struct Outcome {
    std::vector<std::uint8_t> rtu;
    std::array<std::size_t, 3> drops{};
};

Outcome ReferenceReading(const std::vector<std::uint8_t>& stream) {
    Outcome outcome;
    bool answered = false;
    std::size_t at = 0;
    while (stream.size() - at >= 7) {
        const std::size_t length = std::size_t{stream[at + 4]} << 8 | stream[at + 5];
        if (length < 2 || length > 254) {
            ++outcome.drops[static_cast<std::size_t>(MbapFault::WrongLength)];
            at += 7;
            continue;
        }
        if (stream.size() - at < 6 + length) break;
        const std::size_t transaction = std::size_t{stream[at]} << 8 | stream[at + 1];
        const std::size_t protocol = std::size_t{stream[at + 2]} << 8 | stream[at + 3];
        if (protocol != 0) {
            ++outcome.drops[static_cast<std::size_t>(MbapFault::WrongProtocol)];
        } else if (answered || transaction != kAwaited) {
            ++outcome.drops[static_cast<std::size_t>(MbapFault::WrongTransaction)];
        } else {
            answered = true;
            std::vector<std::uint8_t> frame(stream.begin() + static_cast<std::ptrdiff_t>(at + 6),
                                            stream.begin() +
                                                static_cast<std::ptrdiff_t>(at + 6 + length));
            fuzz::Seal(frame);
            outcome.rtu = frame;
        }
        at += 6 + length;
    }
    return outcome;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::vector<std::uint8_t> chunkSizes = input.ConsumeBytes<std::uint8_t>(8);
    const std::vector<std::uint8_t> stream = input.ConsumeRemainingBytes<std::uint8_t>();

    MbapAdapter adapter;
    std::vector<std::uint8_t> request{0x01, 0x03, 0x00, 0x00, 0x00, 0x1B};
    fuzz::Seal(request);
    KVEL_FUZZ_CHECK(!adapter.Request(request.data(), request.size()).empty());

    Outcome chunked;
    std::vector<MbapDrop> drops;
    for (std::size_t at = 0, chunk = 0; at < stream.size(); ++chunk) {
        const std::size_t want =
            chunkSizes.empty() ? stream.size() : chunkSizes[chunk % chunkSizes.size()] + 1u;
        const std::size_t length = std::min(want, stream.size() - at);
        adapter.Receive(stream.data() + at, length, chunked.rtu, drops);
        at += length;
        KVEL_FUZZ_CHECK(adapter.PendingCount() < kMbapHeaderBytes + kLongestMbapLength);
    }
    for (const MbapDrop& drop : drops)
        ++chunked.drops[static_cast<std::size_t>(drop.fault)];

    const Outcome reference = ReferenceReading(stream);
    KVEL_FUZZ_CHECK(chunked.rtu == reference.rtu);
    KVEL_FUZZ_CHECK(chunked.drops == reference.drops);
    return 0;
}
