// Open errors that say why, and the silent reopen of a port whose device went away.
#include "LinkFixture.h"
#include "LinkWords.h"
#include "PortKeeper.h"

#include <algorithm>

namespace kvel::test {
namespace {

TEST(OpenErrorMessageTest, GivesTheDeviceAndTheReasonOnASecondLine) {
    const std::string first = "Ошибка открытия COM порта";
    EXPECT_EQ(OpenErrorMessage(first, {OpenFailureReason::NoSuchDevice, "/dev/ttyUSB0", "", ""}),
              "Ошибка открытия COM порта\n/dev/ttyUSB0: нет такого устройства");
    EXPECT_EQ(OpenErrorMessage(first, {OpenFailureReason::Busy, "/dev/ttyUSB0", "", ""}),
              "Ошибка открытия COM порта\n/dev/ttyUSB0: порт занят другой программой");
    EXPECT_EQ(
        OpenErrorMessage(first, {OpenFailureReason::Busy, "/dev/ttyUSB0", "kvel (pid 42)", ""}),
        "Ошибка открытия COM порта\n/dev/ttyUSB0: порт занят другой программой: kvel (pid 42)");
    EXPECT_EQ(OpenErrorMessage(first, {OpenFailureReason::NoPermission, "/dev/ttyUSB0", "", ""}),
              "Ошибка открытия COM порта\n/dev/ttyUSB0: нет прав доступа, добавьте пользователя в "
              "группу dialout");
    EXPECT_EQ(OpenErrorMessage(first, {OpenFailureReason::NotSerialPort, "/tmp/notes.txt", "", ""}),
              "Ошибка открытия COM порта\n/tmp/notes.txt: это не последовательный порт");
    EXPECT_EQ(
        OpenErrorMessage(first, {OpenFailureReason::Other, "/dev/ttyS3", "", "Input/output error"}),
        "Ошибка открытия COM порта\n/dev/ttyS3: не удалось открыть: Input/output error");
}

TEST(OpenErrorMessageTest, KeepsTheOneLineWhenTheReasonIsUnknown) {
    EXPECT_EQ(OpenErrorMessage("Ошибка открытия COM порта1", {}), "Ошибка открытия COM порта1");
}

using BaudSwitchErrorTest = LinkTest;

TEST_F(BaudSwitchErrorTest, ReopenFailureAfterARateWriteSaysWhy) {
    state.Settings.comPortWord = 4;
    channel.openResult = kOpenFailed;
    channel.openFailure = {OpenFailureReason::NoSuchDevice, "/dev/ttyUSB0", "", ""};
    link.EnqueueRequest(6, 15, 9);
    Tick();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Ошибка открытия COM порта1\n/dev/ttyUSB0: нет такого устройства");
    EXPECT_EQ(host.panels[0], "Нет связи");
    EXPECT_EQ(host.blankReadingsCalls, 1);
}

class PortKeeperTest : public LinkTest {
protected:
    PortKeeperTest() : keeper(link) {
        state.Settings.comPortWord = 5;
        state.Settings.baudIndexWord = 6;
        channel.isOpen = true;
    }

    // The adapter is pulled while a poll waits for its answer.
    void PullAdapter() {
        state.ReplyAwaited = true;
        state.LinkTimeoutTicks = 7;
        state.HoldingImage[16] = 540;
        channel.isOpen = false;
        channel.vanished = true;
    }

