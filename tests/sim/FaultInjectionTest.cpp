// Misbehaviour on demand: lost, corrupted, late, fragmented and refused replies, and silence.
#include <gtest/gtest.h>

#include "RegisterMap.h"
#include "SimTestSupport.h"

namespace kvel::sim::test {
namespace {

namespace h = reg::holding;

constexpr const char* kWriteVoltageSetpoint = "01 06 00 10 01 E5 48 14";
constexpr std::uint16_t kWrittenSetpoint = 0x01E5;

class FaultInjectionTest : public ::testing::Test {
protected:
    Transmission OnlyTransmissionFor(const std::string& hex) {
        const std::vector<std::uint8_t> bytes = Hex(hex);
        const Reception reception = unit.Receive(bytes.data(), bytes.size(), 9600);
        EXPECT_EQ(reception.exchanges.size(), 1u);
        EXPECT_TRUE(reception.exchanges.at(0).reply.has_value());
        return reception.exchanges.at(0).reply.value_or(Transmission{});
    }

    UnitSimulator unit{UnitSetup{}};
};

TEST_F(FaultInjectionTest, DroppedReplyStillAppliesTheWrite) {
    unit.Faults().dropShare = 1;
    EXPECT_EQ(ReplyTo(unit, kWriteVoltageSetpoint), "");
    unit.Faults().dropShare = 0;
    EXPECT_EQ(ReadRegister(unit, kReadHolding, h::VoltageSetpoint), kWrittenSetpoint);
}

TEST_F(FaultInjectionTest, InjectedExceptionRefusesTheRequest) {
    unit.Faults().exceptionShare = 1;
    EXPECT_EQ(ReplyTo(unit, kWriteVoltageSetpoint), "01 86 06 C2 62");
    unit.Faults().exceptionShare = 0;
    EXPECT_NE(ReadRegister(unit, kReadHolding, h::VoltageSetpoint), kWrittenSetpoint);
}

TEST_F(FaultInjectionTest, CorruptedReplyFailsItsCrc) {
    unit.Faults().corruptShare = 1;
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto replies = RepliesTo(unit, kReadAllHolding);
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies.front().size(), 59u);
        EXPECT_FALSE(CrcHolds(replies.front())) << HexOf(replies.front());
    }
}

TEST_F(FaultInjectionTest, SplitReplyCarriesTheSameBytesInGappedPieces) {
    const std::vector<std::uint8_t> whole = Joined(OnlyTransmissionFor(kWriteVoltageSetpoint));
    unit.Faults().splitGapMs = 30;
    const Transmission split = OnlyTransmissionFor(kWriteVoltageSetpoint);
    ASSERT_GT(split.pieces.size(), 1u);
    EXPECT_EQ(Joined(split), whole);
    EXPECT_EQ(split.pieces.front().gapMs, 0);
    for (std::size_t i = 1; i < split.pieces.size(); ++i) {
        EXPECT_EQ(split.pieces[i].gapMs, 30);
        EXPECT_FALSE(split.pieces[i].bytes.empty());
    }
}

TEST_F(FaultInjectionTest, DelayPrecedesTheFirstPiece) {
    unit.Faults().delayMs = 250;
    const Transmission delayed = OnlyTransmissionFor(kWriteVoltageSetpoint);
    ASSERT_EQ(delayed.pieces.size(), 1u);
    EXPECT_EQ(delayed.pieces.front().gapMs, 250);
    EXPECT_EQ(HexOf(delayed.pieces.front().bytes), kWriteVoltageSetpoint);
}

TEST_F(FaultInjectionTest, SilentUnitNeitherAnswersNorActs) {
    unit.Faults().silent = true;
    EXPECT_EQ(ReplyTo(unit, kWriteVoltageSetpoint), "");
    unit.Faults().silent = false;
    EXPECT_NE(ReadRegister(unit, kReadHolding, h::VoltageSetpoint), kWrittenSetpoint);
}

TEST_F(FaultInjectionTest, PartialSharesAffectSomeRepliesButNotAll) {
    unit.Faults().dropShare = 0.5;
    int answered = 0;
    for (int attempt = 0; attempt < 200; ++attempt)
        answered += static_cast<int>(RepliesTo(unit, kReadAllHolding).size());
    EXPECT_GT(answered, 50);
    EXPECT_LT(answered, 150);
}

} // namespace
} // namespace kvel::sim::test
