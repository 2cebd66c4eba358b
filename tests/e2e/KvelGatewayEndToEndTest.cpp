// kvel-gateway between kvel-sim on a pseudo-terminal and several Modbus TCP masters at once:
// mbpoll (libmodbus), pymodbus and kvel-cli, each an independent master.
#include "GatewayPrograms.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace kvel {
namespace {

using test::FreePort;
using test::MbpollRounds;
using test::Program;
using test::ReadMbpoll;
using test::SimulatedUnit;

// A read of unit 1's voltage setpoint (register 17) as a Modbus TCP master frames it.
QByteArray ReadSetpointOfUnit1(quint16 transaction) {
    const char pdu[] = {0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x10, 0x00, 0x01};
    QByteArray frame;
    frame.append(static_cast<char>(transaction >> 8)).append(static_cast<char>(transaction));
    return frame.append(pdu, sizeof pdu);
}

std::unique_ptr<QTcpSocket> Connect(quint16 port) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    socket->waitForConnected(5000);
    return socket;
}

// A master's one question: the setpoint read through a fresh connection, and what came back
// within `ms` (nothing if the gateway closed the connection).
QByteArray AskOnce(quint16 port, int ms) {
    const std::unique_ptr<QTcpSocket> master = Connect(port);
    master->write(ReadSetpointOfUnit1(0x4B1D));
    QByteArray reply;
    // Whether it came in time is in the reply itself.
    (void)QTest::qWaitFor(
        [&] {
            reply += master->readAll();
            return reply.size() >= 11 || master->state() != QAbstractSocket::ConnectedState;
        },
        ms);
    return reply;
}

class GatewayEndToEndTest : public ::testing::Test {
protected:
    // Long enough for kvel-sim under the sanitizers on a loaded machine to answer in time.
    static constexpr int kTimeoutMs = 700;

    void SetUp() override {
        ASSERT_TRUE(unit.Started());
        gateway = std::make_unique<Program>(
            KVEL_GATEWAY_PATH,
            QStringList{"--port", SimulatedUnit::kLink, "--baud", "115200", "--listen",
                        QString("127.0.0.1:%1").arg(port), "--raw-listen",
                        QString("127.0.0.1:%1").arg(rawPort), "--metrics-listen",
                        QString("127.0.0.1:%1").arg(metricsPort), "--timeout",
                        QString::number(kTimeoutMs)});
        ASSERT_TRUE(gateway->WaitForErr("serving")) << gateway->Err().toStdString();
    }

    QStringList Mbpoll(int unit, int intervalMs) const {
        return test::MbpollArguments(port, unit, intervalMs);
    }

    QStringList Master(const char* mode, const char* units, int count) const {
        return {GATEWAY_MASTER_PATH, mode, QString::number(port), units, QString::number(count)};
    }

    test::ScratchDir dir;
    SimulatedUnit unit{{"--address", "1,7", "--baud-index", "9", "--flash-out", "flash.bin",
                        "--ready-delay", "300"}};
    quint16 port = FreePort();
    quint16 rawPort = FreePort();
    quint16 metricsPort = FreePort();
    std::unique_ptr<Program> gateway;
};

TEST_F(GatewayEndToEndTest, MbpollPymodbusAndKvelCliAreAllServedRightAtOnce) {
    const int setpointOfUnit1 = unit.Holding()[16];
    Program mbpoll("stdbuf", Mbpoll(1, 20), QProcess::MergedChannels);
    Program pymodbus("/usr/bin/python3", Master("setpoint", "7", 30));
    Program cli(KVEL_CLI_PATH, {"--port", QString("modbus-tcp://127.0.0.1:%1").arg(port),
                                "--address", "1,7", "status"});

    ASSERT_TRUE(cli.Finish());
    ASSERT_TRUE(pymodbus.Finish());
    QTest::qWait(200);
    mbpoll.Stop();

    EXPECT_EQ(pymodbus.ExitCode(), 0) << pymodbus.Out().toStdString();
    EXPECT_EQ(cli.ExitCode(), 0) << cli.Err().toStdString();
    EXPECT_EQ(cli.Out().count("Firmware: version 112"), 2) << cli.Out().toStdString();
    const MbpollRounds polled = ReadMbpoll(mbpoll.Out());
    EXPECT_GE(polled.rounds, 5);
    EXPECT_TRUE(polled.faults.isEmpty()) << polled.faults.join('\n').toStdString();
    EXPECT_FALSE(polled.values.isEmpty());
    for (const QString& value : polled.values)
        EXPECT_EQ(value.toInt(), setpointOfUnit1);
    EXPECT_TRUE(gateway->Err().contains("client 127.0.0.1:")) << gateway->Err().toStdString();

    const QString metrics = QString("http://127.0.0.1:%1/metrics").arg(metricsPort);
    Program scrape("sh",
                   {"-c", "curl -sf " + metrics + " | tee /dev/stderr | promtool check metrics"});
    ASSERT_TRUE(scrape.Finish());
    EXPECT_EQ(scrape.ExitCode(), 0) << scrape.Out().toStdString() << scrape.Err().toStdString();
    for (const char* unitAddress : {"1", "7"})
        EXPECT_TRUE(scrape.Err().contains(
            QString("kvel_gateway_unit_requests_total{address=\"%1\",outcome=\"answered\"}")
                .arg(unitAddress)))
            << scrape.Err().toStdString();
    EXPECT_TRUE(scrape.Err().contains("kvel_gateway_client_requests_total{client=\"127.0.0.1\"}"));
}

