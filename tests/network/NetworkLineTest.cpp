// network.ini beside data.inf: the network line chosen, read back, refused with a reason, and
// kept when a write fails.
#include "NetworkLine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace kvel {
namespace {

namespace fs = std::filesystem;

class NetworkLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kvel-network-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        ini = (dir / kNetworkIniName).string();
    }
    void TearDown() override { fs::remove_all(dir); }

    void Put(const std::string& text) const { std::ofstream(ini, std::ios::binary) << text; }
    NetworkChoice Read() { return ReadNetworkChoice(ini, problem); }

    fs::path dir;
    std::string ini;
    std::string problem;
};

TEST_F(NetworkLineTest, AChoiceWrittenReadsBackAndAMissingFileChoosesNothing) {
    EXPECT_TRUE(Read().port.empty());
    EXPECT_TRUE(problem.empty());
    for (const NetworkChoice& choice : {NetworkChoice{"tcp://10.0.0.5:4001", true},
                                        NetworkChoice{"modbus-tcp://gateway.local", false}}) {
        ASSERT_TRUE(WriteNetworkChoice(ini, choice));
        const NetworkChoice back = Read();
        EXPECT_EQ(back.port, choice.port) << problem;
        EXPECT_EQ(back.inUse, choice.inUse);
    }
}

TEST_F(NetworkLineTest, AFileThatDoesNotReadChoosesNothingAndSaysWhy) {
    const struct {
        const char* text;
        const char* said;
    } cases[] = {
        {"port tcp://10.0.0.5:4001\n", "строка без «=»"},
        {"port = http://10.0.0.5\n", "неверный адрес «http://10.0.0.5»"},
        {"port = tcp://10.0.0.5:4001\nin-use = maybe\n", "in-use может быть yes или no"},
        {"colour = blue\n", "неизвестный ключ «colour»"},
        {"in-use = yes\n", "port не задан"},
        {"", ""},
    };
    for (const auto& c : cases) {
        Put(c.text);
        const NetworkChoice choice = Read();
        EXPECT_TRUE(choice.port.empty()) << c.text;
        EXPECT_FALSE(choice.inUse) << c.text;
        EXPECT_NE(problem.find(c.said), std::string::npos) << c.text << " said: " << problem;
        EXPECT_EQ(problem.empty(), *c.said == '\0') << c.text;
    }
    Put(std::string(5000, '#'));
    EXPECT_TRUE(Read().port.empty());
    EXPECT_FALSE(problem.empty());
}

TEST_F(NetworkLineTest, AWriteThatFailsLeavesTheChoiceMadeBefore) {
    ASSERT_TRUE(WriteNetworkChoice(ini, {"tcp://10.0.0.5:4001", true}));
    // Where the new file would be written stands something no file can replace.
    fs::create_directory(ini + ".new");
    std::ofstream(ini + ".new/keep") << "x";
    EXPECT_FALSE(WriteNetworkChoice(ini, {"tcp://10.0.0.9:4001", false}));
    const NetworkChoice kept = Read();
    EXPECT_EQ(kept.port, "tcp://10.0.0.5:4001") << problem;
    EXPECT_TRUE(kept.inUse);
}

TEST_F(NetworkLineTest, RecentLinesReadBackNewestFirstAndABadOneIsRefused) {
    const NetworkChoice choice{
        "rfc2217://127.0.0.1:4001",
        true,
        {"rfc2217://127.0.0.1:4001", "tcp://[::1]:5020", "modbus-tcp://gateway.local:502"}};
    ASSERT_TRUE(WriteNetworkChoice(ini, choice));
    EXPECT_EQ(Read().recent, choice.recent) << problem;

    Put("port = tcp://10.0.0.5:4001\nin-use = no\n");
    EXPECT_EQ(Read().recent, std::vector<std::string>{"tcp://10.0.0.5:4001"})
        << "a file from before the list: its line was the last connected to";

    Put("port = tcp://10.0.0.5:4001\nrecent = tcp://10.0.0.5:4001\nrecent = tcp://10.0.0.5\n");
    EXPECT_TRUE(Read().recent.empty());
    EXPECT_EQ(problem, "неверный адрес «tcp://10.0.0.5»");
}

struct Remembered {
    std::vector<std::string> before;
    const char* connected;
    std::vector<std::string> after;
};

TEST(RecentNetworkLinesTest, NewestFirstOnceEachAndNoMoreThanFive) {
    const Remembered cases[] = {
        {{}, "tcp://a:1", {"tcp://a:1"}},
        {{"tcp://a:1", "tcp://b:2"}, "tcp://b:2", {"tcp://b:2", "tcp://a:1"}},
        {{"tcp://a:1", "tcp://b:2", "tcp://c:3", "tcp://d:4", "tcp://e:5"},
         "rfc2217://f:6",
         {"rfc2217://f:6", "tcp://a:1", "tcp://b:2", "tcp://c:3", "tcp://d:4"}},
    };
    for (const Remembered& c : cases) {
        std::vector<std::string> recent = c.before;
        RememberRecent(recent, c.connected);
        EXPECT_EQ(recent, c.after) << c.connected;
    }
}

} // namespace
} // namespace kvel
