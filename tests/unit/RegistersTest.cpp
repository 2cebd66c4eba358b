// The register table: registers by name and number, values typed in their units become the
// words the unit holds, and the setpoints stay within the unit's own limits.
#include "Registers.h"
#include "FixedPointCases.h"

#include <gtest/gtest.h>

#include <set>

namespace kvel::unit {
namespace {

const Register& Named(const char* name) {
    const Register* info = ByName(name);
    EXPECT_NE(info, nullptr) << name;
    return *info;
}

std::optional<std::uint16_t> Word(const char* name, const char* text) {
    return ParseValue(Named(name), text).word;
}

TEST(RegistersTest, EveryRegisterOfTheMapHasOneNameAndNumbersFindHoldingRegisters) {
    for (std::uint16_t number = 0; number < reg::holding::Count; ++number) {
        const Register* info = Find(Bank::Holding, number);
        ASSERT_NE(info, nullptr) << number;
        EXPECT_EQ(ByName(info->name), info);
        EXPECT_EQ(ByNameOrNumber(std::to_string(number)), info);
    }
    EXPECT_EQ(ByNameOrNumber("27"), nullptr);
    EXPECT_EQ(ByNameOrNumber("0016"), nullptr);
    EXPECT_EQ(ByNameOrNumber("voltage"), nullptr);
    EXPECT_EQ(ByName("status")->bank, Bank::Input);
}

TEST(RegistersTest, TenthsTakeADecimalCommaOrPointAndNoMoreThanOneDecimal) {
    EXPECT_EQ(Word("voltage-setpoint", "48,5"), 485);
    EXPECT_EQ(Word("voltage-setpoint", "48.5"), 485);
    EXPECT_EQ(Word("voltage-setpoint", "48"), 480);
    EXPECT_EQ(Word("voltage-setpoint", "48,50"), 485);
    EXPECT_EQ(Word("voltage-setpoint", ",5"), 5);
    EXPECT_EQ(Word("voltage-setpoint", "6553,5"), 65535);
    EXPECT_FALSE(Word("voltage-setpoint", "48,55"));
    EXPECT_FALSE(Word("voltage-setpoint", "6553,6"));
    EXPECT_FALSE(Word("voltage-setpoint", "-0,1"));
    EXPECT_FALSE(Word("voltage-setpoint", "4,8,5"));
    EXPECT_FALSE(Word("voltage-setpoint", ""));
    EXPECT_FALSE(Word("voltage-setpoint", "48 V"));
    EXPECT_FALSE(Word("voltage-setpoint", "99999999999999999999"));
    EXPECT_FALSE(Word("voltage-setpoint", "429496778,1")); // 485 once its sum wraps at 32 bits
    EXPECT_FALSE(Word("voltage-setpoint", "4294967296"));
    EXPECT_NE(ParseValue(Named("voltage-setpoint"), "-1").refusal.find("0.0 to 6553.5 V"),
              std::string::npos);
}

TEST(RegistersTest, TypedNumbersReadTheSameWhateverTheWidthOfLong) {
    for (const test::FixedPointCase& c : test::kFixedPointCases) {
        const FixedPoint read = ReadFixedPoint(c.text, c.decimals);
        EXPECT_EQ(read.scaled, c.scaled) << c.text;
        EXPECT_EQ(read.fault, c.fault) << c.text;
    }
}

TEST(RegistersTest, FlagsChoicesAndSignedValuesKeepToTheirRange) {
    EXPECT_EQ(Word("sound-signal", "1"), 1);
    EXPECT_FALSE(Word("sound-signal", "2"));
    EXPECT_EQ(Word("voltage-source", "2"), 2);
    EXPECT_FALSE(Word("voltage-source", "3"));
    EXPECT_FALSE(Word("relay-contacts", "2"));
    EXPECT_EQ(Word("power-stage-temperature", "-5"), 65531);
    EXPECT_FALSE(Word("power-stage-temperature", "32768"));
    EXPECT_FALSE(Word("max-temperature", "75,5"));
    EXPECT_EQ(Word("max-temperature", "65535"), 65535);
    EXPECT_FALSE(Word("max-temperature", "65536"));
}

TEST(RegistersTest, EveryWordFormatsToATextThatReadsBackAsTheSameWord) {
    std::set<std::pair<Encoding, std::uint16_t>> tried;
    for (const Register& info : Registers()) {
        if (!tried.insert({info.encoding, info.choices}).second) continue;
        for (std::uint32_t word = 0; word <= 0xFFFF; ++word) {
            const auto w = static_cast<std::uint16_t>(word);
            const ParsedValue back = ParseValue(info, FormatValue(info, w));
            if (!back.word) continue; // a flag of 7, say: the unit may report what one cannot type
            ASSERT_EQ(*back.word, w) << info.name << " " << FormatValue(info, w);
        }
    }
    EXPECT_EQ(FormatValue(Named("voltage-correction"), 65533), "-0.3");
    EXPECT_EQ(FormatValue(Named("voltage-setpoint"), 5, ','), "0,5");
}

TEST(RegistersTest, SetpointsOutsideTheUnitsLimitsAreRefusedWhileTheLimitsAreKnown) {
    RegisterImage holding{};
    holding[reg::holding::CalibVoltageMin] = 100;
    holding[reg::holding::CalibVoltageMax] = 600;
    EXPECT_EQ(RefusalOfLimits(reg::holding::VoltageSetpoint, 100, holding), "");
    EXPECT_EQ(RefusalOfLimits(reg::holding::VoltageSetpoint, 600, holding), "");
    EXPECT_EQ(RefusalOfLimits(reg::holding::VoltageSetpoint, 601, holding),
              "voltage-setpoint 60.1 V is outside the unit's limits 10.0 to 60.0 V "
              "(voltage-min, voltage-max)");
    EXPECT_NE(RefusalOfLimits(reg::holding::VoltageSetpoint, 99, holding), "");
    // Current limits unknown: maximum 0.
    EXPECT_EQ(RefusalOfLimits(reg::holding::CurrentSetpoint, 5000, holding), "");
    holding[reg::holding::CalibCurrentMax] = 300;
    EXPECT_NE(RefusalOfLimits(reg::holding::CurrentSetpoint, 301, holding), "");
    // Back to front: a minimum above the maximum is no limit either.
    holding[reg::holding::CalibCurrentMin] = 400;
    EXPECT_EQ(RefusalOfLimits(reg::holding::CurrentSetpoint, 5000, holding), "");
    // Back to front: a minimum above the maximum is no limit either.
    holding[reg::holding::CalibCurrentMin] = 400;
    EXPECT_EQ(RefusalOfLimits(reg::holding::CurrentSetpoint, 5000, holding), "");
    EXPECT_EQ(RefusalOfLimits(reg::holding::ChargeVoltageFull, 9999, holding), "");
}

} // namespace
} // namespace kvel::unit
