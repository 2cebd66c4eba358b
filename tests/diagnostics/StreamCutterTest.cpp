// The received stream cut as the receiver sees it: accepted replies, and every other byte in a
// rejected piece with its reason; and the cutter agreeing with the real receiver.
#include "StreamCutter.h"
#include "Crc16.h"
#include "FakeLinkHost.h"
#include "FakeSerialChannel.h"
#include "Hex.h"
#include "ModbusLink.h"
#include "RecordingObserver.h"

#include <gtest/gtest.h>

#include <random>

namespace kvel::test {
namespace {

constexpr std::uint8_t kOurAddress = 1;
constexpr std::uint16_t kPollReplyLength = 59;

struct Cut {
    PieceKind kind;
    std::size_t bytes;
};

bool operator==(const Cut& a, const Cut& b) {
    return a.kind == b.kind && a.bytes == b.bytes;
}
std::ostream& operator<<(std::ostream& out, const Cut& cut) {
    return out << "{kind " << static_cast<int>(cut.kind) << ", " << cut.bytes << " bytes}";
}

class StreamCutterTest : public ::testing::Test {
protected:
    // The bytes arrive while the receiver awaits `expected` bytes; then the rest is given up.
    std::vector<Cut> CutAll(const std::vector<std::uint8_t>& stream,
                            std::uint16_t expected = kPollReplyLength) {
        std::vector<Cut> cuts;
        const auto keep = [&](const std::vector<ReceivedPiece>& pieces) {
            for (const ReceivedPiece& piece : pieces) {
                cuts.push_back({piece.kind, piece.bytes.size()});
                kept.push_back(piece);
            }
        };
        for (std::uint8_t byte : stream)
            keep(cutter.Push(LinkClock::now(), byte, ReceiverContext{kOurAddress, expected}));
        keep(cutter.Flush(kOurAddress));
        return cuts;
    }

    static std::vector<std::uint8_t> PollReply(std::uint8_t address = kOurAddress) {
        return ReadReply(address, 3, std::vector<std::uint16_t>(27, 0x0102));
    }

    StreamCutter cutter;
    std::vector<ReceivedPiece> kept;
};

TEST_F(StreamCutterTest, EachStreamIsCutAsTheReceiverSeesIt) {
    auto corrupted = PollReply();
    corrupted[20] ^= 0x40;
    const struct {
        const char* what;
        std::vector<std::uint8_t> stream;
        std::vector<Cut> cuts;
    } cases[] = {
        {"reply alone", PollReply(), {{PieceKind::Accepted, 59}}},
        {"noise, then the reply",
         Concat(Hex("FF 00 13"), PollReply()),
         {{PieceKind::Noise, 3}, {PieceKind::Accepted, 59}}},
        {"corrupted reply", corrupted, {{PieceKind::CrcError, 59}}},
        {"corrupted reply, then a good one",
         Concat(corrupted, PollReply()),
         {{PieceKind::CrcError, 59}, {PieceKind::Accepted, 59}}},
        {"another address answers", PollReply(7), {{PieceKind::OtherAddress, 59}}},
        {"exception", WithCrc("01 83 02"), {{PieceKind::Exception, 5}}},
        {"exception from another address", WithCrc("09 83 02"), {{PieceKind::OtherAddress, 5}}},
        {"write echo while a read is awaited",
         WithCrc("01 06 00 10 01 E5"),
         {{PieceKind::WrongLength, 8}}},
        {"half a reply", Hex("01 03 36 00 01 00 02"), {{PieceKind::CrcError, 7}}},
        {"garbage between frames",
         Concat(Concat(Concat(Hex("00"), WithCrc("01 83 06")), Hex("AA BB")), PollReply(2)),
         {{PieceKind::Noise, 1},
          {PieceKind::Exception, 5},
          {PieceKind::Noise, 2},
          {PieceKind::OtherAddress, 59}}},
        {"nothing", {}, {}},
    };
    for (const auto& c : cases) {
        cutter.Clear();
        EXPECT_EQ(CutAll(c.stream), c.cuts) << c.what;
    }
}

TEST_F(StreamCutterTest, PiecesCarryWhoSentThemAndTheExceptionCode) {
    CutAll(Concat(WithCrc("01 84 03"), PollReply(12)));
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].exceptionCode, 3);
    EXPECT_EQ(kept[0].address, 1);
    EXPECT_EQ(kept[1].address, 12);
    EXPECT_EQ(kept[1].bytes, PollReply(12));
}

TEST_F(StreamCutterTest, AcceptedReplyIsTheBytesTheReceiverTook) {
    CutAll(Concat(Hex("FE"), WithCrc("01 06 00 40 F1")), 7);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[1].kind, PieceKind::Accepted);
    EXPECT_EQ(kept[1].reply, ReplyKind::Write);
    EXPECT_EQ(kept[1].bytes, WithCrc("01 06 00 40 F1"));
}

TEST_F(StreamCutterTest, EndlessNoiseComesOutInBoundedPiecesAndLosesNoByte) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> noise(5000);
    for (auto& byte : noise)
        byte = static_cast<std::uint8_t>(random() % 0x7F + 0x80);
    std::size_t total = 0;
    std::size_t largest = 0;
    for (const Cut& cut : CutAll(noise)) {
        EXPECT_NE(cut.kind, PieceKind::Accepted);
        total += cut.bytes;
        largest = std::max(largest, cut.bytes);
    }
    EXPECT_EQ(total, noise.size());
    EXPECT_LE(largest, 2u * kReceiveWindowSize);
}

TEST_F(StreamCutterTest, NothingIsCheckedWhileNoReplyLengthIsKnown) {
    EXPECT_EQ(CutAll(PollReply(), 0), (std::vector<Cut>{{PieceKind::WrongLength, 59}}));
}

// Random mixtures of good replies, broken ones and noise, through the real receiver with the
// cutter behind its tap: both must take exactly the same replies.
TEST_F(StreamCutterTest, AgreesWithTheReceiverOnEveryReply) {
    FakeSerialChannel channel;
    FakeLinkHost host;
    LinkState state;
    ModbusLink link(state, channel, host);
    RecordingObserver observer;
    link.SetObserver(&observer);
    state.DeviceAddress = kOurAddress;
    state.ExpectedReplyLength = kPollReplyLength;

    std::mt19937 random(2024);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> part;
        switch (random() % 4) {
        case 0:
            part = PollReply();
            break;
        case 1:
            part = PollReply(static_cast<std::uint8_t>(random() % 3));
            break;
        case 2:
            part = WithCrc("01 83 02");
            break;
        default:
            part.assign(random() % 40, static_cast<std::uint8_t>(random()));
        }
        if (random() % 5 == 0 && !part.empty()) part[random() % part.size()] ^= 0x10;
        channel.Feed(part);
        link.Timer3Timer();
    }
    std::size_t cutterAccepted = 0;
    for (std::size_t i = 0; i < observer.bytesRead.size(); ++i)
        for (const ReceivedPiece& piece :
             cutter.Push(LinkClock::now(), observer.bytesRead[i], observer.contexts[i]))
            cutterAccepted += piece.kind == PieceKind::Accepted;
    EXPECT_GT(observer.accepted.size(), 50u);
    EXPECT_EQ(cutterAccepted, observer.accepted.size());
}

} // namespace
} // namespace kvel::test
