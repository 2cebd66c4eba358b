// The exposition writer and the address list: label values that would break a line, numbers
// that must read back, and lists as operators type them.
#include "Exposition.h"
#include "AddressList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>

namespace kvel {
namespace {

TEST(ExpositionTest, EscapesBackslashQuoteAndLineFeedInLabelValuesAndNothingElse) {
    const struct {
        std::string value;
        std::string escaped;
    } cases[] = {
        {"COM3", "COM3"},
        {"\\\\.\\COM3", "\\\\\\\\.\\\\COM3"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"two\nlines", "two\\nlines"},
        {"tab\tand\rreturn", "tab\tand\rreturn"},
        {"U вых", "U вых"},
        {"", ""},
        {"\\n", "\\\\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeLabelValue(c.value), c.escaped) << c.value;
    // HELP keeps its quotes.
    EXPECT_EQ(EscapeHelp("a \"b\" \\ c\nd"), "a \"b\" \\\\ c\\nd");
}

TEST(ExpositionTest, ValuesReadBackExactlyAndSpecialValuesAreSpelledAsPrometheusDoes) {
    for (double value : {0.0, 1.0, 54.3, 0.1, -5.0, 12345678.9, 1e-9, 65535.0})
        EXPECT_EQ(std::strtod(SampleValueText(value).c_str(), nullptr), value) << value;
    EXPECT_EQ(SampleValueText(54.3), "54.3");
    EXPECT_EQ(SampleValueText(2.0), "2");
    EXPECT_EQ(SampleValueText(std::nan("")), "NaN");
    EXPECT_EQ(SampleValueText(std::numeric_limits<double>::infinity()), "+Inf");
    EXPECT_EQ(SampleValueText(-std::numeric_limits<double>::infinity()), "-Inf");
}

TEST(ExpositionTest, WritesFamiliesWithHelpAndTypeAndLabelledSamples) {
    ExpositionWriter writer;
    writer.Family("kvel_up", "1 when \\ answered.", MetricType::Gauge);
    writer.Sample({{"port", "COM\"1\""}, {"address", "7"}}, 1);
    writer.Family("kvel_requests_total", "Requests.", MetricType::Counter);
    writer.Sample({}, 12);
    EXPECT_EQ(writer.Text(), "# HELP kvel_up 1 when \\\\ answered.\n"
                             "# TYPE kvel_up gauge\n"
                             "kvel_up{port=\"COM\\\"1\\\"\",address=\"7\"} 1\n"
                             "# HELP kvel_requests_total Requests.\n"
                             "# TYPE kvel_requests_total counter\n"
                             "kvel_requests_total 12\n");
}

// Prometheus' own checker reads what the writer makes of the worst label values there are.
TEST(ExpositionTest, PromtoolAcceptsPagesWithHostileLabelValues) {
    if (std::system("command -v promtool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "promtool is not installed (apt-get install prometheus)";
    ExpositionWriter writer;
    writer.Family("kvel_up", "Answered.", MetricType::Gauge);
    for (const char* port :
         {"/dev/ttyUSB0", "\\\\.\\COM12", "a\"b", "line\nbreak", "порт", "\\", "\"", "trailing\\"})
        writer.Sample({{"port", port}, {"address", "1"}}, 1);
    const std::string path = ::testing::TempDir() + "exposition-check.txt";
    std::ofstream(path) << writer.Text();
    EXPECT_EQ(std::system(("promtool check metrics < " + path).c_str()), 0) << writer.Text();
}

TEST(AddressListTest, ReadsListsAndRangesAsTyped) {
    const struct {
        const char* text;
        std::vector<std::uint8_t> addresses;
    } cases[] = {
        {"1", {1}},
        {"1, 3, 7-9", {1, 3, 7, 8, 9}},
        {" 7 - 9 ,1", {7, 8, 9, 1}},
        {"1,,3,", {1, 3}},
        {"254", {254}},
        {"5-5", {5}},
    };
    for (const auto& c : cases) {
        const AddressList list = ParseAddressList(c.text);
        EXPECT_EQ(list.error, AddressListError::None) << c.text;
        EXPECT_EQ(list.addresses, c.addresses) << c.text;
    }
}

TEST(AddressListTest, RefusesWhatIsNotAListOfUnitAddressesNamingTheItem) {
    const struct {
        const char* text;
        AddressListError error;
        const char* item;
    } cases[] = {
        {"", AddressListError::Empty, ""},
        {" , ", AddressListError::Empty, ""},
        {"1; 3", AddressListError::NotANumber, "1; 3"},
        {"x", AddressListError::NotANumber, "x"},
        {"-3", AddressListError::NotANumber, "-3"},
        {"1-", AddressListError::NotANumber, "1-"},
        {"1-2-3", AddressListError::NotANumber, "1-2-3"},
        {"0", AddressListError::OutOfRange, "0"},
        {"3, 255", AddressListError::OutOfRange, "255"},
        {"99999999999", AddressListError::OutOfRange, "99999999999"},
        {"9-7", AddressListError::BackwardRange, "9-7"},
        {"1, 3, 2-4", AddressListError::Repeated, "3"},
    };
    for (const auto& c : cases) {
        const AddressList list = ParseAddressList(c.text);
        EXPECT_EQ(list.error, c.error) << c.text;
        EXPECT_EQ(list.item, c.item) << c.text;
        EXPECT_TRUE(list.addresses.empty()) << c.text;
    }
}

TEST(AddressListTest, WritesRunsOfThreeOrMoreAsRangesAndReadsBackTheSame) {
    EXPECT_EQ(AddressListText({1, 3, 7, 8, 9}), "1, 3, 7-9");
    EXPECT_EQ(AddressListText({4, 5}), "4, 5");
    EXPECT_EQ(AddressListText({9, 8, 7}), "9, 8, 7");
    for (const std::vector<std::uint8_t>& addresses :
         {std::vector<std::uint8_t>{1, 2, 3, 10, 20, 21}, std::vector<std::uint8_t>{254}})
        EXPECT_EQ(ParseAddressList(AddressListText(addresses)).addresses, addresses);
}

} // namespace
} // namespace kvel
