// The simulated unit taking new firmware: programming mode, readiness, block checks,
// acknowledgements, the closing frame and the fault options of the exchange.
#include <gtest/gtest.h>

#include "RegisterMap.h"
#include "SimTestSupport.h"

namespace kvel::sim::test {
namespace {

constexpr const char* kEnterProgramming = "01 06 FF FD 00 B9";
constexpr const char* kStatusRead = "01 03 FF FD 00 01 25 EE";
constexpr std::int32_t kRate = 9600;

std::vector<std::uint8_t> Sealed(std::vector<std::uint8_t> frame) {
    const auto length = static_cast<std::uint16_t>(frame.size());
    frame.resize(frame.size() + 2);
    AppendCrc(frame.data(), length);
    return frame;
}

// A block frame as the master builds it: header, data, CRC.
std::vector<std::uint8_t> BlockFrame(std::uint32_t block, const std::vector<std::uint8_t>& data) {
    const std::uint32_t address = 0x08004000 + block * 2048;
    const auto length = static_cast<std::uint16_t>(data.size() + 10);
    std::vector<std::uint8_t> frame{0x01,
                                    0x06,
                                    0xFF,
                                    0xFD,
                                    static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length & 0xFF)};
    for (int shift = 24; shift >= 0; shift -= 8)
        frame.push_back(static_cast<std::uint8_t>(address >> shift));
    frame.insert(frame.end(), data.begin(), data.end());
    return Sealed(frame);
}

std::vector<std::uint8_t> ClosingFrame(std::uint32_t totalBlocks) {
    return BlockFrame(totalBlocks, {0});
}

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 13);
    return bytes;
}

class ProgrammingModeTest : public ::testing::Test {
protected:
    std::vector<Exchange> Send(const std::vector<std::uint8_t>& frame) {
        return unit.Receive(frame.data(), frame.size(), kRate).exchanges;
    }
    // The single answer as hex, or "" when the unit kept quiet.
    std::string AnswerTo(const std::vector<std::uint8_t>& frame) {
        const auto exchanges = Send(frame);
        if (exchanges.size() != 1 || !exchanges[0].reply) return {};
        return HexOf(Joined(*exchanges[0].reply));
    }
    void EnterAndWaitUntilReady() {
        Send(Sealed(Hex(kEnterProgramming)));
        unit.Tick(0.5);
    }

    ProgrammingSettings programming{500, false};
    UnitSimulator unit{UnitSetup{}, programming};
};

TEST_F(ProgrammingModeTest, CommandIsEchoedAndStatusTurnsReadyAfterTheDelay) {
    EXPECT_EQ(AnswerTo(Hex(kStatusRead)), HexOf(Sealed(Hex("01 03 02 00 00"))));
    EXPECT_EQ(AnswerTo(Sealed(Hex(kEnterProgramming))), HexOf(Sealed(Hex(kEnterProgramming))));
    unit.Tick(0.4);
    EXPECT_EQ(AnswerTo(Hex(kStatusRead)), HexOf(Sealed(Hex("01 03 02 00 00"))));
    unit.Tick(0.1);
    EXPECT_EQ(AnswerTo(Hex(kStatusRead)), HexOf(Sealed(Hex("01 03 02 00 01"))));
}

TEST_F(ProgrammingModeTest, AcknowledgesTheWorkedExampleBlockWithItsCrc) {
    EnterAndWaitUntilReady();
    const auto block = Hex("01 06 FF FD 00 0F 08 00 40 00 41 42 43 44 45 40 F1");
    EXPECT_EQ(AnswerTo(block), HexOf(Sealed(Hex("01 06 00 F1 40"))));
}

TEST_F(ProgrammingModeTest, ClosingFrameEndsProgrammingWithTheImageAndANewCompileNumber) {
    const std::uint16_t compileNumber = ReadRegister(unit, kReadInput, reg::input::CompileNumber);
    EnterAndWaitUntilReady();
    const auto first = Bytes(2048, 1);
    const auto last = Bytes(100, 2);
    ASSERT_FALSE(AnswerTo(BlockFrame(0, first)).empty());
    ASSERT_FALSE(AnswerTo(BlockFrame(1, last)).empty());
    const auto closing = Send(ClosingFrame(2));
    ASSERT_EQ(closing.size(), 1u);
    EXPECT_TRUE(closing[0].programmed);
    EXPECT_FALSE(closing[0].reply) << "the closing frame is not acknowledged";
    auto expected = first;
    expected.insert(expected.end(), last.begin(), last.end());
    EXPECT_EQ(unit.Programmer().Image(), expected);
    EXPECT_EQ(ReadRegister(unit, kReadInput, reg::input::CompileNumber), compileNumber + 1);
    EXPECT_EQ(AnswerTo(Hex(kStatusRead)), HexOf(Sealed(Hex("01 03 02 00 00"))));
}

