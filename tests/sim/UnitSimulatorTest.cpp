// How the simulated unit answers requests: framing, reads, writes, addressing and line rate.
#include <gtest/gtest.h>

#include "RegisterMap.h"
#include "SimTestSupport.h"

namespace kvel::sim::test {
namespace {

namespace h = reg::holding;

constexpr const char* kReadAllInput = "01 04 00 00 00 15 31 C5";
constexpr const char* kReadVoltageSetpoint = "01 03 00 10 00 01 85 CF";

class UnitSimulatorTest : public ::testing::Test {
protected:
    UnitSimulator unit{UnitSetup{}};
};

TEST_F(UnitSimulatorTest, AnswersFullHoldingReadWithByteCountAndValidCrc) {
    const auto replies = RepliesTo(unit, kReadAllHolding);
    ASSERT_EQ(replies.size(), 1u);
    const std::vector<std::uint8_t>& reply = replies.front();
    ASSERT_EQ(reply.size(), 59u);
    EXPECT_EQ(HexOf({reply.begin(), reply.begin() + 3}), "01 03 36");
    EXPECT_TRUE(CrcHolds(reply));
    for (std::uint16_t reg = 0; reg < h::Count; ++reg)
        EXPECT_EQ(WordAt(&reply[3 + 2 * reg]), unit.Model().Holding()[reg]) << "H" << reg;
}

TEST_F(UnitSimulatorTest, AnswersFullInputReadWithFirmwareIdentity) {
    const auto replies = RepliesTo(unit, kReadAllInput);
    ASSERT_EQ(replies.size(), 1u);
    const std::vector<std::uint8_t>& reply = replies.front();
    ASSERT_EQ(reply.size(), 47u);
    EXPECT_EQ(HexOf({reply.begin(), reply.begin() + 3}), "01 04 2A");
    EXPECT_TRUE(CrcHolds(reply));
    EXPECT_EQ(HexOf({reply.begin() + 5, reply.begin() + 15}), "00 70 07 EA 00 0B 00 14 00 25");
    EXPECT_EQ(HexOf({reply.begin() + 43, reply.begin() + 45}), "FF FD");
}

TEST_F(UnitSimulatorTest, AnswersSingleRegisterReadWithExactFrame) {
    EXPECT_EQ(ReplyTo(unit, kReadVoltageSetpoint), "01 03 02 02 21 79 3C");
}

TEST_F(UnitSimulatorTest, EchoesWriteAndKeepsTheValue) {
    EXPECT_EQ(ReplyTo(unit, "01 06 00 10 01 E5 48 14"), "01 06 00 10 01 E5 48 14");
    EXPECT_EQ(ReplyTo(unit, kReadVoltageSetpoint), "01 03 02 01 E5 78 5F");
}

TEST_F(UnitSimulatorTest, AssemblesRequestSplitAcrossChunks) {
    EXPECT_EQ(ReplyTo(unit, "01 03 00"), "");
    EXPECT_EQ(ReplyTo(unit, "10 00"), "");
    EXPECT_EQ(ReplyTo(unit, "01 85 CF"), "01 03 02 02 21 79 3C");
}

TEST_F(UnitSimulatorTest, FindsRequestAfterNoise) {
    EXPECT_EQ(ReplyTo(unit, "FF 00 01 03 7E 01 03 00 10 00 01 85 CF"), "01 03 02 02 21 79 3C");
}

TEST_F(UnitSimulatorTest, AnswersBackToBackRequestsInOneChunk) {
    const auto replies =
        RepliesTo(unit, std::string(kReadVoltageSetpoint) + " " + kReadVoltageSetpoint);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0], replies[1]);
}

TEST_F(UnitSimulatorTest, IgnoresRequestForAnotherAddress) {
    EXPECT_EQ(ReplyTo(unit, "07 03 00 10 00 01 85 A9"), "");
}

TEST_F(UnitSimulatorTest, IgnoresRequestWithBadCrc) {
    EXPECT_EQ(ReplyTo(unit, "01 03 00 10 00 01 85 CE"), "");
}

