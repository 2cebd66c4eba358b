// Texts shown for register values, and register values made of typed texts.
#include "TextFormats.h"

#include <gtest/gtest.h>

namespace kvel {
namespace {

TEST(TextFormatsTest, TenthsShowOneDigitAfterTheComma) {
    EXPECT_EQ(TenthsText(545), "54,5");
    EXPECT_EQ(TenthsText(540), "54,0");
    EXPECT_EQ(TenthsText(7), "0,7");
    EXPECT_EQ(TenthsText(0), "0,0");
    EXPECT_EQ(TenthsText(65535), "6553,5");
}

TEST(TextFormatsTest, SignedWordsShowTheirSign) {
    EXPECT_EQ(SignedText(65526), "-10");
    EXPECT_EQ(SignedText(65531), "-5");
    EXPECT_EQ(SignedText(300), "300");
    EXPECT_EQ(SignedText(32768), "-32768");
}

TEST(TextFormatsTest, ShortestDecimalDropsAZeroFraction) {
    EXPECT_EQ(ShortestDecimalText(540), "54");
    EXPECT_EQ(ShortestDecimalText(545), "54,5");
    EXPECT_EQ(ShortestDecimalText(5), "0,5");
    EXPECT_EQ(ShortestDecimalText(0), "0");
    EXPECT_EQ(ShortestDecimalText(123), "12,3");
    EXPECT_EQ(ShortestDecimalText(120), "12");
}

TEST(TextFormatsTest, DecimalCommaReadsWhatTheGrammarAllows) {
    const struct {
        const char* text;
        long double value;
    } good[] = {{"54", 54},   {"12,3", 12.3L}, {",", 0},       {",5", 0.5L},    {"5,", 5},
                {"  7  ", 7}, {"-2,5", -2.5L}, {"+3", 3},      {"1E2", 100},    {"1,5e-1", 0.15L},
                {"-,", 0},    {"0", 0},        {"1e+3", 1000}, {"007,50", 7.5L}};
    for (const auto& c : good) {
        const auto value = ParseDecimalComma(QString::fromUtf8(c.text));
        ASSERT_TRUE(value.has_value()) << c.text;
        EXPECT_NEAR(static_cast<double>(*value), static_cast<double>(c.value), 1e-12) << c.text;
    }
}

TEST(TextFormatsTest, DecimalCommaRefusesEverythingElse) {
    for (const char* text : {"", " ", "-", "+", "1,2,3", "1.5", ".", "a", "1a", "1E", "1e+", "E5",
                             "1 2", "--1", "1e400000", "1,5 ,", "\t1"}) {
        EXPECT_FALSE(ParseDecimalComma(QString::fromUtf8(text)).has_value()) << '"' << text << '"';
    }
}

TEST(TextFormatsTest, WholeNumbersReadOnlyIntegers) {
    EXPECT_EQ(ParseWholeNumber(" 75 "), 75);
    EXPECT_EQ(ParseWholeNumber("-3"), -3);
    for (const char* text : {"", "-", "7,5", "1e2", "x", "99999999999"})
        EXPECT_FALSE(ParseWholeNumber(text).has_value()) << text;
}

TEST(TextFormatsTest, SetpointScalingTruncatesAfterSinglePrecision) {
    const struct {
        const char* text;
        std::uint16_t word;
    } cases[] = {{"54", 540}, {"12,3", 123}, {"12,35", 123}, {"12,39", 123},
                 {"0,29", 2}, {"0,07", 0},   {"0", 0},       {"48,5", 485}};
    for (const auto& c : cases) {
        const auto x = ParseDecimalComma(QString::fromUtf8(c.text));
        ASSERT_TRUE(x.has_value()) << c.text;
        EXPECT_EQ(ScaleSetpoint(*x), c.word) << c.text;
    }
}

TEST(TextFormatsTest, ValuesThatDoNotFitTheirRegisterAreRefusedNotWrapped) {
    EXPECT_EQ(ScaleSetpoint(6553.5L), 65535);
    EXPECT_FALSE(ScaleSetpoint(6553.6L).has_value()); // 65536
    EXPECT_FALSE(ScaleSetpoint(10000).has_value());   // would wrap to 34464
    EXPECT_FALSE(ScaleSetpoint(-5).has_value());
    EXPECT_EQ(ScaleTenths(54.5L), 545);
    EXPECT_EQ(ScaleTenths(0.29L), 2);
    EXPECT_EQ(ScaleTenths(-0.05L), 0); // truncates to zero, which fits
    EXPECT_FALSE(ScaleTenths(-1).has_value());
    EXPECT_FALSE(ScaleTenths(6553.6L).has_value());
    EXPECT_EQ(UnsignedWord(65535), 65535);
    EXPECT_FALSE(UnsignedWord(65536).has_value());
    EXPECT_FALSE(UnsignedWord(-1).has_value());
}

TEST(TextFormatsTest, SignedRegistersKeepTheirSignedRange) {
    EXPECT_EQ(TruncateToSignedWord(-5.7L), 0xFFFB);
    EXPECT_EQ(TruncateToSignedWord(-32768), 0x8000);
    EXPECT_EQ(TruncateToSignedWord(32767.9L), 0x7FFF);
    EXPECT_FALSE(TruncateToSignedWord(32768).has_value());
    EXPECT_FALSE(TruncateToSignedWord(-32769).has_value());
    EXPECT_FALSE(TruncateToSignedWord(70000).has_value());
}

TEST(TextFormatsTest, ValuesTooLargeToConvertGiveNothing) {
    EXPECT_FALSE(ScaleSetpoint(1e30L).has_value());
    EXPECT_FALSE(ScaleSetpoint(-1e30L).has_value());
    EXPECT_FALSE(ScaleTenths(1e37L).has_value());
    EXPECT_FALSE(TruncateToSignedWord(1e19L).has_value());
}

} // namespace
} // namespace kvel
