// Restoring settings: one function-6 write per register through the request queue, then a
// read-back that is taken only once it answers a read sent after every write; what it does not
// show is written again, and what is never read back is unknown.
#include "SettingsRestore.h"
#include "LinkFixture.h"
#include "RegisterMap.h"

namespace kvel {
namespace {

namespace h = reg::holding;

class SettingsRestoreTest : public test::LinkTest {
protected:
    SettingsRestoreTest() : restore(link) {
        host.onFillingOut3 = [this] { checkedAtReply.push_back(restore.OnHoldingReply()); };
    }

    std::vector<Difference> Writes() {
        return {{unit::ByName("max-temperature"), 80, 75},
                {unit::ByName("voltage-setpoint"), 485, 545}};
    }

    // The unit answers a write by echoing it.
    void Echo(const std::vector<std::uint8_t>& request) {
        Receive(test::WithCrc(std::vector<std::uint8_t>(request.begin(), request.end() - 2)));
    }

    void ReplyHolding(std::vector<std::uint16_t> words) {
        words.resize(h::Count);
        Receive(test::ReadReply(1, 3, words));
    }

    // Sends every queued request, echoing the writes; the last one sent is the read-back.
    void WorkOffTheQueue() {
        while (state.QueueCount != 0) {
            const std::vector<std::uint8_t> sent = Tick();
            if (sent[1] == 6) Echo(sent);
        }
    }

    std::vector<WriteOutcome> Outcomes() const {
        std::vector<WriteOutcome> outcomes;
        for (const RegisterOutcome& o : restore.Outcomes())
            outcomes.push_back(o.outcome);
        return outcomes;
    }

