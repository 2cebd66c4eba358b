// The connection parameters window's "Сменить" and rate "OK" against kvel-sim: the unit takes
// the new address or rate, and polling carries on there.
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "Readings.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"
#include "SystemSerialChannel.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

using test::SimulatedUnit;

constexpr int kFirstReadingsMs = 4000;
// The echo of the write is not taken, so one link loss (50 ticks) comes before the readings.
constexpr int kAfterSwitchMs = 12000;

class ConnectionWindowEndToEndTest : public ::testing::Test {
protected:
    // COM1 at 9600 bit/s, address 1.
    void SetUp() override {
        QFile file("data.inf");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\x01\x00\x03\x00\x01\x00", 6));
        file.close();
        unit = std::make_unique<SimulatedUnit>(QStringList{"--address", "1", "--baud-index", "3"});
        ASSERT_TRUE(unit->Started());
        main = std::make_unique<TForm1>(channel);
        main->show();
        main->activateWindow();
        ASSERT_TRUE(WaitForReadings(kFirstReadingsMs));
        main->N2->trigger();
        window = NewestWindow<TForm2>::Get();
        ASSERT_NE(window, nullptr);
    }

    LinkState& State() { return main->State(); }

    bool WaitForReadings(int ms) {
        return QTest::qWaitFor([this] { return test::BothBanksRead(State()); }, ms);
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    SystemSerialChannel channel;
    std::unique_ptr<SimulatedUnit> unit;
    std::unique_ptr<TForm1> main;
    TForm2* window = nullptr;
};

TEST_F(ConnectionWindowEndToEndTest, NewAddressIsTakenByTheUnitAndPollingFollowsIt) {
    window->Edit3->setText("23");
    QTest::mouseClick(window->Button4, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return State().DeviceAddress == 23; }, 3000));
    EXPECT_TRUE(WaitForReadings(kAfterSwitchMs));
    EXPECT_EQ(unit->Holding()[14], 23);
    EXPECT_EQ(main->PanelText(3), QStringLiteral("Адрес23"));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(ConnectionWindowEndToEndTest, NewRateIsTakenByTheUnitAndPollingFollowsIt) {
    window->ComboBox1->setCurrentIndex(9);
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    EXPECT_EQ(main->PanelText(2), QStringLiteral("115200бод"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return unit->Holding()[15] == 9; }, 3000));
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return main->PanelText(0) == "Нет связи"; }, kAfterSwitchMs));
    EXPECT_TRUE(WaitForReadings(kAfterSwitchMs));
    EXPECT_TRUE(messages.texts.isEmpty());
}

} // namespace
} // namespace kvel
