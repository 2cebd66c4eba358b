// The receiver: which bytes make an accepted reply, where its contents go, and the "receiving"
// indication that follows.
#include "LinkFixture.h"
#include "ObserverFanOut.h"

#include <functional>

namespace kvel::test {
namespace {

class ReceiverTest : public LinkTest {
protected:
    // Queues one request and sends it.
    void Request(std::uint8_t function, std::uint16_t reg, std::uint16_t countOrValue) {
        link.EnqueueRequest(function, reg, countOrValue);
        ASSERT_FALSE(Tick().empty());
        ASSERT_TRUE(state.ReplyAwaited);
    }

    bool Accepted() const { return !state.ReplyAwaited; }
};

TEST_F(ReceiverTest, StoresHoldingPollReply) {
    Request(3, 0, 27);
    const auto words = DistinctWords(27);
    Receive(ReadReply(1, 3, words));

    EXPECT_TRUE(Accepted());
    for (std::size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(state.HoldingImage[i], words[i]) << "word " << i;
    EXPECT_EQ(state.HoldingImage[27], 0);
    EXPECT_EQ(state.ReadReplyWord, words[0]);
    EXPECT_EQ(host.fillingOut3Calls, 1);
    EXPECT_EQ(host.fillingOut4Calls, 0);
    EXPECT_EQ(host.Panel(kvel::kPanelLink), "ПРИЕМ ДАННЫХ");
    EXPECT_EQ(host.timer5Intervals, std::vector<int>{800});
    EXPECT_TRUE(channel.input.empty());
    EXPECT_EQ(channel.readsPastInput, 0);
}

TEST_F(ReceiverTest, StoresFromTheRegisterRequested) {
    state.HoldingImage.fill(0xEEEE);
    Request(3, 10, 2);
    Receive(ReadReply(1, 3, {0x1234, 0x5678}));
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(state.HoldingImage[9], 0xEEEE);
    EXPECT_EQ(state.HoldingImage[10], 0x1234);
    EXPECT_EQ(state.HoldingImage[11], 0x5678);
    EXPECT_EQ(state.HoldingImage[12], 0xEEEE);
}

TEST_F(ReceiverTest, HoldingImageIsStoredBeforeTheDisplayIsFilledAndReplyWordAfter) {
    state.ReadReplyWord = 0xDEAD;
    bool checked = false;
    host.onFillingOut3 = [&] {
        checked = true;
        EXPECT_EQ(state.HoldingImage[0], 0x0A0B);
        EXPECT_EQ(state.HoldingImage[1], 0x0C0D);
        EXPECT_EQ(state.ReadReplyWord, 0xDEAD);
        EXPECT_TRUE(state.ReplyAwaited);
        EXPECT_NE(host.Panel(kvel::kPanelLink), "ПРИЕМ ДАННЫХ");
    };
    Request(3, 0, 2);
    Receive(ReadReply(1, 3, {0x0A0B, 0x0C0D}));
    EXPECT_TRUE(checked);
    EXPECT_EQ(state.ReadReplyWord, 0x0A0B);
}

// An observer that needs the registers (the recorder, a restore) finds them stored and shown
// when it hears of the reply; it hears that the images went whenever they are zeroed.
TEST_F(ReceiverTest, ObserversHearOfAReplyOnceItIsTakenInAndOfEveryZeroing) {
    struct Watcher : LinkObserver {
        std::function<void(ReplyKind)> onReply;
        int zeroings = 0;
        void ReplyAccepted(LinkClock::time_point, ReplyKind kind) override { onReply(kind); }
        void ImagesZeroed(LinkClock::time_point) override { ++zeroings; }
    } watcher;
    std::vector<ReplyKind> heard;
    watcher.onReply = [&](ReplyKind kind) {
        heard.push_back(kind);
        EXPECT_EQ(state.HoldingImage[0], 0x0A0B);
        EXPECT_EQ(host.fillingOut3Calls, 1);
        EXPECT_FALSE(state.ReplyAwaited);
    };
    ObserverFanOut both;
    both.Add(&observer);
    both.Add(&watcher);
    link.SetObserver(&both);
    Request(3, 0, 1);
    Receive(ReadReply(1, 3, {0x0A0B}));
    EXPECT_EQ(heard, std::vector<ReplyKind>{ReplyKind::Holding});

    link.SwitchDeviceAddress(2);
    EXPECT_EQ(watcher.zeroings, 1);
    Ticks(kLinkTimeoutTicks + 1);
    EXPECT_EQ(watcher.zeroings, 1) << "nothing awaited, nothing lost";
    Request(3, 0, 1);
    Ticks(kLinkTimeoutTicks + 1);
    EXPECT_EQ(watcher.zeroings, 2);
}

TEST_F(ReceiverTest, StoresInputPollReplyLeavingHoldingSideAlone) {
    state.HoldingImage.fill(0x1111);
    state.ReadReplyWord = 0x2222;
    const auto words = DistinctWords(21, 3);
    bool checked = false;
    host.onFillingOut4 = [&] {
        checked = true;
        EXPECT_EQ(state.InputImage[20], words[20]);
        EXPECT_TRUE(state.ReplyAwaited);
    };
    Request(4, 0, 21);
    Receive(ReadReply(1, 4, words));

    EXPECT_TRUE(Accepted());
    EXPECT_TRUE(checked);
    for (std::size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(state.InputImage[i], words[i]) << "word " << i;
    EXPECT_EQ(state.HoldingImage[0], 0x1111);
    EXPECT_EQ(state.ReadReplyWord, 0x2222);
    EXPECT_EQ(host.fillingOut4Calls, 1);
    EXPECT_EQ(host.fillingOut3Calls, 0);
    EXPECT_EQ(host.Panel(kvel::kPanelLink), "ПРИЕМ ДАННЫХ");
}

TEST_F(ReceiverTest, WriteEchoGivesTheWordAfterTheFunctionAndRegisterHighByte) {
    Request(6, 15, 0x0203);
    Receive(WithCrc("01 06 00 0F 02 03"));
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(state.WriteReplyWord, 0x0F02);
    EXPECT_EQ(host.fillingOut3Calls + host.fillingOut4Calls, 0);
    EXPECT_EQ(host.Panel(kvel::kPanelLink), "ПРИЕМ ДАННЫХ");
}

TEST_F(ReceiverTest, DropsReplyFromAnotherAddress) {
    Request(3, 0, 2);
    Receive(ReadReply(2, 3, {1, 2}));
    EXPECT_FALSE(Accepted());
    EXPECT_EQ(host.fillingOut3Calls, 0);
    EXPECT_EQ(state.HoldingImage[0], 0);
}

TEST_F(ReceiverTest, DropsReplyWithCrcSentHighByteFirst) {
    Request(3, 0, 2);
    auto reply = ReadReply(1, 3, {1, 2});
    std::swap(reply[reply.size() - 2], reply[reply.size() - 1]);
    Receive(reply);
    EXPECT_FALSE(Accepted());
    EXPECT_EQ(state.HoldingImage[0], 0);
}

TEST_F(ReceiverTest, DropsExceptionToARead) {
    Request(3, 0, 1); // expects 7 bytes
    Receive(WithCrc("01 83 02 00 00"));
    EXPECT_FALSE(Accepted());
    EXPECT_EQ(host.fillingOut3Calls, 0);
}

TEST_F(ReceiverTest, DropsExceptionToAWrite) {
    state.WriteReplyWord = 0x4321;
    Request(6, 3, 1);
    Receive(WithCrc("01 86 02 00 00 00"));
    EXPECT_FALSE(Accepted());
    EXPECT_EQ(state.WriteReplyWord, 0x4321);
}

TEST_F(ReceiverTest, NeverAcceptsAReadOfNoRegisters) {
    Request(3, 0, 0);
    Receive(WithCrc("01 03 00"));
    EXPECT_FALSE(Accepted());
    EXPECT_EQ(host.fillingOut3Calls, 0);
}

TEST_F(ReceiverTest, IgnoresBytesWhenNothingWasEverRequested) {
    Receive(WithCrc("01 06 00 00 00 00"));
    Receive(WithCrc("01 03 02 00 00"));
    EXPECT_EQ(host.fillingOut3Calls, 0);
    EXPECT_TRUE(host.timer5Intervals.empty());
}

TEST_F(ReceiverTest, RecognisesReplySplitAcrossTicksWhenItsLastByteArrives) {
    Request(3, 0, 27);
    const auto reply = ReadReply(1, 3, DistinctWords(27));
    Receive({reply.begin(), reply.begin() + 30});
    EXPECT_FALSE(Accepted());
    Receive({reply.begin() + 30, reply.end() - 1});
    EXPECT_FALSE(Accepted());
    EXPECT_EQ(host.fillingOut3Calls, 0);
    Receive({reply.back()});
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(state.HoldingImage[26], 0x0101 * 27);
}

TEST_F(ReceiverTest, FindsReplyAfterNoise) {
    Request(4, 0, 21);
    Receive(Concat(Hex("FF 00 01 04 2A 55"), ReadReply(1, 4, DistinctWords(21))));
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(state.InputImage[0], 0x0101);
}

TEST_F(ReceiverTest, FindsReplyThatWrapsRoundTheReceiveWindow) {
    Request(3, 0, 27);
    std::vector<std::uint8_t> noise;
    // 256 + 230 bytes: the reply starts 26 bytes before the window's end.
    for (int i = 0; i < 256 + 230; ++i)
        noise.push_back(static_cast<std::uint8_t>(i * 7));
    Receive(noise);
    ASSERT_FALSE(Accepted());
    Receive(ReadReply(1, 3, DistinctWords(27)));
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(state.HoldingImage[26], 0x0101 * 27);

    // And one more right behind it.
    Request(3, 0, 27);
    Receive(ReadReply(1, 3, DistinctWords(27, 1)));
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(state.HoldingImage[0], 0x0102);
}

TEST_F(ReceiverTest, RejectsReplyLongerThanExpected) {
    Request(3, 0, 27);
    // 28 registers with a good CRC where 27 were asked for.
    Receive(ReadReply(1, 3, DistinctWords(28)));
    EXPECT_FALSE(Accepted());
    EXPECT_EQ(host.fillingOut3Calls, 0);
    EXPECT_EQ(state.HoldingImage[0], 0);
}

TEST_F(ReceiverTest, AcceptsHoldingReplyOfTheRightLengthWhileAnInputReadIsOutstanding) {
    Request(4, 5, 21);
    const auto words = DistinctWords(21);
    Receive(ReadReply(1, 3, words));
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(host.fillingOut3Calls, 1);
    EXPECT_EQ(state.HoldingImage[5], words[0]);
    EXPECT_EQ(state.HoldingImage[25], words[20]);
    EXPECT_EQ(state.InputImage[5], 0);
}

TEST_F(ReceiverTest, AcceptsLateReplyAfterTimeout) {
    link.EnqueueRequest(3, 0, 27);
    link.EnqueueRequest(3, 0, 27);
    Tick();
    Ticks(50);
    ASSERT_EQ(host.blankReadingsCalls, 1);
    ASSERT_FALSE(Tick().empty()); // the second poll goes out

    Receive(ReadReply(1, 3, DistinctWords(27)));
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(state.HoldingImage[0], 0x0101);
    EXPECT_EQ(host.Panel(kvel::kPanelLink), "ПРИЕМ ДАННЫХ");
}

TEST_F(ReceiverTest, NeverWritesPastTheImages) {
    state.InputImage.fill(0x7777);
    Request(3, 95, 10);
    Receive(ReadReply(1, 3, DistinctWords(10)));
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(state.HoldingImage[95], 0x0101);
    EXPECT_EQ(state.HoldingImage[99], 0x0505);
    EXPECT_EQ(state.InputImage[0], 0x7777) << "words past the holding image spilled over";

    state.WriteReplyWord = 0x3333;
    state.ReadReplyWord = 0x4444;
    Request(4, 98, 5);
    Receive(ReadReply(1, 4, DistinctWords(5)));
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(state.InputImage[99], 0x0202);
    EXPECT_EQ(state.ReadReplyWord, 0x4444);
    EXPECT_EQ(state.WriteReplyWord, 0x3333);

    state.HoldingImage[0] = 0x5555;
    Request(3, 0xFFFF, 3);
    Receive(ReadReply(1, 3, DistinctWords(3)));
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(state.HoldingImage[0], 0x5555) << "register numbers wrapped round";
}

TEST_F(ReceiverTest, TakesExactlyThePendingBytesEachTick) {
    Request(3, 0, 1);
    channel.Feed(Hex("01 02"));
    link.Timer3Timer();
    EXPECT_TRUE(channel.input.empty());
    link.Timer3Timer();
    EXPECT_EQ(channel.readsPastInput, 0);
}

using IndicationTest = ReceiverTest;

TEST_F(IndicationTest, ClearsTheReceivingSign800MsAfterTheFirstOfCloseReplies) {
    Request(3, 0, 1);
    Receive(ReadReply(1, 3, {1}));
    ASSERT_EQ(host.Panel(kvel::kPanelLink), "ПРИЕМ ДАННЫХ");

    host.AdvanceClock(300);
    Request(3, 0, 1);
    Receive(ReadReply(1, 3, {2}));
    EXPECT_EQ(host.timer5Intervals, (std::vector<int>{800, 800}));

    host.AdvanceClock(499);
    EXPECT_EQ(host.Panel(kvel::kPanelLink), "ПРИЕМ ДАННЫХ");
    host.AdvanceClock(1);
    EXPECT_EQ(host.Panel(kvel::kPanelLink), " ");
    EXPECT_EQ(host.panelHistory.back().atMs, 800);
    EXPECT_FALSE(host.timer5.IsRunning());
    EXPECT_EQ(host.timer5Intervals.back(), 0);

    host.AdvanceClock(5000);
    EXPECT_EQ(host.PanelTexts(kvel::kPanelLink).back(), " ");
    EXPECT_EQ(host.timer5Intervals.size(), 3u);
}

TEST_F(IndicationTest, ReplyAfterTheSignClearedShowsItAgainFor800Ms) {
    Request(3, 0, 1);
    Receive(ReadReply(1, 3, {1}));
    host.AdvanceClock(1000);
    ASSERT_EQ(host.Panel(kvel::kPanelLink), " ");

    Request(3, 0, 1);
    Receive(ReadReply(1, 3, {2}));
    EXPECT_EQ(host.Panel(kvel::kPanelLink), "ПРИЕМ ДАННЫХ");
    host.AdvanceClock(800);
    EXPECT_EQ(host.Panel(kvel::kPanelLink), " ");
    EXPECT_EQ(host.panelHistory.back().atMs, 1800);
}

} // namespace
} // namespace kvel::test