TEST_F(ProgrammingModeTest, RepeatedBlockIsRewrittenInPlace) {
    EnterAndWaitUntilReady();
    ASSERT_FALSE(AnswerTo(BlockFrame(0, Bytes(2048, 1))).empty());
    ASSERT_FALSE(AnswerTo(BlockFrame(0, Bytes(2048, 1))).empty());
    ASSERT_FALSE(AnswerTo(BlockFrame(1, Bytes(5, 3))).empty());
    Send(ClosingFrame(2));
    EXPECT_EQ(unit.Programmer().Image().size(), 2048u + 5u);
}

TEST_F(ProgrammingModeTest, RefusesBlocksBeforeReadyOutOfSequenceOrForAnotherUnit) {
    Send(Sealed(Hex(kEnterProgramming)));
    EXPECT_EQ(AnswerTo(BlockFrame(0, Bytes(10, 1))), "") << "not ready yet";
    unit.Tick(0.5);
    EXPECT_EQ(AnswerTo(BlockFrame(1, Bytes(2048, 1))), "") << "hole before it";
    auto foreign = BlockFrame(0, Bytes(10, 1));
    foreign[0] = 2;
    EXPECT_EQ(AnswerTo(Sealed({foreign.begin(), foreign.end() - 2})), "");
    EXPECT_FALSE(AnswerTo(BlockFrame(0, Bytes(10, 1))).empty());
}

TEST_F(ProgrammingModeTest, FindsABlockFrameArrivingInPiecesAmongNoise) {
    EnterAndWaitUntilReady();
    auto bytes = Hex("FF 00");
    const auto block = BlockFrame(0, Bytes(2048, 9));
    bytes.insert(bytes.end(), block.begin(), block.end());
    std::vector<Exchange> exchanges;
    for (std::size_t at = 0; at < bytes.size(); at += 300) {
        const std::size_t count = std::min<std::size_t>(300, bytes.size() - at);
        for (auto& exchange : unit.Receive(bytes.data() + at, count, kRate).exchanges)
            exchanges.push_back(exchange);
    }
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(exchanges[0].request, block);
    EXPECT_TRUE(exchanges[0].reply.has_value());
}

TEST_F(ProgrammingModeTest, NeverReadyKeepsAnsweringZero) {
    unit.Programmer().Settings().neverReady = true;
    EnterAndWaitUntilReady();
    unit.Tick(60);
    EXPECT_EQ(AnswerTo(Hex(kStatusRead)), HexOf(Sealed(Hex("01 03 02 00 00"))));
}

TEST_F(ProgrammingModeTest, WrongCrcOptionAcknowledgesWithAnotherCrc) {
    unit.Faults().wrongAckCrc = true;
    EnterAndWaitUntilReady();
    const auto block = Hex("01 06 FF FD 00 0F 08 00 40 00 41 42 43 44 45 40 F1");
    const std::string answer = AnswerTo(block);
    ASSERT_EQ(answer.size(), HexOf(Sealed(Hex("01 06 00 F1 40"))).size());
    EXPECT_NE(answer, HexOf(Sealed(Hex("01 06 00 F1 40"))));
    EXPECT_TRUE(CrcHolds(Hex(answer)));
}

TEST_F(ProgrammingModeTest, DroppedShareOfAcknowledgementsIsAboutTheShareAsked) {
    unit.Faults().ackDropShare = 0.2;
    EnterAndWaitUntilReady();
    int answered = 0;
    for (int i = 0; i < 500; ++i)
        answered += AnswerTo(BlockFrame(0, Bytes(16, 1))).empty() ? 0 : 1;
    EXPECT_GT(answered, 350);
    EXPECT_LT(answered, 450);
}

} // namespace
} // namespace kvel::sim::test
