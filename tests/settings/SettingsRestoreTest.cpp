// Restoring settings: one function-6 write per register through the request queue, then a
// read-back that is taken only once it answers a read sent after every write.
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

TEST_F(SettingsRestoreTest, NamesTheRegistersTheUnitDidNotTakeWithWhatItHolds) {
    restore.Start(Writes());
    for (int i = 0; i < 3; ++i) {
        Tick();
        if (i < 2) Echo(channel.writes.back());
    }
    std::vector<std::uint16_t> after(h::Count, 0);
    after[h::MaxTemperature] = 80;
    after[h::VoltageSetpoint] = 600;
    ReplyHolding(after);
    ASSERT_EQ(restore.NotTaken().size(), 1u);
    EXPECT_STREQ(restore.NotTaken()[0].info->name, "voltage-setpoint");
    EXPECT_EQ(restore.NotTaken()[0].fileWord, 485);
    EXPECT_EQ(restore.NotTaken()[0].unitWord, 600);
    EXPECT_FALSE(restore.Running());
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
