// kvel-cli over the network: against kvel-sim on RTU over TCP and Modbus TCP, against pymodbus
// as an independent peer of each, and every way of naming a network port badly.
#include "CliRunner.h"
#include "CuttingRelay.h"
#include "PymodbusPeer.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

using test::CliRun;
using test::RunCli;
using test::SimulatedUnit;

using test::PymodbusPeer;

class NetworkCliEndToEndTest : public ::testing::Test {
protected:
    test::ScratchDir dir;
};

TEST_F(NetworkCliEndToEndTest, StatusAndSetReachTheUnitOnBothTransports) {
    for (const char* transport : {"--tcp", "--modbus-tcp"}) {
        SimulatedUnit unit(transport, {});
        ASSERT_TRUE(unit.Started()) << transport;
        const QString port = unit.PortName();
        const CliRun status = RunCli({"--port", port, "status"});
        ASSERT_EQ(status.exitCode, 0) << transport << status.err.toStdString();
        EXPECT_TRUE(status.out.contains("Firmware: version 112")) << status.out.toStdString();

        const CliRun set = RunCli({"--port", port, "set", "voltage-setpoint", "48,5"});
        ASSERT_EQ(set.exitCode, 0) << transport << set.err.toStdString();
        EXPECT_EQ(unit.Holding()[16], 485) << transport;
    }
}

TEST_F(NetworkCliEndToEndTest, UploadGoesOverRtuOverTcpAndIsRefusedThroughAGateway) {
    QByteArray firmware(5000, '\0');
    for (int i = 0; i < firmware.size(); ++i)
        firmware[i] = static_cast<char>(i * 7 + i / 2048);
    QFile file("firmware.bin");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(firmware);
    file.close();

    SimulatedUnit gateway("--modbus-tcp", {});
    ASSERT_TRUE(gateway.Started());
    const CliRun refused = RunCli({"--port", gateway.PortName(), "upload", "firmware.bin"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("Modbus TCP gateway")) << refused.err.toStdString();

    SimulatedUnit server("--tcp",
                         {"--baud-index", "9", "--flash-out", "flash.bin", "--ready-delay", "300"});
    ASSERT_TRUE(server.Started());
    ASSERT_EQ(
        RunCli({"--port", server.PortName(), "--baud", "115200", "set", "current-setpoint", "0"})
            .exitCode,
        0);
    const CliRun upload =
        RunCli({"--port", server.PortName(), "--baud", "115200", "upload", "firmware.bin"});
    ASSERT_EQ(upload.exitCode, 0) << upload.err.toStdString();
    EXPECT_TRUE(upload.out.endsWith("programming finished\n")) << upload.out.toStdString();
    QFile flash("flash.bin");
    ASSERT_TRUE(flash.open(QIODevice::ReadOnly));
    EXPECT_EQ(flash.readAll(), firmware);
}

// The closing frame gets no answer: a line cut after the last acknowledgement must not pass for
// a finished upload.
TEST_F(NetworkCliEndToEndTest, UploadCutOffBeforeItsClosingFrameFailsWithTheReason) {
    QFile file("firmware.bin");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(100, '\x5A'));
    file.close();
    SimulatedUnit server("--tcp", {"--flash-out", "flash.bin", "--ready-delay", "300"});
    ASSERT_TRUE(server.Started());
    ASSERT_EQ(RunCli({"--port", server.PortName(), "set", "current-setpoint", "0"}).exitCode, 0);
    // The header of the one block, 100 bytes at 0x08004000; its acknowledgement still goes
    // through, the closing frame a tick later no longer does.
    test::CuttingRelay relay(server.PortName().section(':', -1).toUShort(),
                             QByteArray::fromHex("0106FFFD006E08004000"), 250);

    QProcess upload;
    upload.start(KVEL_CLI_PATH, {"--port", relay.PortName(), "upload", "firmware.bin"});
    // The relay lives on this event loop: wait without blocking it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return upload.state() == QProcess::NotRunning; }, 60000));
    const QString out = QString::fromUtf8(upload.readAllStandardOutput());
    const QString err = QString::fromUtf8(upload.readAllStandardError());
    EXPECT_TRUE(relay.Cut());
    EXPECT_EQ(upload.exitCode(), 2) << err.toStdString();
    EXPECT_TRUE(err.contains("upload not finished") && err.contains("closing frame") &&
                err.contains("the server closed the connection"))
        << err.toStdString();
    EXPECT_FALSE(out.contains("programming finished")) << out.toStdString();
    QTest::qWait(500);
    EXPECT_FALSE(QFile::exists("flash.bin")) << "the unit never closed programming";
}

