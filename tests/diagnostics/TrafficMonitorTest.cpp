// Counters, reply latency and the cause of a link loss, fed the events the link's tap reports;
// and several observers sharing the tap.
#include "TrafficMonitor.h"
#include "Crc16.h"
#include "Hex.h"
#include "ObserverFanOut.h"
#include "RecordingObserver.h"

#include <gtest/gtest.h>

namespace kvel::test {
namespace {

using namespace std::chrono_literals;

constexpr ReceiverContext kPollReply{1, 59};

class TrafficMonitorTest : public ::testing::Test {
protected:
    void Send(LinkClock::duration at = {}) {
        const auto frame = WithCrc("01 03 00 00 00 1B");
        monitor.BytesWritten(start + at, frame.data(), frame.size());
    }
    void Arrive(const std::vector<std::uint8_t>& bytes, LinkClock::duration at = {},
                ReceiverContext context = kPollReply) {
        for (std::uint8_t byte : bytes)
            monitor.ByteRead(start + at, byte, context);
    }
    static std::vector<std::uint8_t> PollReply(std::uint8_t address = 1) {
        return ReadReply(address, 3, std::vector<std::uint16_t>(27, 0x0203));
    }
    std::string Cause() const {
        const auto& cause = monitor.Counters().Cause();
        return cause ? CauseText(*cause) : "(none)";
    }
    const LinkCounters& Counters() const { return monitor.Counters(); }