TEST_F(UnitSimulatorTest, RefusesWhatItCannotDoWithExceptions) {
    EXPECT_EQ(ReplyTo(unit, "01 10 00 00 00 01 01 C9"), "01 90 01 8D C0") << "unknown function";
    EXPECT_EQ(ReplyTo(unit, "01 03 00 1A 00 02 E5 CC"), "01 83 02 C0 F1") << "read past the end";
    EXPECT_EQ(ReplyTo(unit, "01 06 00 1B 00 01 38 0D"), "01 86 02 C3 A1") << "no such register";
    EXPECT_EQ(ReplyTo(unit, "01 06 00 0E 00 FF A8 49"), "01 86 03 02 61") << "address 255";
    EXPECT_EQ(ReplyTo(unit, "01 03 00 00 00 00 45 CA").substr(0, 5), "01 83") << "zero count";
}

TEST_F(UnitSimulatorTest, UnlocksCalibrationOnlyWithTheKey) {
    WriteRegister(unit, h::CalibrationEnable, reg::kCalibrationEnabled);
    EXPECT_EQ(ReadRegister(unit, kReadHolding, h::CalibrationEnable), reg::kCalibrationEnabled);
    WriteRegister(unit, h::CalibrationEnable, reg::kCalibrationEnabled + 1);
    EXPECT_EQ(ReadRegister(unit, kReadHolding, h::CalibrationEnable), 0);
}

TEST_F(UnitSimulatorTest, AnswersAtNewAddressAfterAddressWrite) {
    EXPECT_EQ(ReplyTo(unit, "01 06 00 0E 00 07 A9 CB"), "01 06 00 0E 00 07 A9 CB");
    EXPECT_EQ(ReplyTo(unit, kReadVoltageSetpoint), "");
    EXPECT_EQ(ReplyTo(unit, "07 03 00 10 00 01 85 A9"), "07 03 02 02 21 F1 3C");
}

TEST_F(UnitSimulatorTest, EchoesBaudWriteAtOldRateThenListensAtNewRate) {
    const RequestFrame toFast = BuildRequestFrame(1, kWriteSingle, h::BaudIndex, 5);
    const Reception reception = unit.Receive(toFast.data(), toFast.size(), 9600);
    ASSERT_EQ(reception.exchanges.size(), 1u);
    ASSERT_TRUE(reception.exchanges[0].reply.has_value());
    EXPECT_EQ(reception.exchanges[0].reply->bitRate, 9600);
    EXPECT_EQ(unit.BitRate(), 19200);

    EXPECT_EQ(ReplyTo(unit, kReadVoltageSetpoint, 9600), "");
    EXPECT_EQ(ReplyTo(unit, kReadVoltageSetpoint, 19200), "01 03 02 02 21 79 3C");
}

TEST_F(UnitSimulatorTest, FallsBackTo9600ForUnknownBaudIndex) {
    WriteRegister(unit, h::BaudIndex, 0);
    ASSERT_EQ(unit.BitRate(), 1200);
    WriteRegister(unit, h::BaudIndex, 0x0100);
    EXPECT_EQ(unit.BitRate(), 9600);
}

TEST_F(UnitSimulatorTest, LosesPartialRequestWhenGarbledByWrongRate) {
    EXPECT_EQ(ReplyTo(unit, "01 03 00 10", 9600), "");
    const Reception garbled = unit.Receive(Hex("00 01").data(), 2, 4800);
    EXPECT_FALSE(garbled.discarded.empty());
    EXPECT_EQ(ReplyTo(unit, "00 01 85 CF", 9600), "");
}

TEST_F(UnitSimulatorTest, StartsAtConfiguredAddressAndRate) {
    UnitSimulator configured(UnitSetup{7, 9, 1});
    EXPECT_EQ(configured.BitRate(), 115200);
    EXPECT_EQ(ReplyTo(configured, "07 03 00 10 00 01 85 A9", 115200), "07 03 02 02 21 F1 3C");
}

} // namespace
} // namespace kvel::sim::test
