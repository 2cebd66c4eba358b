// Through a Modbus TCP gateway as the plant's are: unit 7 behind it (kvel-sim), and for every
// other address the gateway's own answer that nothing is there, exception 0B or 0A. The finder,
// the overview's poller and the exporter must see no unit in those answers.
#include "CliRunner.h"
#include "FleetPoller.h"
#include "FreePort.h"
#include "ModbusFrame.h"
#include "RoutingChannel.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace kvel {
namespace {

using test::CliRun;
using test::Lines;
using test::RunCli;
using test::SimulatedUnit;

constexpr std::uint8_t kUnitBehind = 7;

// modbus_gateway.py in front of a Modbus TCP server.
class Gateway {
public:
    Gateway(const QString& backendPort, std::uint8_t unit) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("/usr/bin/python3",
                       {MODBUS_GATEWAY_PATH, backendPort, QString::number(unit)});
        const bool said = QTest::qWaitFor(
            [&] {
                words_ += process_.readAllStandardOutput();
                return words_.contains('\n') || process_.state() == QProcess::NotRunning;
            },
            10000);
        if (said && words_.startsWith("listening on ")) port_ = words_.mid(13).trimmed();
    }
    ~Gateway() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    QString PortName() const {
        return port_.isEmpty() ? QString() : "modbus-tcp://127.0.0.1:" + port_;
    }

private:
    QProcess process_;
    QString words_;
    QString port_;
};

using test::FreePort;

QByteArray MetricsPage(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000)) return {};
    socket.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(3000))
        reply += socket.readAll();
    return reply;
}

// The value of the sample of `name` for `address` whose labels hold `label`; none when absent.
std::optional<double> SampleOf(const QByteArray& page, const QByteArray& name, int address,
                               const QByteArray& label = {}) {
    const QByteArray addressLabel = "address=\"" + QByteArray::number(address) + '"';
    for (const QByteArray& line : page.split('\n')) {
        if (!line.startsWith(name + '{') || !line.contains(addressLabel) || !line.contains(label))
            continue;
        return line.mid(line.lastIndexOf(' ') + 1).toDouble();
    }
    return std::nullopt;
}

class GatewayEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        unit = std::make_unique<SimulatedUnit>(
            "--modbus-tcp", QStringList{"--address", QString::number(kUnitBehind)});
        ASSERT_TRUE(unit->Started());
        gateway = std::make_unique<Gateway>(unit->PortName().section(':', -1), kUnitBehind);
        ASSERT_FALSE(gateway->PortName().isEmpty()) << "is /usr/bin/python3 there?";
    }

    test::ScratchDir dir;
    std::unique_ptr<SimulatedUnit> unit;
    std::unique_ptr<Gateway> gateway;
};

TEST_F(GatewayEndToEndTest, FindListsOnlyTheUnitBehindTheGateway) {
    const CliRun find = RunCli({"--port", gateway->PortName(), "find", "--addresses", "1-20"});
    ASSERT_EQ(find.exitCode, 0) << find.err.toStdString();
    const QStringList found = Lines(find.out);
    ASSERT_EQ(found.size(), 1) << find.out.toStdString();
    EXPECT_TRUE(found[0].startsWith("address 7 ")) << find.out.toStdString();
    EXPECT_TRUE(found[0].endsWith("firmware version 112")) << find.out.toStdString();

    const CliRun absent = RunCli({"--port", gateway->PortName(), "--address", "3", "get", "16"});
    EXPECT_EQ(absent.exitCode, 2);
    EXPECT_TRUE(absent.err.contains("no unit answered at address 3")) << absent.err.toStdString();
    EXPECT_TRUE(absent.err.contains("exception 0B (gateway target failed to respond)"))
        << absent.err.toStdString();
}

TEST_F(GatewayEndToEndTest, TheOverviewsPollerFindsTheOthersSilent) {
    RoutingChannel channel;
    FleetPoller poller(channel,
                       FleetSetup{gateway->PortName().toStdString(), 9600, {3, 4, kUnitBehind}});
    ASSERT_FALSE(poller.Start(LinkClock::now()));
    // No event loop runs here: waiting on the line takes the connection's bytes in.
    const auto until = LinkClock::now() + std::chrono::seconds(10);
    while (poller.RoundsDone() < 2 && LinkClock::now() < until) {
        channel.WaitForInput(std::max(poller.MsToNextTick(LinkClock::now()), 1));
        poller.Tick(LinkClock::now());
    }
    ASSERT_GE(poller.RoundsDone(), 2u);
    const struct {
        std::size_t row;
        std::uint8_t code;
    } absent[] = {{0, kExceptionGatewayTargetSilent}, {1, kExceptionGatewayPathUnavailable}};
    for (const auto& a : absent) {
        const PolledUnit& silent = poller.Units()[a.row];
        EXPECT_TRUE(silent.Silent()) << int(silent.address);
        EXPECT_FALSE(silent.answered) << int(silent.address);
        EXPECT_EQ(silent.failure, TransactionOutcome::NoUnit) << int(silent.address);
        EXPECT_EQ(silent.failureDetail, a.code) << int(silent.address);
    }
    EXPECT_TRUE(poller.Units()[2].answered);
    EXPECT_FALSE(poller.Units()[2].Silent());
}

TEST_F(GatewayEndToEndTest, ServeHasTheAbsentUnitDownForWantOfAnAnswer) {
    const quint16 port = FreePort();
    QProcess serve;
    serve.setProcessChannelMode(QProcess::ForwardedChannels);
    serve.start(KVEL_CLI_PATH,
                {"--port", gateway->PortName(), "--address", "3,7", "serve", "--listen",
                 QStringLiteral("127.0.0.1:%1").arg(port), "--interval", "0.2"});
    ASSERT_TRUE(serve.waitForStarted(5000));
    QByteArray page;
    const bool polled = QTest::qWaitFor(
        [&] {
            page = MetricsPage(port);
            return SampleOf(page, "kvel_up", kUnitBehind) == 1.0 &&
                   SampleOf(page, "kvel_link_errors_total", 3, "cause=\"gateway_no_answer\"")
                           .value_or(0) >= 2;
        },
        10000);
    serve.terminate();
    serve.waitForFinished(5000);
    ASSERT_TRUE(polled) << page.toStdString();
    EXPECT_EQ(SampleOf(page, "kvel_up", 3), 0.0);
    EXPECT_EQ(SampleOf(page, "kvel_link_errors_total", 3, "cause=\"exception\""), 0.0);
    EXPECT_EQ(SampleOf(page, "kvel_link_errors_total", 3, "cause=\"timeout\""), 0.0);
    EXPECT_EQ(SampleOf(page, "kvel_link_errors_total", kUnitBehind, "cause=\"gateway_no_answer\""),
              0.0);
}

} // namespace
} // namespace kvel
