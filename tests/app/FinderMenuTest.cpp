// The main window's side of the unit finder and of the reopen after a replug: the menu item,
// polling paused and restored, connecting to a found unit, and the once-a-second reopen; the line
// the overview names.
#include "BusOverviewWindow.h"
#include "DiagnosticsTools.h"
#include "FinderWindow.h"
#include "MessageCapture.h"
#include "MonitorWindow.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "SimulatedLine.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

class FinderMenuTest : public ::testing::Test {
protected:
    // data.inf: address 1, 9600 bit/s, COM1.
    FinderMenuTest() {
        QFile file("data.inf");
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray("\x01\x00\x03\x00\x01\x00", 6));
        file.close();
        main = std::make_unique<TForm1>(line);
        main->show();
    }

    FinderWindow* OpenFinder() {
        main->ServiceItem(QStringLiteral("Поиск устройства"))->trigger();
        return NewestWindow<FinderWindow>::Get();
    }

    void ExpectTimers(int t1, int t2, int t3) {
        EXPECT_EQ(main->Timer1->Interval(), t1);
        EXPECT_EQ(main->Timer2->Interval(), t2);
        EXPECT_EQ(main->Timer3->Interval(), t3);
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    test::SimulatedLine line;
    std::unique_ptr<TForm1> main;
};

TEST_F(FinderMenuTest, FinderIsInTheServiceMenuBesideMenu) {
    const QList<QAction*> menus = main->menuBar()->actions();
    ASSERT_GE(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("Меню"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("Сервис"));
    QAction* finder = main->ServiceItem(QStringLiteral("Поиск устройства"));
    ASSERT_NE(finder, nullptr);
    EXPECT_TRUE(menus[1]->menu()->actions().contains(finder));
}

TEST_F(FinderMenuTest, ScanPausesPollingAndStopRestoresItOnTheStoredPort) {
    main->State().ReplyAwaited = true;
    FinderWindow* finder = OpenFinder();
    ASSERT_NE(finder, nullptr);
    ExpectTimers(0, 0, 0);
    EXPECT_EQ(line.opens.back().name, R"(\\.\COM1)");
    EXPECT_EQ(line.opens.back().bitRate, 9600);
    QTest::qWait(100);

    QTest::mouseClick(finder->StopButton, Qt::LeftButton);
    ExpectTimers(500, 100, 100);
    EXPECT_EQ(line.opens.back().name, R"(\\.\COM1)");
    EXPECT_EQ(line.opens.back().bitRate, 9600);
    EXPECT_TRUE(line.isOpen);
    EXPECT_FALSE(main->State().ReplyAwaited) << "its answer went to the finder";
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(FinderMenuTest, ASecondChoiceWhileScanningBringsTheSameFinderForward) {
    FinderWindow* first = OpenFinder();
    FinderWindow* second = OpenFinder();
    EXPECT_EQ(first, second);
    EXPECT_EQ(main->findChildren<FinderWindow*>().size(), 1);
    first->close();
    ExpectTimers(500, 100, 100);
}

TEST_F(FinderMenuTest, WithoutPollingBeforeTheScanThePortIsLeftClosed) {
    main->Link().StopLinkTimers();
    FinderWindow* finder = OpenFinder();
    finder->close();
    ExpectTimers(0, 0, 0);
    EXPECT_FALSE(line.isOpen);
}

TEST_F(FinderMenuTest, ConnectingToAFoundUnitTakesItsRateAndAddressAndKeepsThemAtExit) {
    main->State().ReplyAwaited = true;
    main->ConnectTo(FoundUnit{7, 9, 42});
    EXPECT_EQ(main->State().DeviceAddress, 7);
    EXPECT_EQ(main->State().Settings.baudIndexWord, 9);
    EXPECT_EQ(main->PanelText(2), QStringLiteral("115200бод"));
    EXPECT_EQ(main->PanelText(0), QStringLiteral(" "));
    EXPECT_EQ(line.opens.back().name, R"(\\.\COM1)");
    EXPECT_EQ(line.opens.back().bitRate, 115200);
    EXPECT_FALSE(main->State().ReplyAwaited);
    ExpectTimers(500, 100, 100);

    main->close();
    QFile file("data.inf");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("\x07\x00\x09\x00\x01\x00", 6));
}

// The operator sees that polling is paused rather than stale readings, and the monitor shows
// the finder's own frames on the line.
TEST_F(FinderMenuTest, WhileScanningReadingsAreBlankAndTheMonitorShowsTheProbes) {
    line.units = {{2, {3, 0x2A}}};
    main->State().HoldingImage[3] = 480;
    // A reply has just come in, and its indication is due to be blanked.
    main->Timer5->SetInterval(800);
    MonitorWindow* monitor = main->Room<DiagnosticsTools>()->OpenMonitor();
    FinderWindow* finder = OpenFinder();
    EXPECT_EQ(main->PanelText(0), QStringLiteral("Поиск устройства…"));
    EXPECT_EQ(main->State().HoldingImage[3], 0);
    ASSERT_TRUE(QTest::qWaitFor([finder] { return finder->Finder().Address() > 2; }, 3000));
    QTest::qWait(800);
    EXPECT_EQ(main->PanelText(0), QStringLiteral("Поиск устройства…"));

    monitor->Refresh();
    QStringList frames;
    for (int row = 0; row < monitor->ShownRows(); ++row)
        frames << monitor->ShownText(row, 3) + " | " + monitor->ShownText(row, 4);
    EXPECT_TRUE(frames.contains("02 03 00 0E 00 01 E5 FA | Чтение регистров хранения 14–14"))
        << frames.join('\n').toStdString();
    EXPECT_TRUE(frames.contains("02 03 02 00 02 7D 85 | Ответ: 1 регистр"))
        << frames.join('\n').toStdString();

    QTest::mouseClick(finder->StopButton, Qt::LeftButton);
    EXPECT_NE(main->PanelText(0), QStringLiteral("Поиск устройства…"));
}

TEST_F(FinderMenuTest, AnOpenConnectionWindowShowsTheFoundUnitsRateAndAddressAtOnce) {
    main->N2->trigger();
    TForm2* connection = NewestWindow<TForm2>::Get();
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [connection] { return connection->ComboBox1->currentText() == QStringLiteral("9600"); },
        1000))
        << "the window shows the settings in use once it is active";
    main->ConnectTo(FoundUnit{7, 9, 42});
    EXPECT_EQ(connection->ComboBox1->currentText(), QStringLiteral("115200"));
    EXPECT_EQ(connection->Edit2->text(), QStringLiteral("7"));
}