    PortKeeper keeper;
};

TEST_F(PortKeeperTest, ShowsTheLossFirstThenReopensTheSameDeviceAtTheStoredRateWithoutAMessage) {
    PullAdapter();
    keeper.Tick(false);
    EXPECT_TRUE(channel.opens.empty());
    EXPECT_EQ(host.panels[0], "Нет связи");
    keeper.Tick(false);
    ASSERT_EQ(channel.opens.size(), 1u);
    // Not "\\.\COM5": with its link gone, that name leads to another device.
    EXPECT_EQ(channel.opens[0].name, FakeSerialChannel::kReopened);
    EXPECT_EQ(channel.opens[0].bitRate, 38400);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.panels[0], "Нет связи");
    EXPECT_EQ(state.HoldingImage[16], 0);
    EXPECT_EQ(host.linkTimerCalls.back(), (FakeLinkHost::LinkTimers{500, 100, 100}));
    // The awaited answer went with the old port: the next poll leaves at once.
    EXPECT_FALSE(state.ReplyAwaited);
    link.Timer1Timer();
    EXPECT_FALSE(Tick().empty());
}

TEST_F(PortKeeperTest, TheLossStaysShownWhenTheLastAnswerWasJustIn) {
    link.priem_end();
    PullAdapter();
    keeper.Tick(false);
    EXPECT_EQ(host.timer5Intervals.back(), 0);
    EXPECT_EQ(host.panels[0], "Нет связи");
}

TEST_F(PortKeeperTest, TriesOnceATickUntilThePortIsBack) {
    PullAdapter();
    channel.openResult = kOpenFailed;
    channel.openFailure = {OpenFailureReason::NoSuchDevice, "/dev/ttyUSB0", "", ""};
    keeper.Tick(false);
    keeper.Tick(false);
    keeper.Tick(false);
    EXPECT_EQ(channel.opens.size(), 2u);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(state.ReplyAwaited);
    // The loss is shown once, not on every try.
    const auto texts = host.PanelTexts(0);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Нет связи"), 1);

    channel.openResult = kOpenOk;
    keeper.Tick(false);
    keeper.Tick(false);
    EXPECT_EQ(channel.opens.size(), 3u);
    EXPECT_FALSE(state.ReplyAwaited);
}

// A server that is not there: each retry connects in the background and fails again. It is one
// outage, and no poll goes out before a connection is up to carry it.
TEST_F(PortKeeperTest, ANetworkOutageIsOneLossAndPollingWaitsForTheConnection) {
    RecordingObserver tap;
    link.SetObserver(&tap);
    PullAdapter();
    keeper.Tick(false);
    channel.connecting = true;
    for (int retry = 0; retry < 3; ++retry) {
        keeper.Tick(false);
        keeper.Tick(false);
        EXPECT_EQ(channel.opens.size(), static_cast<std::size_t>(retry + 1));
        // The connection is given up.
        channel.isOpen = false;
        channel.vanished = true;
    }
    EXPECT_EQ(tap.losses, std::vector<bool>{false});
    const auto texts = host.PanelTexts(0);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Нет связи"), 1);
    EXPECT_TRUE(tap.opens.empty()) << "a connection under way is neither opened nor refused";
    EXPECT_TRUE(host.linkTimerCalls.empty());

    keeper.Tick(false);
    channel.connecting = false;
    keeper.Tick(false);
    EXPECT_EQ(host.linkTimerCalls.back(), (FakeLinkHost::LinkTimers{500, 100, 100}));
    EXPECT_FALSE(state.ReplyAwaited);
    EXPECT_EQ(channel.opens.size(), 4u);
}

TEST_F(PortKeeperTest, LeavesAPortTheProgramClosedOrFailedToOpenAlone) {
    PullAdapter();
    channel.CloseComPort();
    keeper.Tick(false);
    channel.openResult = kOpenFailed;
    link.OpenStoredPort();
    keeper.Tick(false);
    EXPECT_EQ(channel.opens.size(), 1u) << "only the program's own open";
    EXPECT_TRUE(host.PanelTexts(0).empty());
}

TEST_F(PortKeeperTest, ShowsTheLossButLeavesThePortToWhoeverHoldsIt) {
    PullAdapter();
    keeper.Tick(true);
    keeper.Tick(true);
    keeper.Tick(true);
    EXPECT_TRUE(channel.opens.empty());
    EXPECT_EQ(host.panels[0], "Нет связи");
    keeper.Tick(false);
    EXPECT_EQ(channel.opens.size(), 1u);
}

} // namespace
} // namespace kvel::test
