// The unit finder's scan over a fake line on a simulated clock: what it sends, in what order,
// how long it waits, and what it makes of answers, noise and silence.
#include "UnitFinder.h"
#include "Hex.h"
#include "ModbusFrame.h"
#include "ObservedChannel.h"
#include "RecordingObserver.h"
#include "SimulatedLine.h"

#include <gtest/gtest.h>

#include <memory>

namespace kvel::test {
namespace {

class UnitFinderTest : public ::testing::Test {
protected:
    UnitFinderTest() { line.isOpen = true; }

    // Started, and ticked until the line has settled and the first try is out.
    void Start(std::uint8_t storedBaudIndex = 3) {
        finder = std::make_unique<UnitFinder>(line, 4, storedBaudIndex);
        finder->Start(now);
        while (finder->Running() && line.writes.empty())
            finder->Tick(++now);
    }

    // Ticks every 5 ms, as the window does, until the scan ends or `ms` have passed.
    void RunFor(std::int64_t ms) {
        const std::int64_t until = now + ms;
        while (finder->Running() && now < until) {
            now += 5;
            finder->Tick(now);
        }
    }
    void RunToEnd() { RunFor(24 * 60 * 60 * 1000); }

    std::vector<std::int32_t> OpenedRates() const {
        std::vector<std::int32_t> rates;
        for (const auto& open : line.opens)
            rates.push_back(open.bitRate);
        return rates;
    }