TEST_F(NetworkCliEndToEndTest, PymodbusServesBothTransportsToTheSameLink) {
    struct Case {
        const char* framer;
        const char* scheme;
    };
    for (const Case& c : {Case{"rtu", "tcp://"}, Case{"socket", "modbus-tcp://"}}) {
        PymodbusPeer peer(c.framer);
        ASSERT_FALSE(peer.Port().isEmpty()) << c.framer << ": is python3-pymodbus installed?";
        const QString port = QString(c.scheme) + "127.0.0.1:" + peer.Port();
        const CliRun status = RunCli({"--port", port, "--json", "status"});
        ASSERT_EQ(status.exitCode, 0) << c.framer << status.err.toStdString();
        const QJsonObject json = QJsonDocument::fromJson(status.out.toUtf8()).object();
        EXPECT_EQ(json["firmware"]["version"].toInt(), 112) << status.out.toStdString();

        ASSERT_EQ(RunCli({"--port", port, "set", "voltage-setpoint", "48,5"}).exitCode, 0)
            << c.framer;
        const CliRun get = RunCli({"--port", port, "get", "voltage-setpoint"});
        ASSERT_EQ(get.exitCode, 0) << c.framer << get.err.toStdString();
        EXPECT_EQ(get.out, "48.5 V\n");
    }
}

// The rate is set in the server: the program does not know it and does not sweep it.
TEST_F(NetworkCliEndToEndTest, ANetworkLineHasNoBitRate) {
    SimulatedUnit unit("--tcp", {});
    ASSERT_TRUE(unit.Started());
    const QString port = unit.PortName();
    const CliRun status = RunCli({"--port", port, "status"});
    ASSERT_EQ(status.exitCode, 0) << status.err.toStdString();
    EXPECT_TRUE(status.out.startsWith("Unit at address 1 on " + port + " (network)\n"))
        << status.out.toStdString();

    const CliRun find = RunCli({"--port", port, "find", "--all-rates", "--addresses", "1-2"});
    ASSERT_EQ(find.exitCode, 0) << find.err.toStdString();
    EXPECT_TRUE(find.out.startsWith("address 1 (network), firmware version 112"))
        << find.out.toStdString();
    EXPECT_TRUE(find.err.contains("--all-rates scans it once")) << find.err.toStdString();
    EXPECT_FALSE(find.out.contains("bit/s"));

    const CliRun json = RunCli({"--port", port, "--json", "find", "--addresses", "1"});
    EXPECT_EQ(json.out.trimmed(), "[{\"address\": 1, \"baud\": null, \"version\": 112}]");
}

TEST_F(NetworkCliEndToEndTest, BadNamesAndServersEachGetTheirExitCodeAndReason) {
    for (const char* name :
         {"tcp://127.0.0.1", "tcp://:5020", "tcp://host:70000", "modbus-tcp://"}) {
        const CliRun bad = RunCli({"--port", name, "status"});
        EXPECT_EQ(bad.exitCode, 3) << name;
        EXPECT_TRUE(bad.err.contains("tcp://HOST:PORT")) << name << bad.err.toStdString();
    }

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refusedPort = "tcp://127.0.0.1:" + QString::number(closed.serverPort());
    closed.close();
    const CliRun refused = RunCli({"--port", refusedPort, "status"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains("connection refused")) << refused.err.toStdString();

    const CliRun unknown =
        RunCli({"--port", "tcp://no-such-host.invalid:5020", "--timeout", "10", "status"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("does not resolve")) << unknown.err.toStdString();

    // A server that takes the connection and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const CliRun quiet =
        RunCli({"--port", "modbus-tcp://127.0.0.1:" + QString::number(silent.serverPort()),
                "--timeout", "1", "status"});
    EXPECT_EQ(quiet.exitCode, 2);
    EXPECT_TRUE(quiet.err.contains("no answer")) << quiet.err.toStdString();
}

} // namespace
} // namespace kvel
