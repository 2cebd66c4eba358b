// overview.ini beside data.inf: the overview's list written and read back, and every kind of file
// that is not one refused with a reason.
#include "OverviewList.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace kvel {
namespace {

namespace fs = std::filesystem;

class OverviewListTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kvel-overview-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        ini = (dir / kOverviewIniName).string();
    }
    void TearDown() override { fs::remove_all(dir); }

    void Put(const std::string& text) const { std::ofstream(ini, std::ios::binary) << text; }
    std::optional<std::vector<std::uint8_t>> Read() { return ReadOverviewList(ini, problem); }

    fs::path dir;
    std::string ini;
    std::string problem;
};

TEST_F(OverviewListTest, AListWrittenReadsBackAndAMissingFileKeepsNone) {
    EXPECT_FALSE(Read());
    EXPECT_TRUE(problem.empty());
    const std::vector<std::uint8_t> list{1, 3, 7, 8, 9, 254};
    ASSERT_TRUE(WriteOverviewList(ini, list));
    EXPECT_EQ(Read(), list);
    EXPECT_TRUE(problem.empty());
    EXPECT_FALSE(fs::exists(ini + ".new"));
}

TEST_F(OverviewListTest, RefusesWhatIsNotAListWithTheReason) {
    const struct {
        std::string text;
        std::string problem;
    } cases[] = {
        {"addresses = 1, 0, 7\n", "неверный список адресов «1, 0, 7»"},
        {"addresses = 9-3\n", "неверный список адресов «9-3»"},
        {"addresses = \n", "неверный список адресов «»"},
        {"units = 1\n", "неизвестный ключ «units»"},
        {"1, 3, 7\n", "строка без «=»: 1, 3, 7"},
        {std::string(5000, '#'), "файл длиннее 4096 байт"},
    };
    for (const auto& c : cases) {
        Put(c.text);
        EXPECT_FALSE(Read()) << c.text;
        EXPECT_EQ(problem, c.problem) << c.text;
    }
    Put("# a comment, then blanks\n\r\n  addresses = 2 \r\n");
    EXPECT_EQ(Read(), std::vector<std::uint8_t>{2});
}

// A pipe would block the program before the overview opens; a folder never reads.
TEST_F(OverviewListTest, RefusesAPipeAndAFolderWithoutReadingThem) {
    ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0);
    EXPECT_FALSE(Read());
    EXPECT_EQ(problem, "это не обычный файл");
    fs::remove(ini);
    fs::create_directory(ini);
    EXPECT_FALSE(Read());
    EXPECT_EQ(problem, "это не обычный файл");
}

TEST_F(OverviewListTest, AFailedWriteLeavesTheListThereWas) {
    ASSERT_TRUE(WriteOverviewList(ini, {1, 3}));
    // Where the fresh file would go, a folder stands.
    fs::create_directory(ini + ".new");
    EXPECT_FALSE(WriteOverviewList(ini, {5}));
    EXPECT_EQ(Read(), (std::vector<std::uint8_t>{1, 3}));
}

} // namespace
} // namespace kvel