    const LinkClock::time_point start = LinkClock::now();
    TrafficMonitor monitor;
};

TEST_F(TrafficMonitorTest, CauseOfLossFromWhatTheLineShowed) {
    auto corrupted = PollReply();
    corrupted[30] ^= 0x08;
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool portOpen;
        const char* cause;
    } cases[] = {
        {"port gone", {}, false, "порт закрыт"},
        {"silence", {}, true, "нет ни одного байта"},
        {"only noise", Hex("FF 7F 00 3C"), true, "байты есть, но кадров нет"},
        {"only broken replies", corrupted, true, "байты есть, но кадров нет"},
        {"another unit answers", PollReply(5), true, "отвечает другой адрес 5"},
        {"exception", WithCrc("01 83 02"), true, "исключение 02 (недопустимый адрес данных)"},
        {"another unit's exception", WithCrc("03 83 02"), true, "отвечает другой адрес 3"},
    };
    for (const auto& c : cases) {
        Send();
        Arrive(c.bytes);
        monitor.LinkLost(start, c.portOpen);
        EXPECT_EQ(Cause(), c.cause) << c.what;
    }
}

TEST_F(TrafficMonitorTest, AGatewaysNoUnitAnswerAsksForTheAddressNotForAnotherDevice) {
    const struct {
        const char* exception;
        const char* headline;
    } cases[] = {
        {"01 83 0B", "Нет связи: шлюз: устройство не ответило — проверьте адрес"},
        {"01 83 0A", "Нет связи: шлюз: устройство не ответило — проверьте адрес"},
        {"01 83 02",
         "Нет связи: исключение 02 (недопустимый адрес данных) — устройство отвергает опрос, "
         "проверьте, то ли это устройство"},
    };
    for (const auto& c : cases) {
        Send();
        Arrive(WithCrc(c.exception));
        monitor.LinkLost(start, true);
        const auto& cause = Counters().Cause();
        ASSERT_TRUE(cause) << c.exception;
        EXPECT_EQ(LossHeadline(*cause), c.headline) << c.exception;
    }
}

TEST_F(TrafficMonitorTest, EachLossIsJudgedOnlyByWhatCameSinceTheLastOne) {
    Send();
    Arrive(Hex("00 11 22"));
    monitor.LinkLost(start, true);
    ASSERT_EQ(Cause(), "байты есть, но кадров нет");
    Send();
    monitor.LinkLost(start, true);
    EXPECT_EQ(Cause(), "нет ни одного байта");
}

TEST_F(TrafficMonitorTest, AReplyOrAnOpenedPortEndsTheCause) {
    Send();
    monitor.LinkLost(start, true);
    Send();
    Arrive(PollReply());
    EXPECT_EQ(Cause(), "(none)");
    monitor.PortOpened(start, false);
    EXPECT_EQ(Cause(), "порт закрыт");
    monitor.PortOpened(start, true);
    EXPECT_EQ(Cause(), "(none)");
}

TEST_F(TrafficMonitorTest, CountersMoveOncePerEvent) {
    Send();
    Arrive(PollReply());
    Send();
    Arrive(Concat(Hex("AA"), WithCrc("01 83 02")));
    Send(); // the noise and the exception are given up here
    Arrive(WithCrc("01 83 02"));
    Arrive(PollReply(4));
    monitor.LinkLost(start, true);

    EXPECT_EQ(Counters().Requests(), 3u);
    EXPECT_EQ(Counters().Replies(), 1u);
    EXPECT_EQ(Counters().LinkLosses(), 1u);
    EXPECT_EQ(Counters().Exceptions(2), 2u);
    EXPECT_EQ(Counters().Exceptions(3), 0u);
    EXPECT_EQ(Counters().Rejected(PieceKind::Noise), 1u);
    EXPECT_EQ(Counters().Rejected(PieceKind::OtherAddress), 1u);
    EXPECT_EQ(Counters().Rejected(PieceKind::CrcError), 0u);
}

// The link says it is lost at every time-out while the unit stays silent, and the keeper at
// every failed retry of a network line; that is one outage until the unit answers again.
TEST_F(TrafficMonitorTest, AnOutageIsOneLossAndItsTroubleIsToldOnce) {
    monitor.SetRecording(true);
    const NetworkNote timedOut{
        NetworkNote::Kind::Failed, "10.0.0.5:4001", OpenFailureReason::ConnectionTimedOut, {}};
    for (int retry = 0; retry < 5; ++retry) {
        monitor.NetworkNoted(start, timedOut);
        monitor.LinkLost(start, false);
        Send();
        monitor.LinkLost(start, true);
    }
    EXPECT_EQ(Counters().LinkLosses(), 1u);
    EXPECT_EQ(Counters().ConnectionFailures(OpenFailureReason::ConnectionTimedOut), 5u)
        << "each failed connect is still counted by its reason";
    std::vector<std::string> trouble;
    for (const MonitorLine& line : monitor.TakeLines())
        if (!line.outgoing) trouble.push_back(line.text);
    EXPECT_EQ(trouble, (std::vector<std::string>{"Соединение с 10.0.0.5:4001: узел не отвечает",
                                                 "Нет связи: узел не отвечает",
                                                 "Нет связи: нет ни одного байта"}));

    Send();
    Arrive(PollReply());
    monitor.TakeLines();
    Send();
    monitor.LinkLost(start, true);
    EXPECT_EQ(Counters().LinkLosses(), 2u) << "a loss after an answer is a new outage";
    EXPECT_EQ(monitor.TakeLines().back().text, "Нет связи: нет ни одного байта");
}

TEST_F(TrafficMonitorTest, ARefusedRetryIsToldOnceAndAnOpenedPortEndsTheOutage) {
    monitor.SetRecording(true);
    monitor.SetPortContext([] {
        return PortContext{"tcp://10.0.0.5:4001",
                           9600,
                           1,
                           {OpenFailureReason::ConnectionRefused, "10.0.0.5:4001", {}, {}}};
    });
    for (int retry = 0; retry < 3; ++retry)
        monitor.PortOpened(start, false);
    monitor.PortOpened(start, true);
    monitor.PortOpened(start, false);
    std::vector<std::string> texts;
    for (const MonitorLine& line : monitor.TakeLines())
        texts.push_back(line.text);
    const std::string refused =
        "Порт не открылся: tcp://10.0.0.5:4001 — 10.0.0.5:4001: соединение отвергнуто";
    EXPECT_EQ(texts, (std::vector<std::string>{refused, "Порт открыт: tcp://10.0.0.5:4001, адрес 1",
                                               refused}))
        << "a network line has no bit rate to show";
}

TEST_F(TrafficMonitorTest, LatencyFromRequestToTheReplysLastByte) {
    Send(0ms);
    Arrive(PollReply(), 30ms);
    Send(100ms);
    Arrive(PollReply(), 110ms);
    Send(200ms);
    Arrive(PollReply(), 220ms);
    const Latency& latency = Counters().ReplyLatency();
    EXPECT_EQ(latency.count, 3u);
    EXPECT_EQ(latency.last, 20ms);
    EXPECT_EQ(latency.least, 10ms);
    EXPECT_EQ(latency.most, 30ms);
    EXPECT_EQ(latency.Mean(), 20ms);
}

TEST_F(TrafficMonitorTest, LinesOnlyWhileRecordingAndNoMoreThanTheHistory) {
    Send();
    EXPECT_TRUE(monitor.TakeLines().empty());
    monitor.SetRecording(true);
    Send();
    Arrive(Concat(Hex("FF"), PollReply()));
    monitor.LinkLost(start, true);
    const auto lines = monitor.TakeLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].kind, LineKind::Request);
    EXPECT_TRUE(lines[0].outgoing);
    EXPECT_EQ(lines[0].text, "Чтение регистров хранения 0–26");
    EXPECT_EQ(lines[0].hex, ToHex(WithCrc("01 03 00 00 00 1B")));
    EXPECT_EQ(lines[1].kind, LineKind::Rejected);
    EXPECT_EQ(lines[1].text, "Отклонено: шум (1 байт)");
    EXPECT_EQ(lines[2].kind, LineKind::Reply);
    EXPECT_EQ(lines[2].text, "Ответ: 27 регистров");
    EXPECT_EQ(lines[3].kind, LineKind::Event);
    EXPECT_EQ(lines[3].text, "Нет связи: нет ни одного байта");

    for (std::size_t i = 0; i < kMonitorHistory + 10; ++i)
        Send();
    EXPECT_EQ(monitor.TakeLines().size(), kMonitorHistory);
}

