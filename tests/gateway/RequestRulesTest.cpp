// What a Modbus TCP client may put on the shared line, and what it is told instead.
#include "RequestRules.h"
#include "GatewayFixture.h"

namespace kvel::test {
namespace {

using gateway::Ruling;

struct RuleCase {
    const char* name;
    MbapFrame frame;
    bool readOnly;
    Ruling::Kind kind;
    std::uint8_t exception;
};

class RequestRule : public ::testing::TestWithParam<RuleCase> {};

TEST_P(RequestRule, DecidesAsTheSharedLineNeeds) {
    const RuleCase& c = GetParam();
    const Ruling ruling = gateway::RuleOn(c.frame, {c.readOnly});
    EXPECT_EQ(ruling.kind, c.kind);
    EXPECT_EQ(ruling.exception, c.exception);
}

MbapFrame WithProtocol(MbapFrame frame, std::uint16_t protocol) {
    frame.protocol = protocol;
    return frame;
}

MbapFrame WithWrongLength(std::uint16_t length) {
    MbapFrame frame;
    frame.wrongLength = length;
    return frame;
}

using K = Ruling::Kind;
INSTANTIATE_TEST_SUITE_P(
    Gateway, RequestRule,
    ::testing::Values(
        RuleCase{"ReadHolding", Asking(1, 1, "03 0000 007D"), false, K::Forward, 0},
        RuleCase{"ReadInput", Asking(1, 254, "04 0000 0001"), false, K::Forward, 0},
        RuleCase{"WriteSetpoint", Asking(1, 7, "06 0000 01F4"), false, K::Forward, 0},
        RuleCase{"WriteWhenReadOnly", Asking(1, 7, "06 0000 01F4"), true, K::Refuse, 0x01},
        RuleCase{"ReadWhenReadOnly", Asking(1, 7, "03 0000 0001"), true, K::Forward, 0},
        RuleCase{"WriteAddress", Asking(1, 1, "06 000E 0002"), false, K::Refuse, 0x01},
        RuleCase{"WriteRate", Asking(1, 1, "06 000F 0009"), false, K::Refuse, 0x01},
        RuleCase{"ProgrammingCommand", Asking(1, 1, "06 FFFD 00B9"), false, K::Refuse, 0x01},
        RuleCase{"Broadcast", Asking(1, 0, "06 0000 01F4"), false, K::Refuse, 0x01},
        RuleCase{"NoSuchUnit", Asking(1, 255, "03 0000 0001"), false, K::Refuse, 0x0A},
        RuleCase{"WriteMultiple", Asking(1, 1, "10 0000 0001 02 0001"), false, K::Refuse, 0x01},
        RuleCase{"FunctionZero", Asking(1, 1, "00"), false, K::Refuse, 0x01},
        RuleCase{"ShortRead", Asking(1, 1, "03 0000"), false, K::Refuse, 0x03},
        RuleCase{"LongRead", Asking(1, 1, "03 0000 0001 00"), false, K::Refuse, 0x03},
        RuleCase{"ReadNothing", Asking(1, 1, "03 0000 0000"), false, K::Refuse, 0x03},
        RuleCase{"ReadTooMany", Asking(1, 1, "04 0000 007E"), false, K::Refuse, 0x03},
        RuleCase{"OtherProtocol", WithProtocol(Asking(1, 1, "03 0000 0001"), 1), false,
                 K::Disconnect, 0},
        RuleCase{"LengthZero", WithWrongLength(0), false, K::Disconnect, 0},
        RuleCase{"LengthOver260", WithWrongLength(261), false, K::Disconnect, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineSettings, AreFoundInAWholeFrameAnywhereInTheBytes) {
    const std::vector<std::uint8_t> address = WithCrc("05 06 000E 0002");
    const std::vector<std::uint8_t> rate = Concat(Hex("00 11"), WithCrc("05 06 000F 0009"));
    const std::vector<std::uint8_t> setpoint = WithCrc("05 06 0000 01F4");
    std::vector<std::uint8_t> badCrc = address;
    badCrc.back() ^= 1;
    EXPECT_TRUE(gateway::WritesLineSettings(address.data(), address.size()));
    EXPECT_TRUE(gateway::WritesLineSettings(rate.data(), rate.size()));
    EXPECT_FALSE(gateway::WritesLineSettings(setpoint.data(), setpoint.size()));
    EXPECT_FALSE(gateway::WritesLineSettings(badCrc.data(), badCrc.size()));
}

} // namespace
} // namespace kvel::test
