// The shared line's scheduler against a fake line: turns, bounded queues, clients that leave,
// silent and garbled units, the lease, a lost line.
#include "GatewayFixture.h"

namespace kvel::test {
namespace {

using std::chrono::milliseconds;
using Scheduler = GatewayFixture;

constexpr ClientId kA = 1;
constexpr ClientId kB = 2;
constexpr ClientId kC = 3;

TEST_F(Scheduler, PutsTheRequestOnTheLineAndAnswersWithTheClientsTransactionId) {
    scheduler->AddClient(kA);
    Submit(kA, Asking(0x1234, 1, "03 0000 0002"));
    ASSERT_EQ(channel.writes.size(), 1u);
    EXPECT_EQ(ToHex(channel.writes[0]), ToHex(WithCrc("01 03 0000 0002")));
    Reply(ReadReply(1, 3, {10, 20}));
    EXPECT_EQ(events.answers[kA], (std::vector<std::string>{Mbap(0x1234, 1, "03 04 000A 0014")}));
}

TEST_F(Scheduler, PassesTheUnitsExceptionOnAsItsAnswer) {
    scheduler->AddClient(kA);
    Submit(kA, Asking(7, 1, "06 0000 FFFF"));
    Reply(WithCrc("01 86 03"));
    EXPECT_EQ(events.answers[kA], (std::vector<std::string>{Mbap(7, 1, "86 03")}));
}

TEST_F(Scheduler, TakesClientsInTurnWhateverEachHasQueued) {
    for (ClientId client : {kA, kB, kC})
        scheduler->AddClient(client);
    Submit(kA, Asking(1, 1, "03 0001 0001"));
    Submit(kA, Asking(2, 1, "03 0002 0001"));
    Submit(kA, Asking(3, 1, "03 0003 0001"));
    Submit(kB, Asking(1, 2, "03 0001 0001"));
    Submit(kC, Asking(1, 3, "03 0001 0001"));
    for (int served = 0; served < 5; ++served)
        Reply(ReadReply(channel.writes.back()[0], 3, {0}));
    EXPECT_EQ(LineRequests(), (std::vector<std::string>{"1:1", "2:1", "3:1", "1:2", "1:3"}));
    EXPECT_EQ(events.answers[kA].size(), 3u);
}

TEST_F(Scheduler, WaitsTheLinesSilenceBetweenRequests) {
    scheduler->AddClient(kA);
    scheduler->AddClient(kB);
    Submit(kA, Asking(1, 1, "03 0000 0001"));
    Submit(kB, Asking(1, 2, "03 0000 0001"));
    channel.Feed(ReadReply(1, 3, {0}));
    Advance(milliseconds(1));
    EXPECT_EQ(channel.writes.size(), 1u) << "sent less than 1.75 ms after the reply";
    EXPECT_LE(scheduler->WakeAt(), now + milliseconds(2));
    Advance(milliseconds(2));
    EXPECT_EQ(channel.writes.size(), 2u);
}

TEST_F(Scheduler, AnswersBusyBeyondTheQueueInTheClientsOrderAndSendsNothing) {
    scheduler->AddClient(kA);
    for (std::uint16_t transaction = 1; transaction <= 4; ++transaction)
        Submit(kA, Asking(transaction, 1, "03 0000 0001"));
    for (int served = 0; served < 3; ++served)
        Reply(ReadReply(1, 3, {5}));
    EXPECT_EQ(channel.writes.size(), 3u);
    EXPECT_EQ(events.answers[kA],
              (std::vector<std::string>{Mbap(1, 1, "03 02 0005"), Mbap(2, 1, "03 02 0005"),
                                        Mbap(3, 1, "03 02 0005"), Mbap(4, 1, "83 06")}));
}

TEST_F(Scheduler, CutsOffAClientThatSendsFarMoreThanItReads) {
    scheduler->AddClient(kA);
    for (std::uint16_t transaction = 1; transaction <= 8; ++transaction)
        Submit(kA, Asking(transaction, 1, "03 0000 0001"));
    EXPECT_FALSE(scheduler->Submit(kA, Asking(9, 1, "03 0000 0001"), now));
}

TEST_F(Scheduler, AClientThatLeavesTakesItsQueuedRequestsWithIt) {
    scheduler->AddClient(kA);
    scheduler->AddClient(kB);
    Submit(kA, Asking(1, 1, "03 0001 0001"));
    Submit(kA, Asking(2, 1, "03 0002 0001"));
    Submit(kA, Asking(3, 1, "03 0003 0001"));
    Submit(kB, Asking(1, 2, "03 0001 0001"));
    scheduler->RemoveClient(kA);
    Reply(ReadReply(1, 3, {0}));
    Reply(ReadReply(2, 3, {0}));
    Advance(kTimeout * 2);
    EXPECT_EQ(LineRequests(), (std::vector<std::string>{"1:1", "2:1"}));
    EXPECT_TRUE(events.answers[kA].empty());
    EXPECT_EQ(events.answers[kB].size(), 1u);
}

TEST_F(Scheduler, ASilentUnitCostsOneTimeOutAndItsClientGetsTargetFailed) {
    scheduler->AddClient(kA);
    scheduler->AddClient(kB);
    Submit(kA, Asking(1, 3, "03 0000 0001"));
    Submit(kB, Asking(1, 1, "03 0000 0001"));
    const LinkClock::time_point askedAt = now;
    Advance(kTimeout);
    EXPECT_EQ(channel.writes.size(), 1u);
    Advance(milliseconds(1));
    Advance(milliseconds(2));
    EXPECT_EQ(events.answers[kA], (std::vector<std::string>{Mbap(1, 3, "83 0B")}));
    EXPECT_EQ(LineRequests(), (std::vector<std::string>{"3:0", "1:0"}));
    EXPECT_LE(now - askedAt, kTimeout + milliseconds(3));
    EXPECT_EQ(events.silent, std::vector<std::uint8_t>{3});
}

TEST_F(Scheduler, TellsOnceWhenAUnitFallsSilentAndWhenItAnswersAgain) {
    scheduler->AddClient(kA);
    for (std::uint16_t transaction = 1; transaction <= 2; ++transaction) {
        Submit(kA, Asking(transaction, 1, "03 0000 0001"));
        Advance(kTimeout + milliseconds(1));
        Advance(milliseconds(3));
    }
    Submit(kA, Asking(3, 1, "03 0000 0001"));
    Reply(ReadReply(1, 3, {0}));
    EXPECT_EQ(events.silent, std::vector<std::uint8_t>{1});
    EXPECT_EQ(events.back, std::vector<std::uint8_t>{1});
}

struct GarbledCase {
    const char* name;
    std::vector<std::uint8_t> first;
    std::vector<std::uint8_t> second;
    std::size_t requestsOnLine;
    std::string answer;
};

class GarbledReply : public Scheduler, public ::testing::WithParamInterface<GarbledCase> {};

TEST_P(GarbledReply, IsAskedOnceMoreThenTargetFailed) {
    const GarbledCase& c = GetParam();
    scheduler->AddClient(kA);
    Submit(kA, Asking(9, 1, "03 0000 0001"));
    for (const auto* reply : {&c.first, &c.second}) {
        if (reply->empty()) continue;
        channel.Feed(*reply);
        Advance(milliseconds(1));
        Advance(milliseconds(60));
        Advance(milliseconds(3));
    }
    EXPECT_EQ(channel.writes.size(), c.requestsOnLine);
    for (const auto& frame : channel.writes)
        EXPECT_EQ(ToHex(frame), ToHex(WithCrc("01 03 0000 0001")));
    EXPECT_EQ(events.answers[kA], std::vector<std::string>{c.answer});
}

INSTANTIATE_TEST_SUITE_P(
    Scheduler, GarbledReply,
    ::testing::Values(GarbledCase{"WrongCrcThenGood", Hex("01 03 02 0005 0000"),
                                  ReadReply(1, 3, {5}), 2, Mbap(9, 1, "03 02 0005")},
                      GarbledCase{"WrongCrcTwice", Hex("01 03 02 0005 0000"),
                                  Hex("01 03 02 0005 0000"), 2, Mbap(9, 1, "83 0B")},
                      GarbledCase{"AnotherAddressTwice", ReadReply(2, 3, {5}), ReadReply(2, 3, {5}),
                                  2, Mbap(9, 1, "83 0B")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Scheduler, RefusalsAreAnsweredAtOnceAndNeverReachTheLine) {
    scheduler->AddClient(kA);
    Submit(kA, Asking(1, 0, "06 0000 0001"));
    Submit(kA, Asking(2, 1, "06 000E 0002"));
    Submit(kA, Asking(3, 1, "10 0000 0001 02 0001"));
    EXPECT_TRUE(channel.writes.empty());
    EXPECT_EQ(
        events.answers[kA],
        (std::vector<std::string>{Mbap(1, 0, "86 01"), Mbap(2, 1, "86 01"), Mbap(3, 1, "90 01")}));
}

TEST_F(Scheduler, LendingTheLineAnswersBusyUntilItIsReturned) {
    scheduler->AddClient(kA);
    scheduler->AddClient(kB);
    Submit(kA, Asking(1, 1, "03 0000 0001"));
    Submit(kB, Asking(1, 1, "03 0001 0001"));
    scheduler->Lend();
    EXPECT_FALSE(scheduler->LineFree()) << "the request already on the line is seen out";
    Submit(kA, Asking(2, 1, "03 0000 0001"));
    Reply(ReadReply(1, 3, {5}));
    EXPECT_TRUE(scheduler->LineFree());
    EXPECT_EQ(channel.writes.size(), 1u);
    EXPECT_EQ(events.answers[kA],
              (std::vector<std::string>{Mbap(1, 1, "03 02 0005"), Mbap(2, 1, "83 06")}));
    EXPECT_EQ(events.answers[kB], (std::vector<std::string>{Mbap(1, 1, "83 06")}));
    scheduler->Return();
    Submit(kB, Asking(2, 1, "03 0000 0001"));
    EXPECT_EQ(channel.writes.size(), 2u);
}

TEST_F(Scheduler, ALostLineAnswersEveryWaitingRequestAtOnce) {
    scheduler->AddClient(kA);
    scheduler->AddClient(kB);
    Submit(kA, Asking(1, 1, "03 0000 0001"));
    Submit(kB, Asking(1, 2, "03 0000 0001"));
    channel.isOpen = false;
    Advance(milliseconds(1));
    Submit(kB, Asking(2, 2, "03 0000 0001"));
    EXPECT_EQ(events.answers[kA], (std::vector<std::string>{Mbap(1, 1, "83 0A")}));
    EXPECT_EQ(events.answers[kB],
              (std::vector<std::string>{Mbap(1, 2, "83 0A"), Mbap(2, 2, "83 0A")}));
}

} // namespace
} // namespace kvel::test
