// The journal's folding and kvel-gateway's command line.
#include "GatewayOptions.h"
#include "Journal.h"

#include <gtest/gtest.h>

namespace kvel::test {
namespace {

using gateway::Journal;
using std::chrono::seconds;

TEST(GatewayJournal, FoldsALineRepeatedWithinAMinuteAndCountsItOnItsNextLine) {
    std::vector<std::string> lines;
    Journal journal([&](const std::string& line) { lines.push_back(line); });
    const Journal::Clock::time_point start{};
    journal.Write("client 127.0.0.1 connected", start);
    journal.Write("unit 3 silent", start);
    for (int i = 1; i <= 5; ++i)
        journal.Write("client 127.0.0.1 connected", start + seconds(i));
    journal.Write("client 127.0.0.1 connected", start + seconds(61));
    EXPECT_EQ(lines,
              (std::vector<std::string>{"client 127.0.0.1 connected", "unit 3 silent",
                                        "client 127.0.0.1 connected (and 5 times more before)"}));
}

std::vector<std::string> Words(std::initializer_list<const char*> words) {
    return {words.begin(), words.end()};
}

TEST(GatewayOptions, ListenOnLoopbackAtTheUsualPortUnlessTold) {
    const gateway::ParsedOptions parsed = gateway::ParseOptions(Words({"--port", "3"}));
    ASSERT_TRUE(parsed.config) << parsed.text;
    EXPECT_EQ(parsed.config->port.name, ComPortName(3));
    EXPECT_EQ(parsed.config->listen.host, "127.0.0.1");
    EXPECT_EQ(parsed.config->listen.port, 5020);
    EXPECT_EQ(parsed.config->bitRate, 9600);
    EXPECT_FALSE(parsed.config->rawListen);
    EXPECT_FALSE(parsed.config->scheduler.policy.readOnly);
    EXPECT_EQ(parsed.config->idle.idle, seconds(60));
}

TEST(GatewayOptions, ReadsEveryOption) {
    const gateway::ParsedOptions parsed = gateway::ParseOptions(
        Words({"--port", "tcp://127.0.0.1:4001", "--baud=115200", "--listen", "0.0.0.0:502",
               "--raw-listen", "5021", "--timeout", "150", "--queue", "3", "--read-only",
               "--allow-line-changes", "--lease-timeout", "60", "--idle-timeout", "5"}));
    ASSERT_TRUE(parsed.config) << parsed.text;
    const gateway::GatewayConfig& config = *parsed.config;
    EXPECT_EQ(config.bitRate, 115200);
    EXPECT_EQ(config.scheduler.timing.bitRate, 115200);
    EXPECT_EQ(config.listen.host, "0.0.0.0");
    ASSERT_TRUE(config.rawListen);
    EXPECT_EQ(config.rawListen->port, 5021);
    EXPECT_EQ(config.scheduler.timing.replyTimeout, std::chrono::milliseconds(150));
    EXPECT_EQ(config.scheduler.queueLimit, 3u);
    EXPECT_TRUE(config.scheduler.policy.readOnly);
    EXPECT_TRUE(config.allowLineChanges);
    EXPECT_EQ(config.leaseTimeout, seconds(60));
    EXPECT_EQ(config.idle.idle, seconds(5));
}

TEST(GatewayOptions, RefusesWhatItCannotUseWithUsageExit) {
    for (const auto& words :
         {Words({}), Words({"--port"}), Words({"--port", "COMX"}),
          Words({"--port", "3", "--baud", "1000"}), Words({"--port", "3", "--listen", "host:0"}),
          Words({"--port", "3", "--timeout", "5"}), Words({"--port", "3", "--port", "4"}),
          Words({"--port", "3", "--read-only=1"}), Words({"--port", "3", "extra"}),
          Words({"--port", "3", "--queue", "-1"}), Words({"--port", "3", "--idle-timeout", "0"}),
          Words({"--port", "3", "--idle-timeout", "1.5"})}) {
        const gateway::ParsedOptions parsed = gateway::ParseOptions(words);
        EXPECT_FALSE(parsed.config);
        EXPECT_EQ(parsed.exitCode, gateway::kExitUsage);
        EXPECT_NE(parsed.text.find("--help"), std::string::npos) << parsed.text;
    }
}

} // namespace
} // namespace kvel::test
