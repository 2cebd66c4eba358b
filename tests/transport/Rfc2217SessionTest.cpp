// The telnet side of an RFC 2217 line against the bytes a server sends, cut every way.
#include "Rfc2217Session.h"
#include "Hex.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kvel {
namespace {

using test::Hex;
using test::ToHex;

// What ser2net 4.3.11 sends on a new connection: WILL SGA, DO SGA, WILL ECHO, DONT ECHO,
// DO BINARY, WILL BINARY, DO COM-PORT-OPTION.
const char* const kGreeting = "FF FB 03 FF FD 03 FF FB 01 FF FE 01 FF FD 00 FF FB 00 FF FD 2C";
// Its answers to 9600 bit/s, 8 data bits, no parity, one stop bit, and a modem-state notice.
const char* const kAnswers9600 =
    "FF FA 2C 6B 00 FF F0 FF FA 2C 65 00 00 25 80 FF F0 FF FA 2C 66 08 FF F0 "
    "FF FA 2C 67 01 FF F0 FF FA 2C 68 01 FF F0";

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

bool Contains(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& part) {
    return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

// Feeds `stream` in pieces of `piece` bytes, as a connection may deliver it.
std::vector<std::uint8_t> Feed(Rfc2217Session& session, const std::vector<std::uint8_t>& stream,
                               std::size_t piece) {
    std::vector<std::uint8_t> data;
    for (std::size_t at = 0; at < stream.size(); at += piece)
        session.Receive(stream.data() + at, std::min(piece, stream.size() - at), data);
    return data;
}

TEST(Rfc2217SessionTest, AsksForTheOptionAndBinaryAtOnce) {
    Rfc2217Session session(9600);
    const std::vector<std::uint8_t> sent = session.TakeOutgoing();
    EXPECT_TRUE(Contains(sent, Hex("FF FB 2C"))) << ToHex(sent);
    EXPECT_TRUE(Contains(sent, Hex("FF FB 00"))) << ToHex(sent);
    EXPECT_TRUE(Contains(sent, Hex("FF FD 00"))) << ToHex(sent);
    EXPECT_FALSE(session.Ready());
}

TEST(Rfc2217SessionTest, SetsTheLineOnceTheServerAgreesAndWaitsForNoModemControlAnswer) {
    Rfc2217Session session(9600);
    session.TakeOutgoing();
    Feed(session, Hex(kGreeting), 64);
    const std::vector<std::uint8_t> sent = session.TakeOutgoing();
    for (const char* setting :
         {"FF FA 2C 01 00 00 25 80 FF F0", "FF FA 2C 02 08 FF F0", "FF FA 2C 03 01 FF F0",
          "FF FA 2C 04 01 FF F0", "FF FA 2C 05 08 FF F0", "FF FA 2C 05 0B FF F0"})
        EXPECT_TRUE(Contains(sent, Hex(setting))) << setting << " not in " << ToHex(sent);
    EXPECT_FALSE(session.Ready());
    Feed(session, Hex(kAnswers9600), 64);
    EXPECT_TRUE(session.Ready());
    EXPECT_TRUE(session.Settled());
}

// The unit's bytes, 0xFF among them, whole or cut anywhere, even inside IAC IAC or a setting's
// answer; what the server says before the line is set is not the unit's.
TEST(Rfc2217SessionTest, HandsOnTheUnitsBytesAloneHoweverTheStreamIsCut) {
    const std::vector<std::uint8_t> stream =
        Join({Hex(kGreeting), Hex("50 6F 72 74"), Hex(kAnswers9600),
              Hex("01 03 02 FF FF B9 F4 FF FA 2C 6B 30 FF F0 FF FF 00 FF F1 07")});
    for (std::size_t piece : {1, 2, 3, 5, 7, 64}) {
        Rfc2217Session session(9600);
        EXPECT_EQ(ToHex(Feed(session, stream, piece)), "01 03 02 FF B9 F4 FF 00 07")
            << "pieces of " << piece;
        EXPECT_EQ(session.Problem(), Rfc2217Problem::None);
    }
}

TEST(Rfc2217SessionTest, DoublesIacInTheUnitsBytes) {
    Rfc2217Session session(9600);
    session.TakeOutgoing();
    const std::vector<std::uint8_t> block = Hex("FF 00 FF FF 0D 00 0D 0A");
    session.Send(block.data(), block.size());
    EXPECT_EQ(ToHex(session.TakeOutgoing()), "FF FF 00 FF FF FF FF 0D 00 0D 0A");
}

struct Refusal {
    const char* what;
    std::int32_t bitRate;
    const char* server;
    Rfc2217Problem problem;
    std::uint32_t asked;
    std::uint32_t answered;
};

TEST(Rfc2217SessionTest, TellsWhyTheServerWillNotSetTheLine) {
    const Refusal refusals[] = {
        {"option refused", 9600, "FF FB 00 FF FE 2C", Rfc2217Problem::OptionRefused, 0, 0},
        {"rate not taken", 38400, "FF FD 2C FF FA 2C 65 00 00 25 80 FF F0",
         Rfc2217Problem::SettingNotTaken, 38400, 9600},
        {"parity not taken", 9600, "FF FD 2C FF FA 2C 67 02 FF F0", Rfc2217Problem::SettingNotTaken,
         1, 2},
        {"answer of a wrong size", 9600, "FF FD 2C FF FA 2C 65 25 80 FF F0",
         Rfc2217Problem::Garbled, 0, 0},
    };
    for (const Refusal& refusal : refusals) {
        Rfc2217Session session(refusal.bitRate);
        const std::vector<std::uint8_t> stream = Join({Hex(refusal.server), Hex("01 02 03")});
        EXPECT_TRUE(Feed(session, stream, 1).empty()) << refusal.what;
        EXPECT_EQ(session.Problem(), refusal.problem) << refusal.what;
        EXPECT_EQ(session.Asked(), refusal.asked) << refusal.what;
        EXPECT_EQ(session.Answered(), refusal.answered) << refusal.what;
        EXPECT_FALSE(session.Ready()) << refusal.what;
    }
}

// A subnegotiation that never ends is given up, and none of it is taken for the unit's bytes.
TEST(Rfc2217SessionTest, GivesUpASubnegotiationFloodWithoutHandingItOn) {
    Rfc2217Session session(9600);
    std::vector<std::uint8_t> data = Feed(session, Join({Hex(kGreeting), Hex(kAnswers9600)}), 64);
    std::vector<std::uint8_t> flood = Hex("FF FA 2C");
    flood.resize(1 << 20, 0x41);
    for (int i = 0; i < 4; ++i) {
        const std::vector<std::uint8_t> got = Feed(session, flood, 4096);
        data.insert(data.end(), got.begin(), got.end());
    }
    EXPECT_TRUE(data.empty()) << data.size() << " bytes of the flood handed on";
    EXPECT_EQ(session.Problem(), Rfc2217Problem::Garbled);
}

// libtelnet would inflate what follows a COMPRESS2 marker, agreed or not: the bytes after it
// must not reach the unit's side as if they were its own.
TEST(Rfc2217SessionTest, GivesUpAServerThatTurnsCompressionOn) {
    Rfc2217Session session(9600);
    Feed(session, Join({Hex(kGreeting), Hex(kAnswers9600)}), 64);
    EXPECT_TRUE(Feed(session, Hex("FF FA 56 FF F0 78 9C 01 02 03"), 1).empty());
    EXPECT_EQ(session.Problem(), Rfc2217Problem::Garbled);
}

TEST(Rfc2217SessionTest, RefusesOptionsItDoesNotKnowAndCarriesOn) {
    Rfc2217Session session(9600);
    Feed(session, Join({Hex(kGreeting), Hex(kAnswers9600)}), 64);
    session.TakeOutgoing();
    EXPECT_EQ(ToHex(Feed(session, Hex("FF FD 18 FF FB 1F 42"), 1)), "42");
    EXPECT_EQ(ToHex(session.TakeOutgoing()), "FF FC 18 FF FE 1F");
    EXPECT_EQ(session.Problem(), Rfc2217Problem::None);
}

// The rate changes on the open line: the unit's bytes keep flowing while the answer is awaited.
TEST(Rfc2217SessionTest, ChangesTheRateAndChecksTheAnswer) {
    Rfc2217Session session(9600);
    Feed(session, Join({Hex(kGreeting), Hex(kAnswers9600)}), 64);
    session.TakeOutgoing();
    session.SetBitRate(38400);
    EXPECT_EQ(ToHex(session.TakeOutgoing()), "FF FA 2C 01 00 00 96 00 FF F0");
    EXPECT_FALSE(session.Settled());
    EXPECT_EQ(ToHex(Feed(session, Hex("11 FF FA 2C 65 00 00 96 00 FF F0 22"), 3)), "11 22");
    EXPECT_TRUE(session.Settled());
}

} // namespace
} // namespace kvel
