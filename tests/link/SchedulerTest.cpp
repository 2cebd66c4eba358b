// The request queue, the poll schedule and the transmit scheduler, including the writes that
// change the program's own link settings.
#include "LinkFixture.h"

#include <algorithm>

namespace kvel::test {
namespace {

using QueueTest = LinkTest;

TEST_F(QueueTest, StoresRequestsInSlotsFromOne) {
    link.EnqueueRequest(3, 5, 2);
    link.EnqueueRequest(6, 14, 7);
    ASSERT_EQ(state.QueueCount, 2);
    EXPECT_EQ(state.RequestQueue[0].function, 0);
    EXPECT_EQ(state.RequestQueue[1].function, 3);
    EXPECT_EQ(state.RequestQueue[1].reg, 5);
    EXPECT_EQ(state.RequestQueue[1].countOrValue, 2);
    EXPECT_EQ(state.RequestQueue[2].function, 6);
    EXPECT_EQ(state.RequestQueue[2].reg, 14);
    EXPECT_EQ(state.RequestQueue[2].countOrValue, 7);
}

TEST_F(QueueTest, DropsTheFiftyFirstRequest) {
    for (std::uint16_t i = 1; i <= 50; ++i)
        link.EnqueueRequest(6, i, i);
    link.EnqueueRequest(6, 99, 99);
    ASSERT_EQ(state.QueueCount, 50);
    EXPECT_EQ(state.RequestQueue[50].reg, 50);

    // Drain it: the 51st never goes out.
    std::vector<std::uint16_t> sentRegisters;
    for (int i = 0; i < 60; ++i) {
        const auto frame = Tick();
        if (!frame.empty())
            sentRegisters.push_back(static_cast<std::uint16_t>(frame[2] << 8 | frame[3]));
        state.ReplyAwaited = false;
    }
    ASSERT_EQ(sentRegisters.size(), 50u);
    for (std::uint16_t i = 0; i < 50; ++i)
        EXPECT_EQ(sentRegisters[i], i + 1);
}

TEST_F(QueueTest, RefusesReadsOfMoreThan125Registers) {
    link.EnqueueRequest(3, 0, 126);
    link.EnqueueRequest(4, 0, 126);
    link.EnqueueRequest(3, 0, 0xFFFF);
    EXPECT_EQ(state.QueueCount, 0);
    link.EnqueueRequest(3, 0, 125);
    link.EnqueueRequest(4, 0, 125);
    EXPECT_EQ(state.QueueCount, 2);
}

TEST_F(QueueTest, AcceptsWritesOfAnyValue) {
    link.EnqueueRequest(6, 15, 126);
    link.EnqueueRequest(6, 3, 0xFFFF);
    ASSERT_EQ(state.QueueCount, 2);
    EXPECT_EQ(state.RequestQueue[1].countOrValue, 126);
    EXPECT_EQ(state.RequestQueue[2].countOrValue, 0xFFFF);
}

TEST_F(QueueTest, SaysWhatBecameOfEachRequest) {
    EXPECT_EQ(link.EnqueueRequest(6, 16, 480), Enqueued::Queued);
    EXPECT_EQ(link.EnqueueRequest(3, 0, 126), Enqueued::Dropped);
    state.DeviceAddress = 0;
    EXPECT_EQ(link.EnqueueRequest(6, 13, 0), Enqueued::RefusedAsBroadcast);
    // Reads at the broadcast address are harmless: no unit answers them.
    EXPECT_EQ(link.EnqueueRequest(4, 0, 21), Enqueued::Queued);
    ASSERT_EQ(state.QueueCount, 2);
    EXPECT_EQ(state.RequestQueue[2].function, 4);
    for (std::uint16_t i = 0; i < 50; ++i)
        link.EnqueueRequest(4, 0, 1);
    EXPECT_EQ(link.EnqueueRequest(6, 13, 0), Enqueued::RefusedAsBroadcast)
        << "refused for its address, whatever room the queue has";
}

using PollTest = LinkTest;

TEST_F(PollTest, AlternatesInputAndHoldingPolls) {
    link.Timer1Timer();
    link.Timer1Timer();
    link.Timer1Timer();
    ASSERT_EQ(state.QueueCount, 3);
    EXPECT_EQ(Tick(), Hex("01 04 00 00 00 15 31 C5"));
    state.ReplyAwaited = false;
    EXPECT_EQ(Tick(), Hex("01 03 00 00 00 1B 05 C1"));
    state.ReplyAwaited = false;
    EXPECT_EQ(Tick(), Hex("01 04 00 00 00 15 31 C5"));
}

TEST_F(PollTest, SkipsPollWhileReplyAwaited) {
    link.Timer1Timer(); // input poll; holding is next
    state.QueueCount = 0;
    state.ReplyAwaited = true;
    link.Timer1Timer();
    link.Timer1Timer();
    EXPECT_EQ(state.QueueCount, 0);
    EXPECT_TRUE(state.PollPhase);

    state.ReplyAwaited = false;
    link.Timer1Timer();
    ASSERT_EQ(state.QueueCount, 1);
    EXPECT_EQ(state.RequestQueue[1].function, 3);
    EXPECT_EQ(state.RequestQueue[1].countOrValue, 27);
}

using SchedulerTest = LinkTest;

TEST_F(SchedulerTest, SendsOneRequestPerTickInTheOrderAppended) {
    link.EnqueueRequest(3, 2, 1);
    link.EnqueueRequest(6, 20, 0x1234);
    link.EnqueueRequest(4, 7, 3);

    EXPECT_EQ(Tick(), WithCrc("01 03 00 02 00 01"));
    EXPECT_TRUE(state.ReplyAwaited);
    EXPECT_EQ(state.SendIndex, 1);
    EXPECT_EQ(state.QueueCount, 3);

    state.ReplyAwaited = false;
    link.EnqueueRequest(3, 9, 2); // appended behind what is still waiting
    EXPECT_EQ(Tick(), WithCrc("01 06 00 14 12 34"));
    state.ReplyAwaited = false;
    EXPECT_EQ(Tick(), WithCrc("01 04 00 07 00 03"));
    state.ReplyAwaited = false;
    EXPECT_EQ(Tick(), WithCrc("01 03 00 09 00 02"));
    EXPECT_EQ(state.QueueCount, 0);
    EXPECT_EQ(state.SendIndex, 0);

    state.ReplyAwaited = false;
    EXPECT_TRUE(Tick().empty());
    EXPECT_EQ(channel.writes.size(), 4u);
}

TEST_F(SchedulerTest, SendsNothingWhileAReplyIsAwaited) {
    link.EnqueueRequest(3, 0, 27);
    link.EnqueueRequest(4, 0, 21);
    ASSERT_FALSE(Tick().empty());
    for (int i = 0; i < 49; ++i)
        EXPECT_TRUE(Tick().empty()) << "tick " << i;
    EXPECT_EQ(state.SendIndex, 1);
}

TEST_F(SchedulerTest, FramesCarryTheDeviceAddress) {
    state.DeviceAddress = 0xF7;
    link.EnqueueRequest(3, 0, 27);
    EXPECT_EQ(Tick(), WithCrc("F7 03 00 00 00 1B"));
}

TEST_F(SchedulerTest, NotesReplyLengthAndRegisterOfTheRequestSent) {
    link.EnqueueRequest(3, 10, 4);
    link.EnqueueRequest(6, 20, 500);
    link.EnqueueRequest(4, 0, 125);
    Tick();
    EXPECT_EQ(state.ExpectedReplyLength, 13);
    EXPECT_EQ(state.LastRequestRegister, 10);
    state.ReplyAwaited = false;
    Tick();
    EXPECT_EQ(state.ExpectedReplyLength, 8);
    EXPECT_EQ(state.LastRequestRegister, 20);
    state.ReplyAwaited = false;
    Tick();
    EXPECT_EQ(state.ExpectedReplyLength, 255);
    EXPECT_EQ(state.LastRequestRegister, 0);
}

TEST_F(SchedulerTest, WriteResultDoesNotHoldTheQueueBack) {
    channel.writeResult = kvel::kWritePending;
    link.EnqueueRequest(3, 0, 27);
    EXPECT_FALSE(Tick().empty());
    EXPECT_TRUE(state.ReplyAwaited);
    EXPECT_EQ(state.QueueCount, 0);
}

// The reply is awaited as for any request, but nobody is told of a frame that never left.
TEST_F(SchedulerTest, AFrameNotSentIsNotReportedAsWritten) {
    RecordingObserver tap;
    link.SetObserver(&tap);
    channel.writeResult = kvel::kWriteNotSent;
    link.EnqueueRequest(3, 0, 27);
    Tick();
    EXPECT_EQ(channel.unsent, 1);
    EXPECT_TRUE(tap.writes.empty());
    EXPECT_TRUE(state.ReplyAwaited);
    Ticks(kvel::kLinkTimeoutTicks);
    EXPECT_EQ(tap.losses, std::vector<bool>{false}) << "the time-out runs as ever";
    EXPECT_EQ(host.panels[0], "Нет связи");
}

TEST_F(SchedulerTest, ShowsTheAddressOnEveryTick) {
    state.DeviceAddress = 17;
    Tick();
    EXPECT_EQ(host.Panel(kvel::kPanelAddress), "Адрес17");
    state.DeviceAddress = 18;
    state.ReplyAwaited = true;
    Tick();
    EXPECT_EQ(host.Panel(kvel::kPanelAddress), "Адрес18");
    EXPECT_EQ(host.PanelTexts(kvel::kPanelAddress).size(), 2u);
}

using TimeoutTest = LinkTest;

TEST_F(TimeoutTest, GivesUpOnTheFiftiethTickNotBefore) {
    link.EnqueueRequest(3, 0, 27);
    link.EnqueueRequest(4, 0, 21);
    ASSERT_FALSE(Tick().empty());
    state.HoldingImage[3] = 33;

    for (int i = 0; i < 49; ++i)
        ASSERT_TRUE(Tick().empty());
    EXPECT_TRUE(state.ReplyAwaited);
    EXPECT_EQ(state.LinkTimeoutTicks, 49);
    EXPECT_EQ(host.blankReadingsCalls, 0);
    EXPECT_EQ(state.HoldingImage[3], 33);

    EXPECT_TRUE(Tick().empty()) << "the tick that times out sends nothing";
    EXPECT_FALSE(state.ReplyAwaited);
    EXPECT_EQ(state.LinkTimeoutTicks, 0);
    EXPECT_EQ(host.blankReadingsCalls, 1);
    EXPECT_EQ(host.Panel(kvel::kPanelLink), "Нет связи");
    EXPECT_EQ(state.HoldingImage[3], 0);

    EXPECT_EQ(Tick(), Hex("01 04 00 00 00 15 31 C5"));
}

TEST_F(TimeoutTest, LeavesQueuePortAndTimersAlone) {
    link.EnqueueRequest(3, 0, 27);
    link.EnqueueRequest(4, 0, 21);
    link.EnqueueRequest(6, 3, 1);
    Tick();
    Ticks(50);
    ASSERT_EQ(host.blankReadingsCalls, 1);
    EXPECT_EQ(state.QueueCount, 3);
    EXPECT_EQ(state.SendIndex, 1);
    EXPECT_TRUE(channel.opens.empty());
    EXPECT_EQ(channel.closes, 0);
    EXPECT_EQ(channel.purges, 0);
    EXPECT_TRUE(host.linkTimerCalls.empty());
}

TEST_F(TimeoutTest, CountRestartsForEachRequest) {
    link.EnqueueRequest(3, 0, 1);
    link.EnqueueRequest(3, 0, 1);
    Tick();
    Ticks(30);
    Receive(ReadReply(1, 3, {7}));
    ASSERT_FALSE(state.ReplyAwaited);
    ASSERT_FALSE(Tick().empty());
    Ticks(49);
    EXPECT_TRUE(state.ReplyAwaited);
    EXPECT_EQ(host.blankReadingsCalls, 0);
    Tick();
    EXPECT_FALSE(state.ReplyAwaited);
    EXPECT_EQ(host.blankReadingsCalls, 1);
}

using LinkLostTest = LinkTest;

TEST_F(LinkLostTest, BlanksReadingsAndImagesOnly) {
    state.HoldingImage.fill(5);
    state.InputImage.fill(6);
    state.ReadReplyWord = 7;
    state.WriteReplyWord = 8;
    state.QueueCount = 2;
    state.SendIndex = 1;
    state.ReplyAwaited = true;

    link.netu_svyasi();

    EXPECT_EQ(host.Panel(kvel::kPanelLink), "Нет связи");
    EXPECT_EQ(host.blankReadingsCalls, 1);
    EXPECT_TRUE(std::all_of(state.HoldingImage.begin(), state.HoldingImage.end(),
                            [](auto w) { return w == 0; }));
    EXPECT_TRUE(std::all_of(state.InputImage.begin(), state.InputImage.end(),
                            [](auto w) { return w == 0; }));
    EXPECT_EQ(state.ReadReplyWord, 7);
    EXPECT_EQ(state.WriteReplyWord, 8);
    EXPECT_EQ(state.QueueCount, 2);
    EXPECT_EQ(state.SendIndex, 1);
    EXPECT_TRUE(state.ReplyAwaited);
    EXPECT_EQ(host.settingsWindowCloses, 0);
    EXPECT_EQ(host.calibrationWindowCloses, 0);
    EXPECT_TRUE(channel.opens.empty());
    EXPECT_EQ(channel.closes, 0);
    EXPECT_TRUE(host.linkTimerCalls.empty());
}

TEST_F(LinkLostTest, ClosesOnlyTheWindowsThatAreOpen) {
    state.SettingsWindowOpen = true;
    link.netu_svyasi();
    EXPECT_EQ(host.settingsWindowCloses, 1);
    EXPECT_EQ(host.calibrationWindowCloses, 0);

    state.SettingsWindowOpen = false;
    state.CalibrationWindowOpen = true;
    link.netu_svyasi();
    EXPECT_EQ(host.settingsWindowCloses, 1);
    EXPECT_EQ(host.calibrationWindowCloses, 1);

    state.SettingsWindowOpen = true;
    link.netu_svyasi();
    EXPECT_EQ(host.settingsWindowCloses, 2);
    EXPECT_EQ(host.calibrationWindowCloses, 2);
}

class SettingsWriteTest : public LinkTest {
protected:
    // The log without panel writes, which the baud switch does not concern.
    std::vector<std::string> PortEvents() const {
        std::vector<std::string> kept;
        for (const auto& entry : events.entries)
            if (entry.rfind("Panel ", 0) != 0) kept.push_back(entry);
        return kept;
    }
};

TEST_F(SettingsWriteTest, BaudWritePausesClosesThenReopensAtTheNewRate) {
    state.Settings.comPortWord = 7;
    state.Settings.baudIndexWord = 0x0305; // only the low byte picks the rate
    link.EnqueueRequest(6, 15, 5);
    link.EnqueueRequest(3, 0, 27);

    const auto frame = Tick();

    EXPECT_EQ(frame, WithCrc("01 06 00 0F 00 05"));
    const std::vector<std::string> expected{"Write " + ToHex(frame), "Pause 500", "Close",
                                            R"(Open \\.\COM7 19200)", "Timers 500 100 100"};
    EXPECT_EQ(PortEvents(), expected);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(state.ReplyAwaited);
    EXPECT_EQ(state.SendIndex, 1);
}

TEST_F(SettingsWriteTest, BaudWriteWithUnknownIndexReopensAt9600) {
    state.Settings.comPortWord = 12;
    state.Settings.baudIndexWord = 0x000A;
    link.EnqueueRequest(6, 15, 10);
    Tick();
    ASSERT_EQ(channel.opens.size(), 1u);
    EXPECT_EQ(channel.opens[0].name, R"(\\.\COM12)");
    EXPECT_EQ(channel.opens[0].bitRate, 9600);
}

TEST_F(SettingsWriteTest, FailedReopenStopsTheLinkTimersAndSaysSo) {
    state.Settings.comPortWord = 3;
    state.Settings.baudIndexWord = 9;
    channel.openResult = kvel::kOpenFailed;
    link.EnqueueRequest(6, 15, 9);

    Tick();

    ASSERT_EQ(channel.opens.size(), 1u);
    EXPECT_EQ(channel.opens[0].bitRate, 115200);
    ASSERT_EQ(host.linkTimerCalls.size(), 1u);
    EXPECT_EQ(host.linkTimerCalls[0], (FakeLinkHost::LinkTimers{0, 0, 0}));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Ошибка открытия COM порта1"});
    EXPECT_TRUE(state.ReplyAwaited);
    EXPECT_EQ(state.QueueCount, 0);
}

TEST_F(SettingsWriteTest, OnlyAWriteToTheBaudRegisterSwitchesRate) {
    link.EnqueueRequest(3, 15, 1);
    link.EnqueueRequest(4, 15, 1);
    link.EnqueueRequest(6, 16, 5);
    for (int i = 0; i < 3; ++i) {
        ASSERT_FALSE(Tick().empty());
        state.ReplyAwaited = false;
    }
    EXPECT_TRUE(host.pauses.empty());
    EXPECT_EQ(channel.closes, 0);
    EXPECT_TRUE(channel.opens.empty());
}

TEST_F(SettingsWriteTest, AddressWriteGoesToTheOldAddressAndTakesTheLowByte) {
    state.HoldingImage[0] = 1;
    state.InputImage[0] = 2;
    link.EnqueueRequest(6, 14, 300);
    link.EnqueueRequest(3, 0, 27);
    host.panelHistory.clear();

    EXPECT_EQ(Tick(), WithCrc("01 06 00 0E 01 2C"));

    EXPECT_EQ(state.DeviceAddress, 44);
    EXPECT_EQ(host.PanelTexts(kvel::kPanelAddress),
              (std::vector<std::string>{"Адрес 44", "Адрес44"}));
    EXPECT_EQ(host.PanelTexts(kvel::kPanelLink), (std::vector<std::string>{"Нет связи", " "}));
    EXPECT_EQ(host.blankReadingsCalls, 1);
    EXPECT_EQ(state.HoldingImage[0], 0);
    EXPECT_EQ(state.InputImage[0], 0);
    EXPECT_TRUE(state.ReplyAwaited);
    EXPECT_TRUE(channel.opens.empty());

    state.ReplyAwaited = false;
    EXPECT_EQ(Tick(), WithCrc("2C 03 00 00 00 1B"));
}

TEST_F(SettingsWriteTest, OnlyAWriteToTheAddressRegisterChangesAddress) {
    link.EnqueueRequest(3, 14, 1);
    link.EnqueueRequest(6, 13, 9);
    Tick();
    state.ReplyAwaited = false;
    Tick();
    EXPECT_EQ(state.DeviceAddress, 1);
    EXPECT_EQ(host.blankReadingsCalls, 0);
}

} // namespace
} // namespace kvel::test