TEST_F(TrafficMonitorTest, LongFramesShowTheirFirstBytesOnly) {
    monitor.SetRecording(true);
    std::vector<std::uint8_t> block(2060, 0x11);
    monitor.BytesWritten(start, block.data(), block.size());
    const auto lines = monitor.TakeLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].hex.size(), kBytesShownPerLine * 3 - 1 + std::string(" …").size());
}

TEST(ObserverFanOutTest, EveryObserverHearsEveryEventUntilRemoved) {
    ObserverFanOut fanOut;
    RecordingObserver first;
    RecordingObserver second;
    fanOut.Add(&first);
    fanOut.Add(&second);
    fanOut.Add(&first);
    const std::uint8_t frame[] = {1, 2, 3};
    fanOut.BytesWritten(LinkClock::now(), frame, 3);
    fanOut.ByteRead(LinkClock::now(), 9, ReceiverContext{1, 7});
    fanOut.ReplyAccepted(LinkClock::now(), ReplyKind::Write);
    fanOut.LinkLost(LinkClock::now(), true);
    fanOut.PortOpened(LinkClock::now(), false);
    fanOut.ImagesZeroed(LinkClock::now());
    fanOut.Remove(&first);
    fanOut.ByteRead(LinkClock::now(), 10, ReceiverContext{1, 7});

    for (const RecordingObserver* observer : {&first, &second}) {
        EXPECT_EQ(observer->writes, (std::vector<std::vector<std::uint8_t>>{{1, 2, 3}}));
        EXPECT_EQ(observer->accepted, std::vector<ReplyKind>{ReplyKind::Write});
        EXPECT_EQ(observer->losses, std::vector<bool>{true});
        EXPECT_EQ(observer->opens, std::vector<bool>{false});
        EXPECT_EQ(observer->zeroings, 1);
    }
    EXPECT_EQ(first.bytesRead, std::vector<std::uint8_t>{9});
    EXPECT_EQ(second.bytesRead, (std::vector<std::uint8_t>{9, 10}));
}

} // namespace
} // namespace kvel::test