// Round-robin: the masters of units 1 and 7 wait at most for the one request of unit 3 on the
// line ahead of theirs, never for the four unit 3's master queued at once.
TEST_F(GatewayEndToEndTest, ASilentUnitDelaysTheOthersByNoMoreThanOneTimeOut) {
    Program silent("/usr/bin/python3", Master("silent", "3", 3));
    Program timed("/usr/bin/python3", Master("timed", "1,7", 6));
    Program again("/usr/bin/python3", Master("timed", "7", 12));
    ASSERT_TRUE(silent.Finish());
    ASSERT_TRUE(timed.Finish());
    ASSERT_TRUE(again.Finish());

    EXPECT_EQ(silent.ExitCode(), 0) << silent.Out().toStdString();
    for (Program* master : {&timed, &again}) {
        EXPECT_EQ(master->ExitCode(), 0) << master->Out().toStdString();
        const QString worst = master->Out().section("worst ", 1).section(' ', 0, 0);
        // One time-out of unit 3 and this master's own exchange, with as much again for a
        // loaded machine; behind unit 3's queue it would have waited four.
        EXPECT_LT(worst.toDouble(), 2 * kTimeoutMs) << master->Out().toStdString();
    }
    EXPECT_TRUE(gateway->WaitForErr("unit 3 silent"));
}

// The lease: kvel-cli uploads firmware over RTU over TCP with the line to itself while mbpoll
// keeps polling through Modbus TCP, told "busy" meanwhile and answered again afterwards.
TEST_F(GatewayEndToEndTest, AFirmwareUploadThroughTheLeaseHasTheLineToItself) {
    const QString shared = QString("modbus-tcp://127.0.0.1:%1").arg(port);
    Program unload(KVEL_CLI_PATH, {"--port", shared, "set", "current-setpoint", "0"});
    ASSERT_TRUE(unload.Finish());
    ASSERT_EQ(unload.ExitCode(), 0) << unload.Err().toStdString();
    QByteArray firmware(5000, '\0');
    for (int i = 0; i < firmware.size(); ++i)
        firmware[i] = static_cast<char>(i * 7 + i / 2048);
    QFile image("firmware.bin");
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    image.write(firmware);
    image.close();

    Program mbpoll("stdbuf", Mbpoll(7, 50), QProcess::MergedChannels);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return ReadMbpoll(mbpoll.Out()).values.size() >= 2; }, 10000));
    Program upload(KVEL_CLI_PATH, {"--port", QString("tcp://127.0.0.1:%1").arg(rawPort), "--baud",
                                   "115200", "upload", "firmware.bin"});
    ASSERT_TRUE(upload.Finish());
    ASSERT_TRUE(gateway->WaitForErr("line returned by"));
    const int valuesAfterUpload = ReadMbpoll(mbpoll.Out()).values.size();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ReadMbpoll(mbpoll.Out()).values.size() >= valuesAfterUpload + 2; }, 10000))
        << "polling did not resume";
    mbpoll.Stop();

    EXPECT_EQ(upload.ExitCode(), 0) << upload.Err().toStdString();
    EXPECT_TRUE(upload.Out().endsWith("programming finished\n")) << upload.Out().toStdString();
    QFile flash("flash.bin");
    ASSERT_TRUE(flash.open(QIODevice::ReadOnly));
    EXPECT_EQ(flash.readAll(), firmware);
    const MbpollRounds polled = ReadMbpoll(mbpoll.Out());
    EXPECT_FALSE(polled.faults.isEmpty())
        << "mbpoll was never told the line is busy: " << mbpoll.Out().toStdString()
        << gateway->Err().toStdString();
    for (const QString& fault : polled.faults)
        EXPECT_TRUE(fault.contains("busy")) << fault.toStdString();
    EXPECT_TRUE(gateway->Err().contains("line lent to 127.0.0.1:")) << gateway->Err().toStdString();
}