    SettingsRestore restore;
    std::vector<bool> checkedAtReply;
};

TEST_F(SettingsRestoreTest, QueuesOneWritePerRegisterThenAReadOfTheHoldingRegisters) {
    restore.Start(Writes());
    EXPECT_EQ(test::ToHex(Tick()), test::ToHex(test::WithCrc("01 06 00 04 00 50")));
    Echo(channel.writes.back());
    EXPECT_EQ(test::ToHex(Tick()), test::ToHex(test::WithCrc("01 06 00 10 01 E5")));
    Echo(channel.writes.back());
    EXPECT_EQ(test::ToHex(Tick()), test::ToHex(test::WithCrc("01 03 00 00 00 1B")));
    EXPECT_EQ(state.QueueCount, 0);
}

TEST_F(SettingsRestoreTest, AReplyToAReadSentBeforeTheWritesIsNotTakenAsTheCheck) {
    link.EnqueueRequest(3, 0, h::Count);
    Tick();
    restore.Start(Writes());
    std::vector<std::uint16_t> before(h::Count, 0);
    before[h::MaxTemperature] = 75;
    ReplyHolding(before);
    EXPECT_EQ(checkedAtReply, std::vector<bool>{false});
    EXPECT_FALSE(restore.Checked());

    for (int i = 0; i < 2; ++i) {
        Tick();
        Echo(channel.writes.back());
    }
    Tick();
    std::vector<std::uint16_t> after(h::Count, 0);
    after[h::MaxTemperature] = 80;
    after[h::VoltageSetpoint] = 485;
    ReplyHolding(after);
    EXPECT_EQ(checkedAtReply, (std::vector<bool>{false, true}));
    EXPECT_TRUE(restore.Checked());
    EXPECT_TRUE(restore.NotTaken().empty());
}

TEST_F(SettingsRestoreTest, NamesTheRegistersTheUnitDidNotTakeWithWhatItHoldsAfterItsLastTry) {
    restore.Start(Writes());
    std::vector<std::uint16_t> after(h::Count, 0);
    after[h::MaxTemperature] = 80;
    after[h::VoltageSetpoint] = 600;
    for (int round = 1; round <= SettingsRestore::kTries; ++round) {
        ASSERT_TRUE(restore.Running());
        WorkOffTheQueue();
        ReplyHolding(after);
    }
    ASSERT_EQ(restore.NotTaken().size(), 1u);
    EXPECT_STREQ(restore.NotTaken()[0].info->name, "voltage-setpoint");
    EXPECT_EQ(restore.NotTaken()[0].fileWord, 485);
    EXPECT_EQ(restore.NotTaken()[0].unitWord, 600);
    EXPECT_EQ(Outcomes(),
              (std::vector<WriteOutcome>{WriteOutcome::Written, WriteOutcome::NotWritten}));
    EXPECT_FALSE(restore.Running());
    EXPECT_TRUE(restore.Checked());
}

TEST_F(SettingsRestoreTest, WritesAgainOnlyWhatTheReadBackDoesNotShow) {
    restore.Start(Writes());
    WorkOffTheQueue();
    std::vector<std::uint16_t> after(h::Count, 0);
    after[h::MaxTemperature] = 80; // the setpoint's write was lost on the way
    after[h::VoltageSetpoint] = 545;
    ReplyHolding(after);
    ASSERT_TRUE(restore.Running());
    EXPECT_EQ(test::ToHex(Tick()), test::ToHex(test::WithCrc("01 06 00 10 01 E5")));
    Echo(channel.writes.back());
    EXPECT_EQ(test::ToHex(Tick()), test::ToHex(test::WithCrc("01 03 00 00 00 1B")));
    after[h::VoltageSetpoint] = 485;
    ReplyHolding(after);
    EXPECT_FALSE(restore.Running());
    EXPECT_EQ(restore.Tries(), 2);
    EXPECT_EQ(Outcomes(),
              (std::vector<WriteOutcome>{WriteOutcome::Written, WriteOutcome::Written}));
}

TEST_F(SettingsRestoreTest, AfterALinkLossThePollsReadBackAndWhatIsNeverReadBackIsUnknown) {
    restore.Start(Writes());
    Tick();                   // the first write's reply is lost
    Ticks(kLinkTimeoutTicks); // the link is given up
    Tick();                   // the second write
    Echo(channel.writes.back());
    Tick(); // the read-back, lost too
    Ticks(kLinkTimeoutTicks);
    link.Timer1Timer(); // the polls go on and the unit answers again
    link.Timer1Timer();
    Tick();
    Receive(test::ReadReply(1, 4, std::vector<std::uint16_t>(kPolledInputCount, 0)));
    Tick();
    std::vector<std::uint16_t> after(h::Count, 0);
    after[h::MaxTemperature] = 80;
    after[h::VoltageSetpoint] = 545;
    ReplyHolding(after);
    ASSERT_TRUE(restore.Running()) << "the setpoint is written again";
    EXPECT_EQ(test::ToHex(Tick()), test::ToHex(test::WithCrc("01 06 00 10 01 E5")));
    restore.Abandon(); // the unit falls silent for good
    EXPECT_EQ(Outcomes(),
              (std::vector<WriteOutcome>{WriteOutcome::Written, WriteOutcome::Unknown}));
    EXPECT_FALSE(restore.Checked());
    EXPECT_TRUE(restore.NotTaken().empty()) << "an unknown write is not reported as refused";
}

TEST(RoundBudgetTest, EveryRequestOfARoundMayWaitOutTheLinkLoss) {
    const int linkLossMs = kLinkTimeoutTicks * kSendIntervalMs;
    EXPECT_GE(RoundBudgetMs(1), 2 * linkLossMs);
    EXPECT_GE(RoundBudgetMs(20), 21 * linkLossMs);
}

} // namespace
} // namespace kvel

namespace kvel {
namespace {

TEST(RefusalOfWritesTest, JudgesSetpointsByTheLimitsTheUnitWillHaveOnceEveryWriteIsIn) {
    RegisterImage holding{};
    holding[reg::holding::CalibVoltageMin] = 100;
    holding[reg::holding::CalibVoltageMax] = 600;
    const Difference higherSetpoint{unit::ByName("voltage-setpoint"), 620, 545};
    const Difference higherLimit{unit::ByName("voltage-max"), 650, 600};
    EXPECT_NE(RefusalOfWrites({higherSetpoint}, holding), "");
    EXPECT_EQ(RefusalOfWrites({higherSetpoint, higherLimit}, holding), "");
    const Difference lowerLimit{unit::ByName("voltage-max"), 500, 600};
    const Difference keptSetpoint{unit::ByName("voltage-setpoint"), 545, 540};
    EXPECT_NE(RefusalOfWrites({keptSetpoint, lowerLimit}, holding).find("voltage-setpoint 54.5 V"),
              std::string::npos);
}

} // namespace
} // namespace kvel