TEST_F(FinderMenuTest, VanishedPortIsReopenedWithinTwoSecondsAndNoMessage) {
    ASSERT_EQ(line.opens.size(), 1u);
    line.isOpen = false;
    line.vanished = true;
    ASSERT_TRUE(QTest::qWaitFor([this] { return line.opens.size() == 2; }, 3000));
    EXPECT_EQ(line.opens.back().bitRate, 9600);
    EXPECT_TRUE(line.isOpen);
    EXPECT_TRUE(messages.texts.isEmpty());
    ExpectTimers(500, 100, 100);
}

TEST_F(FinderMenuTest, VanishedPortIsLeftToARunningFinder) {
    FinderWindow* finder = OpenFinder();
    const std::size_t opens = line.opens.size();
    line.vanished = true;
    QTest::qWait(1300);
    EXPECT_EQ(line.opens.size(), opens) << "only the finder's own opens";
    EXPECT_EQ(main->PanelText(0), QStringLiteral("Нет связи"));
    finder->close();
}

// A network line has no bit rate of its own: the server's serial port has it.
TEST_F(FinderMenuTest, TheOverviewNamesTheLineAndItsRateOrSaysNetwork) {
    const struct {
        std::string networkPort;
        QString shown;
    } lines[] = {
        {"", QStringLiteral("COM1, 9600 бод")},
        {"tcp://127.0.0.1:4001", QStringLiteral("tcp://127.0.0.1:4001, сеть")},
        {"modbus-tcp://127.0.0.1:5020", QStringLiteral("modbus-tcp://127.0.0.1:5020, сеть")}};
    for (const auto& line : lines) {
        main->State().NetworkPort = line.networkPort;
        main->ServiceItem(QStringLiteral("Обзор шины"))->trigger();
        BusOverviewWindow* overview = NewestWindow<BusOverviewWindow>::Get();
        ASSERT_NE(overview, nullptr);
        EXPECT_EQ(overview->LineText->text(), line.shown);
        EXPECT_EQ(main->PanelText(0), QStringLiteral("Обзор шины…"));
        overview->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace
} // namespace kvel