// The adapter pulled and plugged in again: the waiting master is told at once that there is no
// path, and the gateway takes the same device back and serves it again.
TEST_F(GatewayEndToEndTest, ALostLineIsToldAtOnceAndTakenBackWhenItReturns) {
    Program mbpoll("stdbuf", Mbpoll(7, 50), QProcess::MergedChannels);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return ReadMbpoll(mbpoll.Out()).values.size() >= 2; }, 10000));
    unit.PullAndReplug();
    ASSERT_TRUE(gateway->WaitForErr("lost"));
    ASSERT_TRUE(gateway->WaitForErr("back"));
    const int valuesWhenBack = ReadMbpoll(mbpoll.Out()).values.size();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ReadMbpoll(mbpoll.Out()).values.size() >= valuesWhenBack + 2; }, 10000));
    mbpoll.Stop();
    const MbpollRounds polled = ReadMbpoll(mbpoll.Out());
    EXPECT_FALSE(polled.faults.isEmpty());
    for (const QString& fault : polled.faults)
        EXPECT_TRUE(fault.contains("Gateway path unavailable")) << fault.toStdString();
}

// Every slot taken by connections that send nothing or half a header: a master arriving once
// they have been quiet a while takes the slot of the one quiet longest and is answered; the half
// headers are cut a few seconds on.
TEST_F(GatewayEndToEndTest, ConnectionsThatSendNothingDoNotLockOutAMaster) {
    constexpr int kSlots = 128;
    constexpr int kHalfHeaders = 8;
    std::vector<std::unique_ptr<QTcpSocket>> hoarders;
    for (int i = 0; i < kSlots; ++i) {
        hoarders.push_back(Connect(port));
        if (i < kHalfHeaders) hoarders.back()->write(QByteArray::fromHex("000100"));
    }
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return gateway->Err().count(" connected") == kSlots; }, 10000))
        << gateway->Err().toStdString();

    QTest::qWait(2200);
    QElapsedTimer asked;
    asked.start();
    const QByteArray reply = AskOnce(port, 3000);
    ASSERT_EQ(reply.size(), 11) << gateway->Err().toStdString();
    EXPECT_LT(asked.elapsed(), 2000);
    EXPECT_EQ(reply.left(9).toHex(), "4b1d00000005010302");
    EXPECT_EQ((static_cast<quint8>(reply[9]) << 8) | static_cast<quint8>(reply[10]),
              unit.Holding()[16]);
    EXPECT_TRUE(gateway->Err().contains("cut off: quiet longest when 128 clients were there"))
        << gateway->Err().toStdString();

    ASSERT_TRUE(gateway->WaitForErr("cut off: a frame left unfinished", 8000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::all_of(hoarders.begin(), hoarders.begin() + kHalfHeaders,
                               [](const auto& socket) {
                                   return socket->state() != QAbstractSocket::ConnectedState;
                               });
        },
        3000));
}

// A client that asks and never reads is cut off once the answers it leaves unread pass what the
// gateway holds for it, and the other masters are served meanwhile and afterwards.
TEST_F(GatewayEndToEndTest, AClientThatNeverReadsIsCutOffAndOthersAreServed) {
    const std::unique_ptr<QTcpSocket> deaf = Connect(port);
    // Qt takes nothing more off the kernel's buffer for it: it reads no answers.
    deaf->setReadBufferSize(1);
    // Broadcasts are refused at once, without the line, so their answers pile up fastest.
    QByteArray burst;
    for (int i = 0; i < 1000; ++i)
        burst += QByteArray::fromHex("0000000000060006001100fa");
    Program mbpoll("stdbuf", Mbpoll(1, 20), QProcess::MergedChannels);
    QElapsedTimer flooding;
    flooding.start();
    while (deaf->state() == QAbstractSocket::ConnectedState && flooding.elapsed() < 15000) {
        if (deaf->bytesToWrite() < burst.size()) deaf->write(burst);
        QTest::qWait(5);
    }
    EXPECT_NE(deaf->state(), QAbstractSocket::ConnectedState) << "never cut off";
    EXPECT_TRUE(gateway->WaitForErr("cut off: it reads no answers"))
        << gateway->Err().toStdString();
    EXPECT_EQ(AskOnce(port, 3000).size(), 11);
    mbpoll.Stop();
    const MbpollRounds polled = ReadMbpoll(mbpoll.Out());
    EXPECT_GE(polled.rounds, 2);
    EXPECT_TRUE(polled.faults.isEmpty()) << polled.faults.join('\n').toStdString();
}

} // namespace
} // namespace kvel
