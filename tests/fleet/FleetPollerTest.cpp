// The poller on a fake line of units on a simulated clock: the frames it sends and in what order,
// what a silent, refusing or babbling unit costs the others, the port going away and coming
// back; and the metrics page made from what it read, checked by Prometheus' own linter.
#include "FleetPoller.h"
#include "FakeSerialChannel.h"
#include "FleetMetrics.h"
#include "Hex.h"
#include "ModbusFrame.h"
#include "RegisterMap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

namespace kvel::test {
namespace {

using namespace std::chrono_literals;

// NoUnitBehind: a gateway answers for the unit that nothing answered behind it (exception 0B).
enum class Behaviour { Answers, Silent, Refuses, Babbles, AnswersForAnother, NoUnitBehind };

// Units that answer a read of either bank at once, each in its own way.
class FleetLine : public FakeSerialChannel {
public:
    int WriteComPort(const std::uint8_t* bytes, int length) override {
        const int result = FakeSerialChannel::WriteComPort(bytes, length);
        const auto unit = units.find(bytes[0]);
        if (unit == units.end()) return result;
        const std::uint8_t function = bytes[1];
        const std::uint16_t count = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
        switch (unit->second) {
        case Behaviour::Answers:
            Feed(ReadReply(bytes[0], function, Words(bytes[0], function, count)));
            break;
        case Behaviour::Refuses:
            Feed(WithCrc({bytes[0], static_cast<std::uint8_t>(function | 0x80), 0x02}));
            break;
        case Behaviour::Babbles:
            Feed(Hex("FF 00 13 37 42"));
            break;
        case Behaviour::NoUnitBehind:
            Feed(WithCrc({bytes[0], static_cast<std::uint8_t>(function | 0x80), 0x0B}));
            break;
        case Behaviour::AnswersForAnother:
            Feed(ReadReply(9, function, Words(9, function, count)));
            break;
        case Behaviour::Silent:
            break;
        }
        return result;
    }

    // Register k of unit a holds a * 100 + k, the status word all four lamps and level 3.
    static std::vector<std::uint16_t> Words(std::uint8_t address, std::uint8_t function,
                                            std::uint16_t count) {
        std::vector<std::uint16_t> words;
        for (std::uint16_t k = 0; k < count; ++k)
            words.push_back(static_cast<std::uint16_t>(address * 100 + k));
        if (function == kReadInput) words[reg::input::Status] = 0x000F | 0x0070;
        return words;
    }

    std::map<std::uint8_t, Behaviour> units;
};

class FleetPollerTest : public ::testing::Test {
protected:
    void Start(std::vector<std::uint8_t> addresses, LinkClock::duration interval = {}) {
        FleetSetup setup{"\\\\.\\COM1", 115200, std::move(addresses), interval};
        poller = std::make_unique<FleetPoller>(line, setup);
        poller->SetWakeUp([this] { ++wakeUps; });
        ASSERT_EQ(poller->Start(now), std::nullopt);
    }

    void RunFor(LinkClock::duration span) {
        const LinkClock::time_point until = now + span;
        while (now < until) {
            now += 1ms;
            poller->Tick(now);
        }
    }

    void RunRounds(std::uint64_t rounds) {
        while (poller->RoundsDone() < rounds) {
            now += 1ms;
            poller->Tick(now);
        }
    }

    // As a service's single-shot timer runs it: each tick when the poller last asked for it.
    int TicksForRounds(std::uint64_t rounds) {
        int ticks = 0;
        while (poller->RoundsDone() < rounds) {
            now += std::chrono::milliseconds(poller->MsToNextTick(now));
            poller->Tick(now);
            ++ticks;
        }
        return ticks;
    }

    const PolledUnit& Unit(std::uint8_t address) const {
        for (const PolledUnit& unit : poller->Units())
            if (unit.address == address) return unit;
        throw std::out_of_range("no such unit");
    }

