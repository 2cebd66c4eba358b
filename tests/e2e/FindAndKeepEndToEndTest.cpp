// Finding the unit and keeping the line against kvel-sim: polling comes back by itself after the
// line is pulled and plugged in again, and the unit finder finds units on a shared line.
#include "FinderWindow.h"
#include "NewestWindow.h"
#include "OpenDevices.h"
#include "WindowProgramFixture.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>

namespace kvel {
namespace {

using test::SimulatedUnit;

class FindAndKeepEndToEndTest : public ::testing::Test, protected test::WindowProgramFixture<> {
protected:
    // COM1 at the baud index given, address 1.
    void Start(QStringList simArguments, int baudIndex) {
        StartUnitAndForm(baudIndex, std::move(simArguments));
    }
};

TEST_F(FindAndKeepEndToEndTest, PollingResumesWithin3sOnceThePulledLineIsBack) {
    Start({"--address", "1", "--baud-index", "3", "--gone", "1500"}, 3);
    ASSERT_TRUE(WaitForReadings(kFirstReadingsMs));
    unit->PullAndReplug();
    ASSERT_TRUE(QTest::qWaitFor([] { return !QFileInfo::exists(SimulatedUnit::kLink); }, 3000));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return form->PanelText(0) == QStringLiteral("Нет связи"); }, 3000));
    EXPECT_EQ(State().InputImage[0], 0) << "readings blanked at the loss";
    // The new pseudo-terminal may well get the old one's number.
    ASSERT_TRUE(QTest::qWaitFor([] { return QFileInfo::exists(SimulatedUnit::kLink); }, 5000));
    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(WaitForReadings(3000)) << "no readings 3 s after the line came back";
    EXPECT_LT(back.elapsed(), 3000);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
    EXPECT_TRUE(form->Timer1->IsRunning());
}

// While the adapter's link is gone, COM1 would lead to /dev/ttyS0 (which root may open): kvel
// must hold no terminal at all until the link is back, and then only the one it leads to.
TEST_F(FindAndKeepEndToEndTest, AReplugBringsBackTheSameLinkAndNoOtherDevice) {
    Start({"--address", "1", "--baud-index", "3", "--gone", "2500"}, 3);
    ASSERT_TRUE(WaitForReadings(kFirstReadingsMs));
    const QString pulled = QFileInfo(SimulatedUnit::kLink).canonicalFilePath();
    ASSERT_EQ(test::OpenTerminals(::getpid()), QStringList{pulled});
    unit->PullAndReplug();
    ASSERT_TRUE(QTest::qWaitFor([] { return !QFileInfo::exists(SimulatedUnit::kLink); }, 3000));
    // As a udev rule or a socat bridge does: the link goes with its device.
    ASSERT_TRUE(QFile::remove(SimulatedUnit::kLink));
    // The pulled terminal may still be held ("(deleted)") until kvel sees it gone.
    QStringList others;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const QString& held : test::OpenTerminals(::getpid()))
                if (!held.startsWith(pulled)) others << held;
            return QFileInfo(SimulatedUnit::kLink).isSymLink();
        },
        6000));
    EXPECT_TRUE(others.isEmpty()) << others.join(' ').toStdString();
    EXPECT_EQ(form->PanelText(0), QStringLiteral("Нет связи"));

    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(WaitForReadings(3000)) << "no readings 3 s after the link came back";
    EXPECT_LT(back.elapsed(), 3000);
    EXPECT_EQ(test::OpenTerminals(::getpid()),
              QStringList{QFileInfo(SimulatedUnit::kLink).canonicalFilePath()});
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

TEST_F(FindAndKeepEndToEndTest, FinderFindsTwoUnitsAt38400AndConnectsToOne) {
    Start({"--address", "3,7", "--baud-index", "6"}, 6);
    form->ServiceItem(QStringLiteral("Поиск устройства"))->trigger();
    FinderWindow* finder = NewestWindow<FinderWindow>::Get();
    ASSERT_NE(finder, nullptr);
    EXPECT_FALSE(form->Timer1->IsRunning());
    ASSERT_TRUE(QTest::qWaitFor([finder] { return finder->Finder().Address() > 8; }, 5000));
    QTest::mouseClick(finder->StopButton, Qt::LeftButton);

    const auto& found = finder->Finder().Found();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].address, 3);
    EXPECT_EQ(found[1].address, 7);
    for (const FoundUnit& each : found) {
        EXPECT_EQ(each.baudIndex, 6);
        EXPECT_TRUE(each.firmwareVersion.has_value());
    }
    EXPECT_EQ(finder->UnitList->item(1, 1)->text(), QStringLiteral("38400"));

    const QRect secondRow = finder->UnitList->visualItemRect(finder->UnitList->item(1, 0));
    QTest::mouseClick(finder->UnitList->viewport(), Qt::LeftButton, {}, secondRow.center());
    QTest::mouseClick(finder->ConnectButton, Qt::LeftButton);
    EXPECT_EQ(State().DeviceAddress, 7);
    ASSERT_TRUE(WaitForReadings(kFirstReadingsMs));
    // Holding register 14 is the unit's own address.
    EXPECT_EQ(State().HoldingImage[14], 7);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

TEST_F(FindAndKeepEndToEndTest, StoppedScanLeavesPollingAsItWas) {
    Start({"--address", "1", "--baud-index", "5"}, 5);
    ASSERT_TRUE(WaitForReadings(kFirstReadingsMs));
    form->ServiceItem(QStringLiteral("Поиск устройства"))->trigger();
    FinderWindow* finder = NewestWindow<FinderWindow>::Get();
    ASSERT_NE(finder, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([finder] { return finder->Finder().Address() > 5; }, 5000));
    QTest::mouseClick(finder->StopButton, Qt::LeftButton);
    ASSERT_EQ(finder->Finder().Found().size(), 1u);
    EXPECT_EQ(finder->Finder().Found()[0].address, 1);

    EXPECT_EQ(form->Timer1->Interval(), 500);
    EXPECT_EQ(form->Timer2->Interval(), 100);
    EXPECT_EQ(form->Timer3->Interval(), 100);
    State().InputImage.fill(0);
    State().HoldingImage.fill(0);
    EXPECT_TRUE(WaitForReadings(3000)) << "polling did not come back";
    EXPECT_EQ(State().DeviceAddress, 1);
    EXPECT_EQ(form->PanelText(2), QStringLiteral("19200бод"));
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

} // namespace
} // namespace kvel
