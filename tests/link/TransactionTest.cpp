// The direct transaction path against the fake channel on a clock the test moves: the silence
// before each request, and how the wait for a reply ends.
#include "Crc16.h"
#include "FakeSerialChannel.h"
#include "Hex.h"
#include "ModbusFrame.h"
#include "ModbusTransaction.h"

#include <gtest/gtest.h>

namespace kvel::test {
namespace {

using namespace std::chrono_literals;
using Step = ModbusTransaction::Step;

constexpr TransactionRequest kReadStatus{1, 4, 0, 1};

class TransactionTest : public ::testing::Test {
protected:
    TransactionTest() { channel.OpenComPort("\\\\.\\COM1", 9600); }

    // Begins at `now` and returns what it wrote at once, if anything.
    std::vector<std::uint8_t> BeginAt(LinkClock::duration at,
                                      const TransactionRequest& request = kReadStatus) {
        now = start + at;
        const std::size_t before = channel.writes.size();
        EXPECT_TRUE(transaction.Begin(request, now));
        return channel.writes.size() == before ? std::vector<std::uint8_t>{}
                                               : channel.writes.back();
    }

    Step PollAt(LinkClock::duration at) {
        now = start + at;
        return transaction.Poll(now);
    }

    // The reply arrives at `at` and is polled in.
    Step ReplyAt(LinkClock::duration at, const std::vector<std::uint8_t>& bytes) {
        channel.Feed(bytes);
        return PollAt(at);
    }

    TransactionOutcome Outcome() const { return transaction.Result().outcome; }

