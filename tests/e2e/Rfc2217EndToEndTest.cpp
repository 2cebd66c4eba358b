// The window program through Debian's ser2net with telnet COM port control in front of kvel-sim
// on a pseudo-terminal: the line set from kvel as a local port is, so the rate change, the finder
// across rates and the firmware upload work as they do there. kvel-sim answers only when the
// pseudo-terminal's rate, which ser2net sets, is its own.
#include "BusOverviewWindow.h"
#include "CliRunner.h"
#include "DiagnosticsTools.h"
#include "FinderWindow.h"
#include "MessageCapture.h"
#include "NetworkLine.h"
#include "NewestWindow.h"
#include "Readings.h"
#include "RegisterMap.h"
#include "RoutingChannel.h"
#include "ScratchDir.h"
#include "Ser2net.h"
#include "SimulatedUnit.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit4.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

using test::SimulatedUnit;

constexpr int kFirstReadingsMs = 8000;
// Room for one link loss (50 ticks) before the readings, as on a serial port, where the echo of
// the rate write is not taken.
constexpr int kAfterSwitchMs = 15000;
constexpr const char* kFlashOut = "flash.bin";
constexpr int kBaudIndex19200 = 5;
constexpr int kBaudIndex38400 = 6;
constexpr int kBaudIndex115200 = 9;

class Rfc2217EndToEndTest : public ::testing::Test {
protected:
    // The program keeps COM1 at `storedBaudIndex`, address `address`, and talks through ser2net.
    void Start(int storedBaudIndex, int address, QStringList simArguments) {
        QFile file("data.inf");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const char bytes[6] = {
            1, 0, static_cast<char>(storedBaudIndex), 0, static_cast<char>(address), 0};
        file.write(bytes, 6);
        file.close();
        unit = std::make_unique<SimulatedUnit>(simArguments);
        ASSERT_TRUE(unit->Started());
        server =
            std::make_unique<test::Ser2net>(QFileInfo(SimulatedUnit::kLink).absoluteFilePath());
        ASSERT_TRUE(server->Started());
        ASSERT_TRUE(WriteNetworkChoice(kNetworkIniName, {server->PortName().toStdString(), true}));
        main = std::make_unique<TForm1>(channel);
        main->show();
        main->activateWindow();
    }

    LinkState& State() { return main->State(); }
    bool WaitForReadings(int ms) {
        return QTest::qWaitFor([this] { return test::BothBanksRead(State()); }, ms);
    }
    std::string Messages() const { return messages.texts.join('\n').toStdString(); }

    test::ScratchDir dir;
    test::MessageCapture messages;
    RoutingChannel channel;
    std::unique_ptr<SimulatedUnit> unit;
    std::unique_ptr<test::Ser2net> server;
    std::unique_ptr<TForm1> main;
};

TEST_F(Rfc2217EndToEndTest, RateChangeMovesTheUnitAndTheServerAndPollingFollows) {
    Start(3, 1, {"--address", "1", "--baud-index", "3"});
    ASSERT_TRUE(WaitForReadings(kFirstReadingsMs)) << Messages();
    EXPECT_EQ(main->PanelText(kPanelPort), QStringLiteral("RFC2217"));
    EXPECT_EQ(main->PanelText(kPanelRate), QStringLiteral("9600бод"));

    main->N2->trigger();
    TForm2* window = NewestWindow<TForm2>::Get();
    ASSERT_NE(window, nullptr);
    window->ComboBox1->setCurrentIndex(kBaudIndex38400);
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    EXPECT_EQ(main->PanelText(kPanelRate), QStringLiteral("38400бод"));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return unit->Holding()[kBaudRegister] == kBaudIndex38400; }, 3000));
    // The unit tells its new rate only when asked at it, through a server set to it.
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return State().HoldingImage[kBaudRegister] == kBaudIndex38400; }, kAfterSwitchMs))
        << Messages();
    EXPECT_TRUE(WaitForReadings(kFirstReadingsMs));
    EXPECT_TRUE(messages.texts.isEmpty()) << Messages();
}

TEST_F(Rfc2217EndToEndTest, FinderFindsTheUnitAtARateNotStored) {
    Start(3, 1, {"--address", "1", "--baud-index", QString::number(kBaudIndex19200)});
    main->ServiceItem(QStringLiteral("Поиск устройства"))->trigger();
    FinderWindow* finder = NewestWindow<FinderWindow>::Get();
    ASSERT_NE(finder, nullptr);
    // A whole sweep at 9600 bit/s first, then the first address at 19200.
    ASSERT_TRUE(QTest::qWaitFor([finder] { return !finder->Finder().Found().empty(); }, 60000))
        << Messages();
    QTest::mouseClick(finder->StopButton, Qt::LeftButton);
    const FoundUnit& found = finder->Finder().Found().front();
    EXPECT_EQ(found.address, 1);
    EXPECT_EQ(found.baudIndex, kBaudIndex19200);
    EXPECT_EQ(finder->UnitList->item(0, 1)->text(), QStringLiteral("19200"));

    QTest::mouseClick(finder->ConnectButton, Qt::LeftButton);
    EXPECT_TRUE(WaitForReadings(kFirstReadingsMs)) << Messages();
    EXPECT_EQ(main->PanelText(kPanelRate), QStringLiteral("19200бод"));
    EXPECT_TRUE(messages.texts.isEmpty()) << Messages();
}