    FleetLine line;
    std::unique_ptr<FleetPoller> poller;
    LinkClock::time_point now = LinkClock::time_point{} + 1h;
    int wakeUps = 0;
};

TEST_F(FleetPollerTest, AsksEachUnitForBothBanksInTurnAndKeepsWhatEachSaid) {
    line.units = {{1, Behaviour::Answers}, {3, Behaviour::Answers}};
    Start({1, 3}, 1s);
    RunRounds(1);
    ASSERT_GE(line.writes.size(), 4u);
    EXPECT_EQ(ToHex(line.writes[0]), ToHex(WithCrc("01 04 00 00 00 15")));
    EXPECT_EQ(ToHex(line.writes[1]), ToHex(WithCrc("01 03 00 00 00 1B")));
    EXPECT_EQ(ToHex(line.writes[2]), ToHex(WithCrc("03 04 00 00 00 15")));
    EXPECT_EQ(ToHex(line.writes[3]), ToHex(WithCrc("03 03 00 00 00 1B")));
    for (std::uint8_t address : {1, 3}) {
        const PolledUnit& unit = Unit(address);
        EXPECT_TRUE(unit.answered);
        EXPECT_EQ(unit.holding[reg::holding::OutputVoltage], address * 100 + 3);
        EXPECT_EQ(unit.input[reg::input::FirmwareVersion], address * 100 + 1);
        EXPECT_EQ(unit.requests, 2u);
        EXPECT_EQ(unit.replies, 2u);
    }
    EXPECT_EQ(line.opens.size(), 1u);
    EXPECT_EQ(line.opens[0].bitRate, 115200);
}

// The silent unit is asked once a round, for one bank, and costs its time-out and no more.
TEST_F(FleetPollerTest, ASilentUnitCostsItsOwnTimeOutAndTheOthersStayCurrent) {
    line.units = {{1, Behaviour::Answers}, {7, Behaviour::Answers}};
    Start({1, 3, 7});
    RunRounds(3);
    EXPECT_TRUE(Unit(1).answered);
    EXPECT_TRUE(Unit(7).answered);
    EXPECT_FALSE(Unit(3).answered);
    EXPECT_EQ(Unit(3).failure, TransactionOutcome::TimedOut);
    EXPECT_TRUE(Unit(3).Silent());
    EXPECT_EQ(Unit(3).requests, 3u);
    EXPECT_EQ(Unit(3).failures[*FailureIndex(TransactionOutcome::TimedOut)], 3u);
    EXPECT_EQ(Unit(7).replies, 6u);
    ASSERT_TRUE(poller->LastRoundTime());
    EXPECT_GE(*poller->LastRoundTime(), kFleetReplyTimeout);
    EXPECT_LT(*poller->LastRoundTime(), kFleetReplyTimeout + 50ms);
}

TEST_F(FleetPollerTest, RefusalsAndBabbleCountAsErrorsWithTheirCause) {
    line.units = {{2, Behaviour::Refuses},
                  {3, Behaviour::NoUnitBehind},
                  {4, Behaviour::Babbles},
                  {5, Behaviour::AnswersForAnother},
                  {6, Behaviour::Answers}};
    Start({2, 3, 4, 5, 6});
    RunRounds(2);
    const struct {
        std::uint8_t address;
        TransactionOutcome failure;
        std::uint8_t detail;
    } cases[] = {{2, TransactionOutcome::Exception, 2},
                 {3, TransactionOutcome::NoUnit, 0x0B},
                 {4, TransactionOutcome::Corrupt, 0},
                 {5, TransactionOutcome::WrongAddress, 9}};
    for (const auto& c : cases) {
        const PolledUnit& unit = Unit(c.address);
        EXPECT_FALSE(unit.answered) << int(c.address);
        EXPECT_EQ(unit.failure, c.failure) << int(c.address);
        EXPECT_EQ(unit.failureDetail, c.detail) << int(c.address);
        EXPECT_EQ(unit.failures[*FailureIndex(c.failure)], 2u) << int(c.address);
        EXPECT_EQ(unit.replies, 0u) << int(c.address);
        EXPECT_EQ(unit.Silent(), c.failure == TransactionOutcome::NoUnit) << int(c.address);
    }
    EXPECT_TRUE(Unit(6).answered);
}

TEST_F(FleetPollerTest, RoundsStartAtTheIntervalWhateverTheyTake) {
    line.units = {{1, Behaviour::Answers}};
    Start({1, 2}, 1s);
    RunFor(3500ms);
    EXPECT_EQ(poller->RoundsDone(), 4u);
    EXPECT_EQ(Unit(1).requests, 8u);
    EXPECT_EQ(poller->MsToNextTick(now), 500);
}

TEST_F(FleetPollerTest, AVanishedPortFailsEveryUnitAndIsReopenedAfterASecond) {
    line.units = {{1, Behaviour::Answers}, {2, Behaviour::Answers}};
    Start({1, 2}, 200ms);
    RunRounds(1);
    line.isOpen = false;
    line.vanished = true;
    RunFor(500ms);
    for (std::uint8_t address : {1, 2}) {
        EXPECT_FALSE(Unit(address).answered);
        EXPECT_EQ(Unit(address).failure, TransactionOutcome::PortClosed);
    }
    EXPECT_EQ(line.opens.size(), 1u);
    RunFor(1500ms);
    ASSERT_EQ(line.opens.size(), 2u);
    EXPECT_EQ(line.opens[1].name, FakeSerialChannel::kReopened);
    RunRounds(poller->RoundsDone() + 1);
    EXPECT_TRUE(Unit(1).answered);
    EXPECT_TRUE(Unit(2).answered);
}

// A line that tells of its bytes is left alone until the reply's time-out; one that cannot, and
// a connection still coming up, which nothing announces, are looked at every few milliseconds.
TEST_F(FleetPollerTest, WaitsOnALineThatTellsUntilTheRequestIsDue) {
    const auto replyWait = std::chrono::ceil<std::chrono::milliseconds>(
        kFleetReplyTimeout + LineTime(115200, std::tuple_size_v<RequestFrame>) +
        LineTime(115200, ReplyLengthFor(kReadInput, kPolledInputCount)));
    const struct {
        const char* line;
        bool tells;
        bool connecting;
        int firstWaitMs;
    } cases[] = {{"tells", true, false, static_cast<int>(replyWait.count())},
                 {"cannot tell", false, false, kFleetTickMs},
                 {"tells, connecting", true, true, kFleetTickMs}};
    for (const auto& c : cases) {
        line = FleetLine{};
        line.tellsReadiness = c.tells;
        line.connecting = c.connecting;
        line.units = {{1, Behaviour::Silent}, {2, Behaviour::Answers}};
        Start({1, 2});
        EXPECT_EQ(poller->MsToNextTick(now), c.firstWaitMs) << c.line;
        line.connecting = false;
        const int ticks = TicksForRounds(1);
        EXPECT_EQ(Unit(1).failure, TransactionOutcome::TimedOut) << c.line;
        EXPECT_TRUE(Unit(2).answered) << c.line;
        // The silent unit's time-out alone is a hundred ticks of a line that cannot tell.
        if (c.tells)
            EXPECT_LE(ticks, 8) << c.line;
        else
            EXPECT_GE(ticks, 100) << c.line;
    }
}

TEST_F(FleetPollerTest, TakesAReplyTheMomentTheLineTellsOfIt) {
    line.tellsReadiness = true;
    line.units = {{1, Behaviour::Silent}};
    Start({1});
    ASSERT_EQ(line.writes.size(), 1u);
    const LinkClock::time_point arrived = now + 7ms;
    line.Feed(ReadReply(1, kReadInput, FleetLine::Words(1, kReadInput, kPolledInputCount)));
    EXPECT_EQ(wakeUps, 1);
    EXPECT_EQ(poller->MsToNextTick(arrived), 0);
    poller->Tick(arrived);
    EXPECT_EQ(Unit(1).replies, 1u);
    EXPECT_EQ(Unit(1).lastReply, arrived);
    EXPECT_EQ(Unit(1).input[reg::input::FirmwareVersion], 101);
    // The holding bank's request waits out only the line's silence.
    EXPECT_EQ(poller->MsToNextTick(arrived), 2);
}

TEST_F(FleetPollerTest, ALineLostDuringARequestEndsItAsPortClosedAtOnce) {
    line.tellsReadiness = true;
    line.units = {{1, Behaviour::Silent}, {2, Behaviour::Answers}};
    Start({1, 2}, 1s);
    line.Lose();
    EXPECT_EQ(wakeUps, 1);
    EXPECT_EQ(poller->MsToNextTick(now), 0);
    poller->Tick(now + 1ms);
    EXPECT_EQ(poller->RoundsDone(), 1u);
    for (std::uint8_t address : {1, 2}) {
        EXPECT_EQ(Unit(address).failure, TransactionOutcome::PortClosed) << int(address);
        EXPECT_EQ(Unit(address).failures[*FailureIndex(TransactionOutcome::PortClosed)], 1u);
    }
    EXPECT_EQ(Unit(2).requests, 0u);
}

// Its units are not left answering until a round far off; a reopen that fails again is no new
// loss.
TEST_F(FleetPollerTest, ALineLostBetweenRoundsFailsItsUnitsAtOnceAndOnce) {
    line.tellsReadiness = true;
    line.units = {{1, Behaviour::Answers}};
    Start({1}, 5s);
    TicksForRounds(1);
    ASSERT_TRUE(Unit(1).answered);
    now += 1s;
    line.Lose();
    poller->Tick(now);
    EXPECT_EQ(poller->RoundsDone(), 2u);
    EXPECT_EQ(Unit(1).failure, TransactionOutcome::PortClosed);
    line.openResult = kOpenFailed;
    now += 2s;
    poller->Tick(now);
    ASSERT_EQ(line.opens.size(), 2u);
    line.Lose();
    poller->Tick(now);
    EXPECT_EQ(poller->RoundsDone(), 2u);
    EXPECT_EQ(Unit(1).failures[*FailureIndex(TransactionOutcome::PortClosed)], 1u);
}

TEST_F(FleetPollerTest, AGonePollerNoLongerHearsItsLine) {
    line.tellsReadiness = true;
    Start({1});
    poller.reset();
    line.Feed(Hex("01"));
    EXPECT_EQ(wakeUps, 0);
}

TEST_F(FleetPollerTest, StartSaysWhyThePortWillNotOpen) {
    line.openResult = kOpenFailed;
    line.openFailure.reason = OpenFailureReason::Busy;
    FleetPoller refused(line, FleetSetup{"\\\\.\\COM1", 9600, {1}});
    const std::optional<OpenFailure> failure = refused.Start(now);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->reason, OpenFailureReason::Busy);
}

TEST_F(FleetPollerTest, MetricsShowReadingsOfAnsweringUnitsAndTheLinkOfEveryUnit) {
    line.units = {{1, Behaviour::Answers}, {2, Behaviour::Refuses}, {3, Behaviour::NoUnitBehind}};
    Start({1, 2, 3});
    RunRounds(1);
    const std::string page = FleetMetricsText("/dev/ttyUSB0", *poller, now + 1500ms);
    const char* present[] = {
        "kvel_output_voltage_volts{port=\"/dev/ttyUSB0\",address=\"1\"} 10.3\n",
        "kvel_output_current_amperes{port=\"/dev/ttyUSB0\",address=\"1\"} 10.1\n",
        "kvel_power_stage_voltage_volts{port=\"/dev/ttyUSB0\",address=\"1\"} 10\n",
        "kvel_power_stage_temperature_celsius{port=\"/dev/ttyUSB0\",address=\"1\"} 102\n",
        "kvel_voltage_setpoint_volts{port=\"/dev/ttyUSB0\",address=\"1\"} 11.6\n",
        "kvel_current_setpoint_amperes{port=\"/dev/ttyUSB0\",address=\"1\"} 11.7\n",
        "kvel_lamp{port=\"/dev/ttyUSB0\",address=\"1\",lamp=\"overheat\"} 1\n",
        "kvel_battery_level{port=\"/dev/ttyUSB0\",address=\"1\"} 3\n",
        "kvel_firmware_info{port=\"/dev/ttyUSB0\",address=\"1\",version=\"101\",build=\"105\"} 1\n",
        "kvel_up{port=\"/dev/ttyUSB0\",address=\"1\"} 1\n",
        "kvel_up{port=\"/dev/ttyUSB0\",address=\"2\"} 0\n",
        "kvel_requests_total{port=\"/dev/ttyUSB0\",address=\"2\"} 1\n",
        "kvel_replies_total{port=\"/dev/ttyUSB0\",address=\"1\"} 2\n",
        "kvel_link_errors_total{port=\"/dev/ttyUSB0\",address=\"2\",cause=\"exception\"} 1\n",
        "kvel_link_errors_total{port=\"/dev/ttyUSB0\",address=\"2\",cause=\"timeout\"} 0\n",
        "kvel_up{port=\"/dev/ttyUSB0\",address=\"3\"} 0\n",
        "address=\"3\",cause=\"gateway_no_answer\"} 1\n",
        "kvel_link_errors_total{port=\"/dev/ttyUSB0\",address=\"3\",cause=\"exception\"} 0\n",
        "# TYPE kvel_requests_total counter\n",
    };
    for (const char* line : present)
        EXPECT_NE(page.find(line), std::string::npos) << line << page;
    EXPECT_EQ(page.find("kvel_output_voltage_volts{port=\"/dev/ttyUSB0\",address=\"2\"}"),
              std::string::npos);
    EXPECT_EQ(page.find("kvel_last_reply_age_seconds{port=\"/dev/ttyUSB0\",address=\"2\"}"),
              std::string::npos);
    EXPECT_NE(page.find("kvel_last_reply_age_seconds{port=\"/dev/ttyUSB0\",address=\"1\"} 1.5"),
              std::string::npos);

    if (std::system("command -v promtool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "promtool is not installed (apt-get install prometheus)";
    const std::string path = ::testing::TempDir() + "fleet-metrics.txt";
    std::ofstream(path) << page;
    EXPECT_EQ(std::system(("promtool check metrics < " + path).c_str()), 0) << page;
}

} // namespace
} // namespace kvel::test