    const LinkClock::time_point start = LinkClock::time_point{} + 1h;
    LinkClock::time_point now = start;
    FakeSerialChannel channel;
    ModbusTransaction transaction{channel, TransactionTiming{9600, {}, 100ms}};
};

// 3.5 characters of 10 bits at 9600 bit/s.
constexpr auto kSilence9600 = 3645833ns;

TEST_F(TransactionTest, SendsTheRequestAtOnceOnAQuietLineAndTakesItsReply) {
    EXPECT_EQ(ToHex(BeginAt(0ms)), "01 04 00 00 00 01 31 CA");
    EXPECT_EQ(PollAt(5ms), Step::Pending);
    // Leading noise does not hide a reply, as in the window's receiver.
    EXPECT_EQ(ReplyAt(20ms, Concat(Hex("FF 00"), ReadReply(1, 4, {0x0031}))), Step::Done);
    EXPECT_EQ(Outcome(), TransactionOutcome::Ok);
    EXPECT_EQ(transaction.Result().Words(), std::vector<std::uint16_t>{0x0031});
    EXPECT_EQ(transaction.Result().elapsed, 20ms);
    EXPECT_FALSE(transaction.Busy());
}

TEST_F(TransactionTest, KeepsThreeAndAHalfCharactersOfSilenceBeforeEachRequest) {
    BeginAt(0ms);
    ASSERT_EQ(ReplyAt(20ms, ReadReply(1, 4, {7})), Step::Done);

    EXPECT_TRUE(BeginAt(20ms).empty());
    EXPECT_EQ(transaction.WakeAt(), start + 20ms + kSilence9600);
    EXPECT_EQ(PollAt(20ms + kSilence9600 - 1us), Step::Pending);
    EXPECT_EQ(channel.writes.size(), 1u);
    // A stray byte is line activity: the silence starts again after it.
    channel.Feed({0x55});
    EXPECT_EQ(PollAt(22ms), Step::Pending);
    EXPECT_EQ(PollAt(22ms + kSilence9600 - 1us), Step::Pending);
    EXPECT_EQ(channel.writes.size(), 1u);
    EXPECT_EQ(PollAt(22ms + kSilence9600), Step::Pending);
    ASSERT_EQ(channel.writes.size(), 2u);
    EXPECT_EQ(ReplyAt(40ms, ReadReply(1, 4, {8})), Step::Done);
    EXPECT_EQ(transaction.Result().Words(), std::vector<std::uint16_t>{8}) << "not the stray byte";
}

TEST_F(TransactionTest, SilenceAfterAnUnansweredRequestCountsFromItsLastCharacter) {
    transaction.SetTiming({9600, {}, 1ms});
    BeginAt(0ms);
    // 8 characters take 8.33 ms to go out, and the line is quiet only from then on.
    const auto requestOnLine = 8333333ns;
    ASSERT_EQ(PollAt(requestOnLine + 1ms), Step::Done);
    EXPECT_EQ(Outcome(), TransactionOutcome::TimedOut);
    EXPECT_TRUE(BeginAt(requestOnLine + 1ms).empty());
    EXPECT_EQ(PollAt(requestOnLine + kSilence9600 - 1us), Step::Pending);
    EXPECT_EQ(channel.writes.size(), 1u);
    EXPECT_EQ(PollAt(requestOnLine + kSilence9600), Step::Pending);
    EXPECT_EQ(channel.writes.size(), 2u);
}

TEST_F(TransactionTest, ARaisedGapHoldsTheNextRequestBack) {
    transaction.SetTiming({9600, 30ms, 100ms});
    BeginAt(0ms);
    ASSERT_EQ(ReplyAt(20ms, ReadReply(1, 4, {7})), Step::Done);
    EXPECT_TRUE(BeginAt(21ms).empty());
    EXPECT_EQ(PollAt(49ms), Step::Pending);
    EXPECT_EQ(channel.writes.size(), 1u);
    EXPECT_EQ(PollAt(50ms), Step::Pending);
    EXPECT_EQ(channel.writes.size(), 2u);
}

// Up to 19200 bit/s the silence is 3.5 characters; above, where those shrink to a fraction of a
// millisecond, 1.75 ms. A raised gap still holds the request back further.
TEST_F(TransactionTest, SilenceIsThreeAndAHalfCharactersUpTo19200AndThenFixed) {
    const struct {
        std::int32_t bitRate;
        LinkClock::duration gap;
        LinkClock::duration silence;
    } cases[] = {
        {9600, {}, kSilence9600}, {19200, {}, 1822916ns}, {38400, {}, 1750us},
        {115200, {}, 1750us},     {115200, 5ms, 5ms},
    };
    auto at = 0ms;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bitRate);
        transaction.SetTiming({c.bitRate, c.gap, 100ms});
        BeginAt(at);
        ASSERT_EQ(ReplyAt(at + 20ms, ReadReply(1, 4, {7})), Step::Done);
        const std::size_t sent = channel.writes.size();
        EXPECT_TRUE(BeginAt(at + 20ms).empty());
        EXPECT_EQ(transaction.WakeAt(), now + c.silence);
        EXPECT_EQ(PollAt(at + 20ms + c.silence - 1us), Step::Pending);
        EXPECT_EQ(channel.writes.size(), sent) << "sent before the silence was over";
        EXPECT_EQ(PollAt(at + 20ms + c.silence), Step::Pending);
        EXPECT_EQ(channel.writes.size(), sent + 1) << "not sent once the silence was over";
        ASSERT_EQ(ReplyAt(at + 40ms, ReadReply(1, 4, {8})), Step::Done);
        at += 1s;
    }
}

TEST_F(TransactionTest, TimesOutOnSilenceCountedFromTheEndOfTheRequest) {
    BeginAt(0ms);
    const auto requestOnLine = 8333333ns;
    EXPECT_EQ(transaction.WakeAt(), start + requestOnLine + 100ms);
    EXPECT_EQ(PollAt(requestOnLine + 100ms - 1us), Step::Pending);
    EXPECT_EQ(PollAt(requestOnLine + 100ms), Step::Done);
    EXPECT_EQ(Outcome(), TransactionOutcome::TimedOut);
    EXPECT_TRUE(transaction.Result().frame.empty());
}

