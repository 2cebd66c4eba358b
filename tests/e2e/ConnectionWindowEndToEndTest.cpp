// The connection parameters window's "Сменить" and rate "OK" against kvel-sim: the unit takes
// the new address or rate, and polling carries on there.
#include "NewestWindow.h"
#include "Unit2.h"
#include "WindowProgramFixture.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

constexpr int kFirstReadingsMs = 4000;
// The echo of the write is not taken, so one link loss (50 ticks) comes before the readings.
constexpr int kAfterSwitchMs = 12000;

class ConnectionWindowEndToEndTest : public ::testing::Test,
                                     protected test::WindowProgramFixture<> {
protected:
    // COM1 at 9600 bit/s, address 1.
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartUnitAndForm(3, {"--address", "1", "--baud-index", "3"}));
        ASSERT_TRUE(WaitForReadings(kFirstReadingsMs));
        form->N2->trigger();
        window = NewestWindow<TForm2>::Get();
        ASSERT_NE(window, nullptr);
    }

    TForm2* window = nullptr;
};

TEST_F(ConnectionWindowEndToEndTest, NewAddressIsTakenByTheUnitAndPollingFollowsIt) {
    window->Edit3->setText("23");
    QTest::mouseClick(window->Button4, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return State().DeviceAddress == 23; }, 3000));
    EXPECT_TRUE(WaitForReadings(kAfterSwitchMs));
    EXPECT_EQ(unit->Holding()[14], 23);
    EXPECT_EQ(form->PanelText(3), QStringLiteral("Адрес23"));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(ConnectionWindowEndToEndTest, NewRateIsTakenByTheUnitAndPollingFollowsIt) {
    window->ComboBox1->setCurrentIndex(9);
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    EXPECT_EQ(form->PanelText(2), QStringLiteral("115200бод"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return unit->Holding()[15] == 9; }, 3000));
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return form->PanelText(0) == "Нет связи"; }, kAfterSwitchMs));
    EXPECT_TRUE(WaitForReadings(kAfterSwitchMs));
    EXPECT_TRUE(messages.texts.isEmpty());
}

} // namespace
} // namespace kvel
