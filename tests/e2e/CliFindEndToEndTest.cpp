// kvel-cli find against kvel-sim with several units on one line: what it lists, as text and as
// JSON, and its exit code when nobody answers.
#include "CliRunner.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

class CliFindEndToEndTest : public ::testing::Test {
protected:
    void StartUnits(const QStringList& arguments) {
        unit = std::make_unique<test::SimulatedUnit>(arguments);
        ASSERT_TRUE(unit->Started());
    }

    // kvel-cli find on COM1, stdout and stderr piped.
    static test::CliRun Find(const QStringList& arguments) {
        return test::RunCli(QStringList{"--port", "1", "find"} + arguments, 90000);
    }

    test::ScratchDir dir;
    std::unique_ptr<test::SimulatedUnit> unit;
};

// Index 6 is 38400 bit/s. 250 is beyond the addresses Modbus reserves for units (1-247) but
// within those the unit can be given, so it must be found too.
TEST_F(CliFindEndToEndTest, ListsEveryUnitOnTheLineAsJson) {
    StartUnits({"--address", "3,7,250", "--baud-index", "6"});
    QElapsedTimer clock;
    clock.start();
    const test::CliRun run = Find({"--baud", "38400", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_LT(clock.elapsed(), 30000);
    const QJsonDocument json = QJsonDocument::fromJson(run.out.toUtf8());
    ASSERT_TRUE(json.isArray()) << run.out.toStdString();
    const QJsonArray units = json.array();
    ASSERT_EQ(units.size(), 3);
    const int addresses[] = {3, 7, 250};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject each = units[i].toObject();
        EXPECT_EQ(each.value("address").toInt(), addresses[i]);
        EXPECT_EQ(each.value("baud").toInt(), 38400);
        EXPECT_TRUE(each.value("version").isDouble()) << "the firmware version is a number";
    }
    EXPECT_TRUE(run.err.isEmpty()) << "no progress line when piped: " << run.err.toStdString();
}

TEST_F(CliFindEndToEndTest, PrintsALinePerUnitAndStopsAfterTheRateWithUnits) {
    StartUnits({"--address", "3,7", "--baud-index", "5"});
    // 9600 first, then 19200, where the units are; the scan ends there.
    const test::CliRun run = Find({"--addresses", "1-9"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << run.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("address 3 at 19200 bit/s, firmware version "));
    EXPECT_TRUE(lines[1].startsWith("address 7 at 19200 bit/s, firmware version "));
}

// Without a rate: 9600 and 19200 are scanned before 38400, every address of each, and none of
// the slow rates.
TEST_F(CliFindEndToEndTest, FindsAUnitAt38400WithoutARateInUnderAMinute) {
    StartUnits({"--address", "42", "--baud-index", "6"});
    QElapsedTimer clock;
    clock.start();
    const test::CliRun run = Find({});
    const qint64 took = clock.elapsed();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("address 42 at 38400 bit/s, firmware version "))
        << run.out.toStdString();
    EXPECT_LT(took, 60000);
}

TEST_F(CliFindEndToEndTest, NoUnitAnsweringExitsWithTwoAndSaysWhereItLooked) {
    StartUnits({"--address", "3", "--baud-index", "6"});
    const test::CliRun run = Find({"--baud", "115200", "--addresses", "1-5"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("no unit answered on COM1 at 115200 bit/s, addresses 1-5"))
        << run.err.toStdString();
}

} // namespace
} // namespace kvel