TEST_F(TransactionTest, AGatewaysAnswerThatNoUnitAnsweredIsNoUnitWithItsCode) {
    const struct {
        const char* reply;
        TransactionOutcome outcome;
        std::uint8_t code;
    } cases[] = {{"01 84 0B", TransactionOutcome::NoUnit, 0x0B},
                 {"01 84 0A", TransactionOutcome::NoUnit, 0x0A},
                 {"01 84 04", TransactionOutcome::Exception, 0x04},
                 {"05 84 0B", TransactionOutcome::WrongAddress, 0}};
    LinkClock::duration at{};
    for (const auto& c : cases) {
        at += 100ms;
        BeginAt(at, {1, 4, 0, 2});
        EXPECT_EQ(ReplyAt(at + 15ms, WithCrc(c.reply)), Step::Done) << c.reply;
        EXPECT_EQ(Outcome(), c.outcome) << c.reply;
        EXPECT_EQ(transaction.Result().frame, WithCrc(c.reply)) << c.reply;
        if (c.code) EXPECT_EQ(transaction.Result().exceptionCode, c.code) << c.reply;
    }
    EXPECT_TRUE(GatewayFoundNoUnit(0x0A) && GatewayFoundNoUnit(0x0B));
    EXPECT_FALSE(GatewayFoundNoUnit(0x04) || GatewayFoundNoUnit(0x0C));
}

TEST_F(TransactionTest, AnExceptionEndsTheWaitWithItsCode) {
    BeginAt(0ms, {1, 6, 16, 500});
    EXPECT_EQ(ReplyAt(15ms, WithCrc("01 86 06")), Step::Done);
    EXPECT_EQ(Outcome(), TransactionOutcome::Exception);
    EXPECT_EQ(transaction.Result().exceptionCode, 6);
    EXPECT_STREQ(ExceptionName(6), "busy");
    EXPECT_STREQ(ExceptionName(2), "illegal data address");
    EXPECT_TRUE(transaction.Result().Words().empty());
}

TEST_F(TransactionTest, ACorruptedReplyIsGivenUpSoonAfterItsLastByte) {
    BeginAt(0ms);
    std::vector<std::uint8_t> reply = ReadReply(1, 4, {0x1234});
    reply[3] ^= 0x01;
    EXPECT_EQ(ReplyAt(20ms, reply), Step::Pending);
    EXPECT_EQ(PollAt(20ms + kSilence9600 + 49ms), Step::Pending);
    EXPECT_EQ(PollAt(20ms + kSilence9600 + 50ms), Step::Done);
    EXPECT_EQ(Outcome(), TransactionOutcome::Corrupt);
    EXPECT_EQ(transaction.Result().frame, reply);
}

TEST_F(TransactionTest, AReplyCutShortIsCorruptAtTheTimeOut) {
    BeginAt(0ms);
    EXPECT_EQ(ReplyAt(20ms, Hex("01 04 02 12")), Step::Pending);
    EXPECT_EQ(PollAt(90ms), Step::Pending);
    EXPECT_EQ(PollAt(110ms), Step::Done);
    EXPECT_EQ(Outcome(), TransactionOutcome::Corrupt);
    EXPECT_EQ(ToHex(transaction.Result().frame), "01 04 02 12");
}

TEST_F(TransactionTest, AReplyFromAnotherAddressIsNamedAsSuch) {
    const struct {
        const char* what;
        std::vector<std::uint8_t> reply;
    } cases[] = {
        {"reply", ReadReply(2, 4, {0x0031})},
        {"exception", WithCrc("02 84 02")},
    };
    auto at = 0ms;
    for (const auto& c : cases) {
        BeginAt(at);
        EXPECT_EQ(ReplyAt(at + 20ms, c.reply), Step::Done) << c.what;
        EXPECT_EQ(Outcome(), TransactionOutcome::WrongAddress) << c.what;
        EXPECT_EQ(transaction.Result().frame, c.reply) << c.what;
        at += 1000ms;
    }
}

TEST_F(TransactionTest, AReplyToAnotherFunctionIsNotTaken) {
    BeginAt(0ms);
    EXPECT_EQ(ReplyAt(20ms, ReadReply(1, 3, {0x0031})), Step::Pending);
    EXPECT_EQ(PollAt(200ms), Step::Done);
    EXPECT_EQ(Outcome(), TransactionOutcome::Corrupt);
}

