// The window program through kvel-gateway: it polls and writes a setpoint through Modbus TCP
// while mbpoll reads the same unit through the same gateway.
#include "GatewayPrograms.h"
#include "MessageCapture.h"
#include "NetworkLine.h"
#include "Readings.h"
#include "RoutingChannel.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"
#include "Unit1.h"

#include <QApplication>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace kvel {
namespace {

using test::Program;
using test::SimulatedUnit;

constexpr int kFirstReadingsMs = 8000;

TEST(GatewayWindowEndToEndTest, PollsAndWritesASetpointWhileMbpollReads) {
    test::ScratchDir dir;
    test::MessageCapture messages;
    SimulatedUnit unit({"--baud-index", "9"});
    ASSERT_TRUE(unit.Started());
    const quint16 port = test::FreePort();
    Program gateway(KVEL_GATEWAY_PATH,
                    {"--port", SimulatedUnit::kLink, "--baud", "115200", "--listen",
                     QString("127.0.0.1:%1").arg(port), "--timeout", "800"});
    ASSERT_TRUE(gateway.WaitForErr("serving")) << gateway.Err().toStdString();
    Program mbpoll("stdbuf", test::MbpollArguments(port, 1, 50), QProcess::MergedChannels);

    // Address 1; through "Сетевое подключение…" once, kept in network.ini: the program starts on
    // the gateway.
    QFile file("data.inf");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromHex("010003000100"));
    file.close();
    const std::string line = "modbus-tcp://127.0.0.1:" + std::to_string(port);
    ASSERT_TRUE(WriteNetworkChoice(kNetworkIniName, {line, true}));
    RoutingChannel channel;
    TForm1 form(channel);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return test::BothBanksRead(form.State()); }, kFirstReadingsMs))
        << messages.texts.join('\n').toStdString() << gateway.Err().toStdString();
    const auto holding = unit.Holding();
    for (int reg : {4, 5, 16, 17})
        EXPECT_EQ(form.State().HoldingImage[reg], holding.at(reg)) << "register " << reg;

    QLineEdit* edit = form.Display().Edit2;
    QTest::mouseClick(edit, Qt::LeftButton);
    edit->selectAll();
    QTest::keyClicks(edit, "48,5");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return unit.Holding()[16] == 485; }, kFirstReadingsMs));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return test::ReadMbpoll(mbpoll.Out()).values.contains("485"); }, kFirstReadingsMs))
        << "mbpoll reads what the window wrote";
    form.close();
    mbpoll.Stop();

    const test::MbpollRounds polled = test::ReadMbpoll(mbpoll.Out());
    EXPECT_GE(polled.values.size(), 3);
    EXPECT_TRUE(polled.faults.isEmpty()) << polled.faults.join('\n').toStdString();
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

} // namespace
} // namespace kvel
