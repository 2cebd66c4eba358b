// The window program reaching kvel-sim over the network, as RTU over TCP and through a
// Modbus TCP gateway: chosen in "Сетевое подключение…", polled, written to, cut off and back.
#include "DiagnosticsTools.h"
#include "FinderWindow.h"
#include "NetworkLine.h"
#include "NetworkWindow.h"
#include "NewestWindow.h"
#include "RoutingChannel.h"
#include "Unit2.h"
#include "WindowProgramFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

using test::SimulatedUnit;

// 50 scheduler ticks, a reconnect and a loaded machine.
constexpr int kLinkLossMs = 12000;

struct Transport {
    const char* simOption;
    const char* panelText;
    // Keys that choose the protocol in the window's list, from its first item.
    int downKeys;
};

class NetworkEndToEndTest : public ::testing::TestWithParam<Transport>,
                            protected test::WindowProgramFixture<RoutingChannel> {
protected:
    void SetUp() override {
        // COM1 at 9600 bit/s, address 1; no COM1 is there.
        ASSERT_NO_FATAL_FAILURE(test::WriteDataInfOfCom1(3));
        unit = std::make_unique<SimulatedUnit>(GetParam().simOption, QStringList{"--gone", "1500"});
        ASSERT_TRUE(unit->Started());
    }

    // As the operator: "Сервис → Сетевое подключение…", host, port, protocol, "Подключить".
    void ConnectThroughTheWindow() {
        form->ServiceItem(QStringLiteral("Сетевое подключение…"))->trigger();
        auto* window = form->findChild<NetworkWindow*>();
        ASSERT_NE(window, nullptr);
        const QStringList hostAndPort = unit->PortName().section("://", 1).split(':');
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        TypeInto(window->HostEdit, hostAndPort[0]);
        TypeInto(window->PortEdit, hostAndPort[1]);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), window->ProtocolBox);
        for (int i = 0; i < GetParam().downKeys; ++i)
            QTest::keyClick(window->ProtocolBox, Qt::Key_Down);
        QTest::mouseClick(window->ConnectButton, Qt::LeftButton);
        QTest::mouseClick(window->CloseButton, Qt::LeftButton);
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    static void TypeInto(QLineEdit* edit, const QString& text) {
        QTest::mouseClick(edit, Qt::LeftButton);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    std::string Cause() const {
        const auto& cause = form->Room<DiagnosticsTools>()->Traffic().Counters().Cause();
        return cause ? CauseText(*cause) : std::string();
    }

    QLabel* PortPanel() const { return form->statusBar()->findChildren<QLabel*>().at(kPanelPort); }
};

TEST_P(NetworkEndToEndTest, PollsWritesLosesTheConnectionAndComesBackByItself) {
    StartForm();
    messages.texts.clear();
    ConnectThroughTheWindow();
    ASSERT_TRUE(WaitForReadings()) << messages.texts.join('\n').toStdString();
    EXPECT_EQ(form->PanelText(kPanelPort), GetParam().panelText);
    EXPECT_EQ(PortPanel()->toolTip(), unit->PortName().section("://", 1));
    const auto holding = unit->Holding();
    for (int reg : {4, 5, 16, 17})
        EXPECT_EQ(form->State().HoldingImage[reg], holding.at(reg)) << "register " << reg;

    QLineEdit* edit = form->Display().Edit2;
    edit->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    edit->clear();
    QTest::keyClicks(edit, "48,5");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([this] { return unit->Holding()[16] == 485; }, kFirstReadingsMs));

    unit->PullAndReplug();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form->PanelText(0) == "Нет связи"; }, kLinkLossMs));
    const std::string cause = Cause();
    EXPECT_TRUE(cause == "соединение разорвано" || cause == "соединение отвергнуто") << cause;
    EXPECT_EQ(form->State().HoldingImage[16], 0);
    EXPECT_TRUE(WaitForReadings(kLinkLossMs)) << "polling resumes by itself";
    EXPECT_GE(form->Room<DiagnosticsTools>()->Traffic().Counters().ConnectionFailures(
                  OpenFailureReason::ConnectionDropped),
              1u);
    // One try a second at most while the server was away.
    EXPECT_LE(form->Room<DiagnosticsTools>()->Traffic().Counters().ConnectionFailures(
                  OpenFailureReason::ConnectionRefused),
              3u);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

TEST_P(NetworkEndToEndTest, ConnectsAtStartToTheLineInUseAndGoesBackToTheComPort) {
    ASSERT_TRUE(WriteNetworkChoice(kNetworkIniName, {unit->PortName().toStdString(), true}));
    StartForm();
    ASSERT_TRUE(WaitForReadings());
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();

    // "OK" beside the COM number: back to a COM port, one that is not there.
    form->N2->trigger();
    TForm2* connection = NewestWindow<TForm2>::Get();
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(connection));
    TypeInto(connection->Edit1, "77");
    QTest::mouseClick(connection->Button1, Qt::LeftButton);
    EXPECT_EQ(form->PanelText(kPanelPort), "COM77");
    EXPECT_TRUE(PortPanel()->toolTip().isEmpty());
    ASSERT_FALSE(messages.texts.isEmpty());
    EXPECT_TRUE(messages.texts.last().startsWith("Ошибка открытия COM порта"))
        << messages.texts.last().toStdString();
    form->close();

    std::string problem;
    const NetworkChoice kept = ReadNetworkChoice(kNetworkIniName, problem);
    EXPECT_EQ(kept.port, unit->PortName().toStdString()) << problem;
    EXPECT_FALSE(kept.inUse);
}

TEST_P(NetworkEndToEndTest, RefusesWhatTheServerCannotCarry) {
    ASSERT_TRUE(WriteNetworkChoice(kNetworkIniName, {unit->PortName().toStdString(), true}));
    StartForm();
    ASSERT_TRUE(WaitForReadings());

    form->N2->trigger();
    TForm2* connection = NewestWindow<TForm2>::Get();
    ASSERT_NE(connection, nullptr);
    QTest::mouseClick(connection->Button2, Qt::LeftButton);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].contains("сервера последовательных портов"));
    EXPECT_EQ(form->State().Settings.baudIndexWord, 3);
    connection->close();

    form->ServiceItem(QStringLiteral("Поиск устройства"))->trigger();
    FinderWindow* finder = NewestWindow<FinderWindow>::Get();
    ASSERT_NE(finder, nullptr);
    EXPECT_EQ(finder->Finder().TriesTotal(), kLastFinderAddress - kFirstFinderAddress + 1)
        << "one rate: the server's";
    QTest::mouseClick(finder->StopButton, Qt::LeftButton);
    finder->close();

    // RTU over TCP carries the block frames: only the load may stand in the way there.
    messages.texts.clear();
    form->N5->trigger();
    const bool modbusTcp = unit->PortName().startsWith("modbus-tcp://");
    const QStringList refusals =
        messages.texts.filter(QRegularExpression("^Обновление ПО через шлюз Modbus TCP"));
    EXPECT_EQ(refusals.size(), modbusTcp ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Transports, NetworkEndToEndTest,
                         ::testing::Values(Transport{"--tcp", "TCP", 0},
                                           Transport{"--modbus-tcp", "MB TCP", 1}),
                         [](const auto& info) {
                             return std::string(info.param.downKeys == 0 ? "RtuOverTcp"
                                                                         : "ModbusTcp");
                         });

} // namespace
} // namespace kvel