TEST_F(TransactionTest, AWriteIsAnsweredByItsEcho) {
    EXPECT_EQ(ToHex(BeginAt(0ms, {1, 6, 16, 485})), "01 06 00 10 01 E5 48 14");
    EXPECT_EQ(ReplyAt(20ms, Hex("01 06 00 10 01 E5 48 14")), Step::Done);
    EXPECT_EQ(Outcome(), TransactionOutcome::Ok);
    EXPECT_EQ(transaction.Result().Words(), std::vector<std::uint16_t>{485});
}

// A network line: the request waits for the connection, as long as a reply would be waited for,
// and one that could not go out is not waited on at all.
TEST_F(TransactionTest, WaitsForAConnectionComingUpAndGivesUpARequestThatCouldNotGo) {
    channel.connecting = true;
    EXPECT_TRUE(BeginAt(0ms).empty());
    EXPECT_EQ(transaction.WakeAt(), start + kSilence9600 + 100ms);
    EXPECT_EQ(PollAt(50ms), Step::Pending);
    channel.connecting = false;
    EXPECT_EQ(PollAt(60ms), Step::Pending);
    ASSERT_EQ(channel.writes.size(), 1u) << "sent once the connection is up";
    ASSERT_EQ(ReplyAt(70ms, ReadReply(1, 4, {7})), Step::Done);

    channel.connecting = true;
    BeginAt(100ms);
    EXPECT_EQ(PollAt(100ms + kSilence9600 + 100ms), Step::Done);
    EXPECT_EQ(Outcome(), TransactionOutcome::PortClosed) << "the connection never came";

    channel.connecting = false;
    channel.writeResult = kWriteNotSent;
    BeginAt(300ms);
    EXPECT_FALSE(transaction.Busy());
    EXPECT_EQ(Outcome(), TransactionOutcome::PortClosed);
    EXPECT_EQ(channel.unsent, 1);
}

TEST_F(TransactionTest, OneTransactionAtATimeAndNoneOnAClosedPort) {
    BeginAt(0ms);
    EXPECT_FALSE(transaction.Begin(kReadStatus, now));
    channel.CloseComPort();
    EXPECT_EQ(PollAt(1ms), Step::Done);
    EXPECT_EQ(Outcome(), TransactionOutcome::PortClosed);
    BeginAt(2ms);
    EXPECT_EQ(Outcome(), TransactionOutcome::PortClosed);
    EXPECT_EQ(channel.writes.size(), 1u);
}

// A unit that answers as soon as the request is written.
class AnsweringChannel : public FakeSerialChannel {
public:
    int WriteComPort(const std::uint8_t* bytes, int length) override {
        const int result = FakeSerialChannel::WriteComPort(bytes, length);
        Feed(answer);
        return result;
    }
    std::vector<std::uint8_t> answer;
};

TEST(TransactionRunTest, RunWaitsOnTheChannelForTheReplyOrTheTimeOut) {
    AnsweringChannel channel;
    channel.OpenComPort("\\\\.\\COM1", 115200);
    ModbusTransaction transaction(channel, {115200, {}, 30ms});
    channel.answer = ReadReply(1, 4, {0x0102, 0x0304});
    const TransactionResult answered = transaction.Run({1, 4, 0, 2});
    EXPECT_EQ(answered.outcome, TransactionOutcome::Ok);
    EXPECT_EQ(answered.Words(), (std::vector<std::uint16_t>{0x0102, 0x0304}));

    channel.answer.clear();
    const auto before = LinkClock::now();
    EXPECT_EQ(transaction.Run({1, 4, 0, 2}).outcome, TransactionOutcome::TimedOut);
    EXPECT_GE(LinkClock::now() - before, 30ms);
    EXPECT_EQ(channel.writes.size(), 2u);
}

} // namespace
} // namespace kvel::test