    SimulatedLine line;
    std::unique_ptr<UnitFinder> finder;
    std::int64_t now = 1000;
};

// By rate: 9600, 19200, 38400, 57600, 115200, then 4800, 2400, 1200, then 14400 and 56000.
TEST(FinderRateOrderTest, StoredRateFirstThenTheLikelyOnesThenTheSlowAndRare) {
    EXPECT_EQ(FinderRateOrder(7), (std::vector<std::uint8_t>{7, 3, 5, 6, 8, 9, 2, 1, 0, 4}));
    EXPECT_EQ(FinderRateOrder(3), (std::vector<std::uint8_t>{3, 5, 6, 8, 9, 2, 1, 0, 4, 7}));
    EXPECT_EQ(FinderRateOrder(9), (std::vector<std::uint8_t>{9, 3, 5, 6, 8, 2, 1, 0, 4, 7}));
    // An index outside the table is 9600 in use.
    EXPECT_EQ(FinderRateOrder(255), FinderRateOrder(3));
}

TEST(FinderTryMsTest, FiftyMsPlusTheLineTimeOfRequestAndAnswer) {
    EXPECT_EQ(FinderTryMs(115200), 52); // 150 bits: 1.3 ms, rounded up
    EXPECT_EQ(FinderTryMs(9600), 66);   // 15.6 ms
    EXPECT_EQ(FinderTryMs(1200), 175);  // 125 ms
}

TEST_F(UnitFinderTest, LetsTheLineSettleAfterPollingBeforeTheFirstTry) {
    finder = std::make_unique<UnitFinder>(line, 4, 5);
    finder->Start(now);
    // The tail of a poll's answer, then the unit's answer to the first try.
    line.Feed(Hex("00 01 02 03"));
    finder->Tick(now + FinderSettleMs(19200) - 1);
    EXPECT_TRUE(line.writes.empty());
    EXPECT_EQ(FinderSettleMs(19200), 50 + 31);
    line.units = {{1, {5, 9}}};
    finder->Tick(now + FinderSettleMs(19200));
    ASSERT_EQ(line.writes.size(), 1u);
    finder->Tick(now + FinderSettleMs(19200) + 5);
    ASSERT_EQ(finder->Found().size(), 1u);
    EXPECT_EQ(finder->Found()[0].address, 1);
}

TEST_F(UnitFinderTest, AsksEveryAddressForRegister14InTurn) {
    Start(9);
    ASSERT_EQ(line.opens.size(), 1u);
    EXPECT_EQ(line.opens[0].name, R"(\\.\COM4)");
    EXPECT_EQ(line.opens[0].bitRate, 115200);
    RunFor(3 * FinderTryMs(115200));
    ASSERT_GE(line.writes.size(), 3u);
    EXPECT_EQ(line.writes[0], Hex("01 03 00 0E 00 01 E5 C9"));
    EXPECT_EQ(line.writes[1], Hex("02 03 00 0E 00 01 E5 FA"));
    EXPECT_EQ(line.writes[2], Hex("03 03 00 0E 00 01 E4 2B"));
}

TEST_F(UnitFinderTest, WaitsNoLongerThanTheTryTimeForASilentAddress) {
    Start(3);
    const int tryMs = FinderTryMs(9600);
    finder->Tick(now + tryMs - 1);
    EXPECT_EQ(line.writes.size(), 1u);
    finder->Tick(now + tryMs);
    EXPECT_EQ(line.writes.size(), 2u);
    EXPECT_EQ(finder->TriesDone(), 1);
}

TEST_F(UnitFinderTest, FindsUnitsWithTheirRateAndVersionAndMovesOnAtOnce) {
    line.units = {{3, {6, 0x2A}}, {7, {6, 0x2B}}};
    Start(6);
    RunFor(8 * FinderTryMs(38400));
    ASSERT_EQ(finder->Found().size(), 2u);
    EXPECT_EQ(finder->Found()[0].address, 3);
    EXPECT_EQ(finder->Found()[0].baudIndex, 6);
    EXPECT_EQ(finder->Found()[0].firmwareVersion, 0x2A);
    EXPECT_EQ(finder->Found()[1].address, 7);
    EXPECT_EQ(finder->Found()[1].firmwareVersion, 0x2B);
    // The version read follows the answer without waiting out the try.
    EXPECT_EQ(line.writes[3], Hex("03 04 00 01 00 01 61 E8"));
    EXPECT_EQ(line.writes[4], Hex("04 03 00 0E 00 01 E5 9C"));
}

TEST_F(UnitFinderTest, ScansTheRatesInOrderAndFindsAUnitAtAnyOfThem) {
    line.units = {{200, {4, std::nullopt}}};
    Start(3);
    finder->SetAllRates(true);
    RunToEnd();
    EXPECT_EQ(finder->State(), FinderState::Finished);
    EXPECT_EQ(OpenedRates(), (std::vector<std::int32_t>{9600, 19200, 38400, 57600, 115200, 4800,
                                                        2400, 1200, 14400, 56000}));
    ASSERT_EQ(finder->Found().size(), 1u);
    EXPECT_EQ(finder->Found()[0].address, 200);
    EXPECT_EQ(finder->Found()[0].baudIndex, 4);
    EXPECT_FALSE(finder->Found()[0].firmwareVersion);
    EXPECT_EQ(finder->TriesDone(), finder->TriesTotal());
    EXPECT_EQ(finder->TriesTotal(), 2540);
}

// A line has one rate: once units answered at one, the rest are not tried unless asked for,
// even when the asking comes while that rate is being scanned.
TEST_F(UnitFinderTest, StopsAfterTheRateWhereUnitsAnsweredUnlessAllRatesAreAsked) {
    struct Case {
        const char* name;
        bool allRatesMidRate;
        std::size_t ratesOpened;
    };
    for (const Case& each : {Case{"one rate", false, 2}, Case{"all rates", true, 10}}) {
        SCOPED_TRACE(each.name);
        line = SimulatedLine();
        line.isOpen = true;
        line.units = {{3, {5, 0x2A}}, {7, {5, 0x2B}}};
        Start(3);
        RunFor(254 * (FinderTryMs(9600) + 5) + 10 * (FinderTryMs(19200) + 5));
        ASSERT_EQ(finder->Found().size(), 2u);
        EXPECT_EQ(finder->TriesTotal(), 2 * 254) << "the worst case has shrunk to two rates";
        finder->SetAllRates(each.allRatesMidRate);
        RunToEnd();
        EXPECT_EQ(finder->State(), FinderState::Finished);
        EXPECT_EQ(OpenedRates().size(), each.ratesOpened);
        EXPECT_EQ(finder->TriesDone(), finder->TriesTotal());
        EXPECT_EQ(finder->Found().size(), 2u);
    }
}

TEST_F(UnitFinderTest, FindsAUnitAtEveryAddressItCanBeGivenUpTo254) {
    line.units = {{250, {9, 0x2A}}, {254, {9, 0x2B}}};
    Start(9);
    RunToEnd();
    ASSERT_EQ(finder->Found().size(), 2u);
    EXPECT_EQ(finder->Found()[0].address, 250);
    EXPECT_EQ(finder->Found()[1].address, 254);
    EXPECT_EQ(finder->Found()[1].firmwareVersion, 0x2B);
    EXPECT_EQ(line.writes.back(), Hex("FE 04 00 01 00 01 74 05"));
}

TEST_F(UnitFinderTest, AsksOnlyTheAddressesAndRatesItIsGiven) {
    line.units = {{2, {6, 1}}, {5, {6, 2}}, {8, {6, 3}}};
    finder = std::make_unique<UnitFinder>(line, "/dev/ttyUSB0", std::vector<std::uint8_t>{6}, 3, 7);
    finder->SetAllRates(true);
    finder->Start(now);
    RunToEnd();
    EXPECT_EQ(line.opens.at(0).name, "/dev/ttyUSB0");
    EXPECT_EQ(OpenedRates(), std::vector<std::int32_t>{38400});
    std::vector<int> asked;
    for (const auto& write : line.writes)
        if (write[1] == kReadHolding) asked.push_back(write[0]);
    EXPECT_EQ(asked, (std::vector<int>{3, 4, 5, 6, 7}));
    ASSERT_EQ(finder->Found().size(), 1u);
    EXPECT_EQ(finder->Found()[0].address, 5);
    EXPECT_EQ(finder->TriesTotal(), 5);
}

// The monitor sees the finder's traffic through the tapped channel, each byte read told as
// coming from the address being asked.
TEST_F(UnitFinderTest, ATappedChannelShowsTheProbesAndTheirAnswersToTheObserver) {
    line.units = {{2, {3, 0x2A}}};
    RecordingObserver observer;
    ObservedChannel tapped(line, &observer, [this] { return finder->Listening(); });
    finder = std::make_unique<UnitFinder>(tapped, 4, 3);
    finder->Start(now);
    RunFor(3 * FinderTryMs(9600));
    ASSERT_GE(observer.writes.size(), 3u);
    EXPECT_EQ(observer.writes,
              std::vector<std::vector<std::uint8_t>>(line.writes.begin(),
                                                     line.writes.begin() + observer.writes.size()));
    EXPECT_EQ(observer.writes[1], Hex("02 03 00 0E 00 01 E5 FA"));
    ASSERT_EQ(observer.bytesRead.size(), 14u) << "both answers of the unit at 2";
    EXPECT_EQ(observer.contexts.front().deviceAddress, 2);
    EXPECT_EQ(observer.contexts.front().expectedReplyLength, 7);
}

TEST_F(UnitFinderTest, FindsNothingOnASilentLineInTheWorstCaseTime) {
    Start(3);
    const std::int64_t started = now;
    RunToEnd();
    EXPECT_EQ(finder->State(), FinderState::Finished);
    EXPECT_TRUE(finder->Found().empty());
    std::int64_t budget = 0;
    for (std::uint8_t index = 0; index < 10; ++index)
        budget += 254 * (FinderTryMs(BaudRateFromIndex(index)) + 5);
    EXPECT_LE(now - started, budget);
}

TEST_F(UnitFinderTest, AnExceptionAnswerStillMeansAUnitIsThere) {
    line.answer = [this](const std::vector<std::uint8_t>& request) {
        if (request[0] == 3 && request[1] == kReadHolding) line.Feed(Hex("03 83 02 61 31"));
    };
    Start(3);
    RunFor(4 * FinderTryMs(9600));
    ASSERT_EQ(finder->Found().size(), 1u);
    EXPECT_EQ(finder->Found()[0].address, 3);
}

// A gateway answers at once for every address where nothing answered behind it, 0B for odd
// ones and 0A for even ones; at 100 a unit answers, after more such answers than a noisy rate
// is given.
TEST_F(UnitFinderTest, AGatewaysNoUnitAnswersAreNoUnitsNorNoiseAndEndTheTryAtOnce) {
    line.units = {{100, {3, 7}}};
    line.answer = [this](const std::vector<std::uint8_t>& request) {
        if (request[0] == 100) return;
        const std::uint8_t code =
            request[0] % 2 ? kExceptionGatewayTargetSilent : kExceptionGatewayPathUnavailable;
        line.Feed(WithCrc({request[0], static_cast<std::uint8_t>(request[1] | 0x80), code}));
    };
    Start(3);
    const std::int64_t started = now;
    RunToEnd();
    ASSERT_EQ(finder->Found().size(), 1u);
    EXPECT_EQ(finder->Found()[0].address, 100);
    EXPECT_EQ(finder->Found()[0].firmwareVersion, 7);
    EXPECT_EQ(OpenedRates(), (std::vector<std::int32_t>{9600})) << "no rate given up as noisy";
    EXPECT_LT(now - started, 254 * 10) << "a no-unit answer ends its try on the next tick";
}

TEST_F(UnitFinderTest, ALateAnswerIsNotTakenForTheNextAddress) {
    // Address 1 answers only after its try has timed out, with the frame for address 1.
    Start(3);
    finder->Tick(now + FinderTryMs(9600));
    line.Feed(ReadReply(1, kReadHolding, {1}));
    finder->Tick(now + FinderTryMs(9600) + 5);
    EXPECT_TRUE(finder->Found().empty());
}

TEST_F(UnitFinderTest, GivesUpARateThatBringsOnlyNoise) {
    int triesAt9600 = 0;
    line.answer = [&](const std::vector<std::uint8_t>&) {
        if (line.opens.back().bitRate != 9600) return;
        ++triesAt9600;
        line.Feed(Hex("FF 00 FF"));
    };
    line.units = {{100, {3, 1}}};
    Start(3);
    RunFor(20 * FinderTryMs(9600));
    EXPECT_EQ(OpenedRates(), (std::vector<std::int32_t>{9600, 19200}));
    EXPECT_EQ(triesAt9600, kNoisyTriesToSkipRate);
    EXPECT_GE(finder->TriesDone(), 247);
    EXPECT_TRUE(finder->Found().empty()) << "the unit at 100 was behind the noise";
}

TEST_F(UnitFinderTest, SilenceBetweenNoisyTriesKeepsTheRate) {
    int request = 0;
    line.answer = [&](const std::vector<std::uint8_t>&) {
        if (++request % 2 == 0) line.Feed(Hex("FF 00 FF"));
    };
    Start(3);
    RunFor(40 * FinderTryMs(9600));
    EXPECT_EQ(OpenedRates().size(), 1u);
}

TEST_F(UnitFinderTest, StopEndsTheScanAndSendsNothingMore) {
    Start(3);
    RunFor(5 * FinderTryMs(9600));
    const std::size_t sent = line.writes.size();
    finder->Stop();
    EXPECT_EQ(finder->State(), FinderState::Stopped);
    EXPECT_EQ(finder->MsLeft(), 0);
    RunFor(1000);
    finder->Tick(now + 1000);
    EXPECT_EQ(line.writes.size(), sent);
}

TEST_F(UnitFinderTest, APortThatWillNotOpenEndsTheScanWithTheReason) {
    line.openResult = kOpenFailed;
    line.openFailure = {OpenFailureReason::Busy, "/dev/ttyUSB0", "kvel (pid 7)", ""};
    Start(3);
    EXPECT_EQ(finder->State(), FinderState::OpenFailed);
    EXPECT_EQ(finder->Failure().holder, "kvel (pid 7)");
    EXPECT_TRUE(line.writes.empty());
}

TEST_F(UnitFinderTest, TimeLeftCountsDownToTheWorstCase) {
    Start(9);
    const std::int64_t total = finder->MsLeft();
    std::int64_t expected = 0;
    for (std::uint8_t index : FinderRateOrder(9))
        expected += 254 * FinderTryMs(BaudRateFromIndex(index));
    EXPECT_EQ(total, expected);
    RunFor(10 * FinderTryMs(115200));
    EXPECT_EQ(finder->MsLeft(), total - finder->TriesDone() * FinderTryMs(115200));
}

} // namespace
} // namespace kvel::test