// The overview borrows the open connection and hands it back: the server, which may refuse a
// new connection for a moment after one closes, is never asked for another.
TEST_F(Rfc2217EndToEndTest, OverviewBorrowsTheConnectionAndGivesItBack) {
    Start(kBaudIndex38400, 1, {"--address", "1", "--baud-index", QString::number(kBaudIndex38400)});
    ASSERT_TRUE(WaitForReadings(kFirstReadingsMs)) << Messages();
    main->ServiceItem(QStringLiteral("Обзор шины"))->trigger();
    BusOverviewWindow* overview = NewestWindow<BusOverviewWindow>::Get();
    ASSERT_NE(overview, nullptr);
    QTest::mouseClick(overview->UnitsEdit, Qt::LeftButton);
    QTest::keyClick(overview->UnitsEdit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(overview->UnitsEdit, "1");
    QTest::keyClick(overview->UnitsEdit, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor(
        [overview] { return overview->Poller() && overview->Poller()->RoundsDone() >= 2; }, 5000));
    EXPECT_TRUE(overview->Poller()->Units().at(0).answered);
    overview->close();
    State().HoldingImage.fill(0);
    EXPECT_TRUE(WaitForReadings(kFirstReadingsMs)) << Messages();
    EXPECT_EQ(main->Room<DiagnosticsTools>()->Traffic().Counters().ConnectionFailures(
                  OpenFailureReason::ConnectionDropped),
              0u);
    EXPECT_TRUE(messages.texts.isEmpty()) << Messages();
}

// Every byte of the image is the telnet's IAC: each block crosses the connection doubled.
TEST_F(Rfc2217EndToEndTest, ImageOfIacBytesArrivesExact) {
    Start(kBaudIndex115200, 1,
          {"--address", "1", "--baud-index", QString::number(kBaudIndex115200), "--flash-out",
           kFlashOut, "--ready-delay", "300"});
    ASSERT_TRUE(WaitForReadings(kFirstReadingsMs)) << Messages();
    const QByteArray image(2 * 2048 + 100, '\xFF');
    QFile file("firmware.bin");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(image);
    file.close();
    FirmwareTransfer transfer;
    TForm4 window(transfer, State(), channel, [this](int t1, int t2) {
        main->Timer1->SetInterval(t1);
        main->Timer2->SetInterval(t2);
    });
    const QString path = QFileInfo(file).absoluteFilePath();
    window.ChooseFileName = [path] { return path; };
    window.Button1Click();
    window.Button2Click();
    // Ticks of 1005 ms for the ready wait, every block and the closing frame, with room.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window.Label2->text() == QStringLiteral("Программирование завершено"); },
        (3 + 6) * 1005 + 5000))
        << window.Label2->text().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([] { return QFile::exists(kFlashOut); }, 2000));
    QFile flash(kFlashOut);
    ASSERT_TRUE(flash.open(QIODevice::ReadOnly));
    EXPECT_EQ(flash.readAll(), image);
    EXPECT_TRUE(messages.texts.isEmpty()) << Messages();
}

// kvel-cli sweeps the server's rate as it would a local port's, and names a server that will not
// let its port be set rather than waiting out a silent line.
TEST(Rfc2217CliEndToEndTest, FindSweepsTheServersRateAndAPlainTelnetServerIsNamed) {
    test::ScratchDir dir;
    SimulatedUnit unit({"--address", "2", "--baud-index", QString::number(kBaudIndex38400)});
    ASSERT_TRUE(unit.Started());
    const QString device = QFileInfo(SimulatedUnit::kLink).absoluteFilePath();
    {
        test::Ser2net server(device);
        ASSERT_TRUE(server.Started());
        const test::CliRun found =
            test::RunCli({"--port", server.PortName(), "find", "--addresses", "1-3"});
        EXPECT_EQ(found.exitCode, 0) << found.err.toStdString();
        EXPECT_EQ(found.out.trimmed(), "address 2 at 38400 bit/s, firmware version 112")
            << found.out.toStdString();
    }
    test::Ser2net plain(device, "telnet");
    ASSERT_TRUE(plain.Started());
    const test::CliRun refused =
        test::RunCli({"--port", plain.PortName(), "--address", "2", "--baud", "38400", "status"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains("the server refused to let its serial port be set (RFC 2217)"))
        << refused.err.toStdString();
}

} // namespace
} // namespace kvel
