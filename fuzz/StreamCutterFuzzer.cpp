// The stream cutter and the frame decoder on arbitrary streams of noise and whole frames. Oracle:
// the cutter accepts exactly where the reference receiver does, every other byte lands once, in
// order, in a rejected piece, and every piece and every frame gets a line.
#include "Crc16.h"
#include "FrameDecoder.h"
#include "Reference.h"
#include "StreamCutter.h"
#include "TrafficMonitor.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

using namespace kvel;

namespace {
void CheckPieces(const std::vector<ReceivedPiece>& pieces, const std::vector<std::uint8_t>& stream,
                 std::size_t& given, bool mustAccept, std::size_t end) {
    bool accepted = false;
    for (const ReceivedPiece& piece : pieces) {
        KVEL_FUZZ_CHECK(!PieceText(piece).empty());
        if (piece.kind == PieceKind::Accepted) {
            KVEL_FUZZ_CHECK(&piece == &pieces.back());
            accepted = true;
            given = end;
            continue;
        }
        KVEL_FUZZ_CHECK(!piece.bytes.empty());
        KVEL_FUZZ_CHECK(given + piece.bytes.size() <= stream.size());
        KVEL_FUZZ_CHECK(
            std::memcmp(piece.bytes.data(), stream.data() + given, piece.bytes.size()) == 0);
        given += piece.bytes.size();
    }
    KVEL_FUZZ_CHECK(accepted == mustAccept);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const ReceiverContext context{input.ConsumeIntegral<std::uint8_t>(),
                                  static_cast<std::uint16_t>(input.ConsumeIntegralInRange(0, 300))};
    // Pieces of the stream, each sealed with its CRC when the fuzzer says so.
    std::vector<std::uint8_t> stream;
    while (input.remaining_bytes() != 0) {
        const bool seal = input.ConsumeBool();
        std::vector<std::uint8_t> piece =
            input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 80));
        if (seal) fuzz::Seal(piece);
        stream.insert(stream.end(), piece.begin(), piece.end());
    }

    StreamCutter cutter;
    fuzz::History history;
    std::size_t given = 0;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        history.Push(stream[i]);
        const bool mustAccept =
            fuzz::ReceiverMustAccept(history, context.expectedReplyLength, context.deviceAddress);
        const auto& pieces = cutter.Push(LinkClock::now(), stream[i], context);
        if (mustAccept)
            KVEL_FUZZ_CHECK(std::memcmp(pieces.back().bytes.data(),
                                        history.Newest(context.expectedReplyLength),
                                        context.expectedReplyLength) == 0);
        CheckPieces(pieces, stream, given, mustAccept, i + 1);
    }
    CheckPieces(cutter.Flush(context.deviceAddress), stream, given, false, stream.size());
    KVEL_FUZZ_CHECK(given == stream.size());

    KVEL_FUZZ_CHECK(!DescribeRequest(stream.data(), stream.size()).empty());
    KVEL_FUZZ_CHECK(!DescribeReply(stream.data(), stream.size()).empty());
    KVEL_FUZZ_CHECK(!DescribeRequest(stream.data(), stream.size(), DecodeContext{3}).empty());
    return 0;
}
