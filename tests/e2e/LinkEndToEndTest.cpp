// The real main window, link and serial channel against kvel-sim over a pseudo-terminal.
#include "WindowProgramFixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

using test::SimulatedUnit;

// 50 scheduler ticks of silence, with room for a loaded machine.
constexpr int kLinkLossMs = 12000;

class LinkEndToEndTest : public ::testing::Test, protected test::WindowProgramFixture<> {
protected:
    void Start(QStringList simArguments = {}, int baudIndex = 3) {
        ASSERT_NO_FATAL_FAILURE(StartUnitAndForm(
            baudIndex, simArguments << "--baud-index" << QString::number(baudIndex)));
        ASSERT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
    }

    bool WaitForLinkLoss() { return WindowProgramFixture::WaitForLinkLoss(kLinkLossMs); }
};

TEST_F(LinkEndToEndTest, PollCycleStoresWhatTheUnitHolds) {
    Start();
    ASSERT_TRUE(WaitForReadings());
    const auto holding = unit->Holding();
    for (int reg : {4, 5, 6, 7, 8, 9, 16, 17, 19, 25})
        EXPECT_EQ(State().HoldingImage[reg], holding.at(reg)) << "register " << reg;
    EXPECT_TRUE(State().InputImage[0] & 1) << "working bit";
    EXPECT_TRUE(QTest::qWaitFor([this] { return form->PanelText(0) == "ПРИЕМ ДАННЫХ"; }, 2000));
    EXPECT_EQ(form->PanelText(3), QStringLiteral("Адрес1"));
}

TEST_F(LinkEndToEndTest, LabelsShowTheUnitsValues) {
    Start();
    ASSERT_TRUE(WaitForReadings());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->Display().Edit2->text().isEmpty(); }, 2000));
    const auto holding = unit->Holding();
    const QString setpoint = QString::number(holding.at(16) / 10.0, 'g', 6).replace('.', ',');
    EXPECT_EQ(form->Display().Edit2->text(), setpoint);
    EXPECT_TRUE(form->Display().Label1->text().startsWith(QStringLiteral("U вых ")));
    EXPECT_TRUE(form->Display().Label1->text().endsWith(QStringLiteral(" В")));
    EXPECT_TRUE(form->Display().Label4->text().endsWith(QStringLiteral(" °С")));
}

TEST_F(LinkEndToEndTest, TypedSetpointReachesTheUnitAndComesBack) {
    Start();
    ASSERT_TRUE(WaitForReadings());
    QLineEdit* edit = form->Display().Edit2;
    edit->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    edit->clear();
    QTest::keyClicks(edit, "48,5");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([this] { return unit->Holding()[16] == 485; }, kFirstReadingsMs));
    edit->setText("garbage-to-be-replaced");
    EXPECT_TRUE(QTest::qWaitFor([edit] { return edit->text() == "48,5"; }, kFirstReadingsMs));
}

TEST_F(LinkEndToEndTest, SilenceIsReportedAndReadingsReturn) {
    Start();
    ASSERT_TRUE(WaitForReadings());
    unit->ToggleSilence();
    ASSERT_TRUE(WaitForLinkLoss());
    EXPECT_EQ(State().HoldingImage[16], 0);
    EXPECT_EQ(form->Display().Label1->text(), QStringLiteral("U вых"));
    unit->ToggleSilence();
    EXPECT_TRUE(WaitForReadings(kLinkLossMs));
}

TEST_F(LinkEndToEndTest, PollingGoesOnAtTheNewAddress) {
    Start();
    ASSERT_TRUE(WaitForReadings());
    form->Link().EnqueueRequest(6, 14, 7);
    ASSERT_TRUE(QTest::qWaitFor([this] { return State().DeviceAddress == 7; }, kFirstReadingsMs));
    // The echo comes from the old address and is not taken: the wait for it times out first.
    EXPECT_TRUE(WaitForReadings(kLinkLossMs));
    EXPECT_EQ(unit->Holding()[14], 7);
    EXPECT_EQ(form->PanelText(3), QStringLiteral("Адрес7"));
}

TEST_F(LinkEndToEndTest, PollingGoesOnAtTheNewRate) {
    Start();
    ASSERT_TRUE(WaitForReadings());
    // What the connection window does: store the index, then tell the unit.
    State().Settings.baudIndexWord = 9;
    form->Link().EnqueueRequest(6, 15, 9);
    ASSERT_TRUE(QTest::qWaitFor([this] { return unit->Holding()[15] == 9; }, kFirstReadingsMs));
    // The echo at the old rate is lost with the old port: one link loss, then the new rate.
    ASSERT_TRUE(WaitForLinkLoss());
    EXPECT_TRUE(WaitForReadings(kLinkLossMs));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(LinkEndToEndTest, CorruptedAndDroppedRepliesAreSurvived) {
    Start({"--corrupt", "0.3", "--drop", "0.2", "--seed", "7"});
    EXPECT_TRUE(WaitForReadings(3 * kLinkLossMs));
    const auto holding = unit->Holding();
    EXPECT_EQ(State().HoldingImage[5], holding.at(5));
}

TEST_F(LinkEndToEndTest, SplitAndDelayedRepliesAreRecognised) {
    Start({"--split", "60", "--delay", "150"});
    EXPECT_TRUE(WaitForReadings(2 * kFirstReadingsMs));
}

TEST_F(LinkEndToEndTest, VanishedUnitIsReportedAndAReopenWorksAgain) {
    Start();
    ASSERT_TRUE(WaitForReadings());
    unit->Vanish();
    ASSERT_TRUE(WaitForLinkLoss());
    EXPECT_TRUE(QTest::qWaitFor([this] { return !channel.IsOpen(); }, 2000));

    unit = std::make_unique<SimulatedUnit>();
    ASSERT_TRUE(unit->Started());
    ASSERT_EQ(form->Link().OpenStoredPort(), kOpenOk);
    form->Link().StartLinkTimers();
    EXPECT_TRUE(WaitForReadings(kLinkLossMs));
}

} // namespace
} // namespace kvel
