// The exporter's journal and process metrics: repeats folded into a count, and /proc's stat
// line read as the client libraries read it.
#include "Journal.h"
#include "ProcessMetrics.h"

#include <gtest/gtest.h>

#include <vector>

namespace kvel::exporter {
namespace {

using namespace std::chrono_literals;

TEST(JournalTest, FoldsRepeatsOfAKindWithinTheWindowAndTellsTheirCountAfterwards) {
    std::vector<std::string> lines;
    Journal journal([&](const std::string& line) { lines.push_back(line); });
    const Journal::Clock::time_point t0{};
    journal.Tell("lost a", "line a lost: 1", t0 + 1s);
    journal.Tell("back a", "line a back after 1.0 s", t0 + 2s);
    for (int i = 2; i <= 6; ++i)
        journal.Tell("lost a", "line a lost: " + std::to_string(i),
                     t0 + std::chrono::seconds(i * 5));
    journal.Tell({}, "configuration reloaded", t0 + 31s);
    journal.Tell({}, "configuration reloaded", t0 + 32s);
    journal.FlushFolded(t0 + 50s);
    EXPECT_EQ(lines.size(), 4u) << "nothing folded is told before its window ends";
    journal.FlushFolded(t0 + 62s);
    journal.Tell("lost a", "line a lost: 7", t0 + 63s);
    journal.Tell("lost a", "line a lost: 8", t0 + 123s);
    journal.FlushFolded(t0 + 200s);
    journal.FlushFolded(t0 + 300s);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "line a lost: 1",
                         "line a back after 1.0 s",
                         "configuration reloaded",
                         "configuration reloaded",
                         "line a lost: 6 (5 times within 60 s, folded)",
                         "line a lost: 7 (1 time within 60 s, folded)",
                         "line a lost: 8",
                     }));
}

TEST(ProcessMetricsTest, ReadsCpuMemoryAndStartFromAStatLineWhoseNameHasSpacesAndParentheses) {
    // pid (comm) state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime
    // stime cutime cstime priority nice threads itrealvalue starttime vsize rss ...
    const char* stat = "4242 (kvel (x) y) S 1 4242 4242 0 -1 4194560 900 0 0 0 250 50 7 7 20 0 3 "
                       "0 123400 300000000 5000 18446744073709551615 1 1 0 0 0 0 0 4096 0";
    const std::optional<ProcessFigures> figures = ParseProcStat(stat, 100, 4096, 1'700'000'000);
    ASSERT_TRUE(figures);
    EXPECT_DOUBLE_EQ(figures->cpuSeconds, 3.0);
    EXPECT_DOUBLE_EQ(figures->residentBytes, 5000.0 * 4096);
    EXPECT_DOUBLE_EQ(figures->startTimeSeconds, 1'700'000'000 + 1234.0);
    for (const char* bad : {"", "4242 (kvel", "4242 (kvel) S 1 2",
                            "4242 (k) S x x x x x x x x x x x"
                            " x x x x x x x x x x x x"})
        EXPECT_FALSE(ParseProcStat(bad, 100, 4096, 0)) << bad;
    EXPECT_FALSE(ParseProcStat(stat, 0, 4096, 0));
}

} // namespace
} // namespace kvel::exporter
