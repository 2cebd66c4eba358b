// kvel-cli for several units against kvel-sim with units 1 and 7 on one line: status, get and
// watch over a list with a silent unit in it; serve, what /metrics says checked by Prometheus'
// own tools and against the simulator's registers, a real Prometheus server scraping it, and
// the port missing at start or lost while serving.
#include "Scrape.h"
#include "ScratchDir.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <tuple>

namespace kvel {
namespace {

using test::FreePort;
using test::Get;
using test::Samples;

QString Sample(const char* name, int address) {
    return QStringLiteral("%1{port=\"COM1\",address=\"%2\"}").arg(name).arg(address);
}

class ServeEndToEndTest : public ::testing::Test {
protected:
    void StartUnits(const QStringList& extra = {}) {
        QFile::remove("dosdevices/com1");
        sim.start(KVEL_SIM_PATH,
                  QStringList{"--link", "dosdevices/com1", "--address", "1,7"} + extra);
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([] { return QFile::exists("dosdevices/com1"); }, 5000));
    }

    void StartServe() {
        port = FreePort();
        serve.setProcessChannelMode(QProcess::ForwardedChannels);
        serve.start(KVEL_CLI_PATH, {"--port", "1", "--address", "1,7", "serve", "--listen",
                                    QStringLiteral("127.0.0.1:%1").arg(port)});
        ASSERT_TRUE(serve.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([this] { return BothUp(); }, 10000))
            << Get(port, "/metrics").toStdString();
    }

    bool BothUp() {
        const auto samples = Samples(Get(port, "/metrics"));
        const auto up = [&](int address) {
            const auto it = samples.find(Sample("kvel_up", address));
            return it != samples.end() && it->second == 1;
        };
        return up(1) && up(7);
    }

    std::map<int, std::map<int, int>> SimulatorHolding() { return test::SimulatorHolding(sim, 2); }

    void TearDown() override {
        for (QProcess* process : {&serve, &sim}) {
            if (process->state() == QProcess::NotRunning) continue;
            process->terminate();
            if (!process->waitForFinished(5000)) process->kill();
            process->waitForFinished(2000);
        }
    }

    test::ScratchDir dir;
    QProcess sim;
    QProcess serve;
    quint16 port = 0;
};

TEST_F(ServeEndToEndTest, MetricsPassPromtoolAndMatchTheSimulatorForBothUnits) {
    StartUnits();
    StartServe();
    const QByteArray page = Get(port, "/metrics");
    const std::map<int, std::map<int, int>> holding = SimulatorHolding();
    ASSERT_EQ(holding.size(), 2u);
    const auto samples = Samples(page);
    for (int address : {1, 7}) {
        const std::map<int, int>& h = holding.at(address);
        const auto value = [&](const char* name) { return samples.at(Sample(name, address)); };
        EXPECT_DOUBLE_EQ(value("kvel_voltage_setpoint_volts"), h.at(16) / 10.0);
        EXPECT_DOUBLE_EQ(value("kvel_current_setpoint_amperes"), h.at(17) / 10.0);
        // The live readings drift between the scrape and the dump: a few tenths at most.
        EXPECT_NEAR(value("kvel_output_voltage_volts"), h.at(3) / 10.0, 0.3);
        EXPECT_NEAR(value("kvel_power_stage_voltage_volts"), h.at(0) / 10.0, 0.5);
        EXPECT_NEAR(value("kvel_power_stage_temperature_celsius"), h.at(2), 1);
        EXPECT_EQ(
            samples.count(
                QStringLiteral(
                    "kvel_firmware_info{port=\"COM1\",address=\"%1\",version=\"112\",build=\"37\"}")
                    .arg(address)),
            1u);
        EXPECT_EQ(
            samples.at(QStringLiteral("kvel_lamp{port=\"COM1\",address=\"%1\",lamp=\"working\"}")
                           .arg(address)),
            1);
        EXPECT_GT(value("kvel_replies_total"), 0);
    }

    const test::PromtoolVerdict verdict = test::CheckMetrics(page);
    if (!verdict.installed)
        GTEST_SKIP() << "promtool is not installed (apt-get install prometheus)";
    EXPECT_TRUE(verdict.passed) << verdict.said.toStdString() << page.toStdString();
}

TEST_F(ServeEndToEndTest, PrometheusScrapesBothUnitsEverySecond) {
    const QString prometheus = QStandardPaths::findExecutable("prometheus");
    if (prometheus.isEmpty())
        GTEST_SKIP() << "the prometheus server is not installed (apt-get install prometheus)";
    StartUnits();
    StartServe();
    const quint16 web = FreePort();
    QFile config("prometheus.yml");
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("global:\n  scrape_interval: 1s\nscrape_configs:\n"
                                "  - job_name: kvel\n    static_configs:\n"
                                "      - targets: ['127.0.0.1:%1']\n")
                     .arg(port)
                     .toUtf8());
    config.close();
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(prometheus, {"--config.file=prometheus.yml", "--storage.tsdb.path=data",
                              QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(web)});
    ASSERT_TRUE(server.waitForStarted(5000));
    QJsonArray result;
    (void)QTest::qWaitFor(
        [&] {
            const QByteArray body = Get(web, "/api/v1/query?query=kvel_output_voltage_volts");
            result = QJsonDocument::fromJson(body).object()["data"].toObject()["result"].toArray();
            return result.size() == 2;
        },
        30000);
    server.terminate();
    server.waitForFinished(10000);
    ASSERT_EQ(result.size(), 2) << server.readAll().toStdString();
    QStringList addresses;
    for (const QJsonValue& series : result) {
        const QJsonObject metric = series.toObject()["metric"].toObject();
        EXPECT_EQ(metric["job"].toString(), "kvel");
        EXPECT_EQ(metric["port"].toString(), "COM1");
        addresses << metric["address"].toString();
        EXPECT_GT(series.toObject()["value"].toArray()[1].toString().toDouble(), 50);
    }
    addresses.sort();
    EXPECT_EQ(addresses, (QStringList{"1", "7"}));
}

TEST_F(ServeEndToEndTest, APortMissingOrBusyAtStartEndsWithStatus2AndTheReason) {
    const QString missing = dir.File("no-such-port");
    QProcess cli;
    cli.start(KVEL_CLI_PATH, {"--port", missing, "serve", "--listen", "127.0.0.1:9"});
    ASSERT_TRUE(cli.waitForFinished(10000));
    EXPECT_EQ(cli.exitCode(), 2);
    EXPECT_TRUE(cli.readAllStandardError().contains("does not exist"));

    StartUnits();
    StartServe();
    QProcess second;
    second.start(KVEL_CLI_PATH, {"--port", "1", "serve", "--listen", "127.0.0.1:9"});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 2);
    EXPECT_TRUE(second.readAllStandardError().contains("in use")) << "no reason given";
}

TEST_F(ServeEndToEndTest, APortLostWhileServingShowsEveryUnitDownUntilItIsBack) {
    StartUnits({"--gone", "2000"});
    StartServe();
    ::kill(static_cast<pid_t>(sim.processId()), SIGHUP);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
            const auto samples = Samples(Get(port, "/metrics"));
            return samples.count(Sample("kvel_up", 1)) && samples.at(Sample("kvel_up", 1)) == 0 &&
                   samples.at(Sample("kvel_up", 7)) == 0;
        },
        5000));
    const auto down = Samples(Get(port, "/metrics"));
    EXPECT_EQ(down.count(Sample("kvel_output_voltage_volts", 1)), 0u);
    EXPECT_TRUE(QTest::qWaitFor([this] { return BothUp(); }, 10000))
        << "the keeper did not bring the port back";
    const auto back = Samples(Get(port, "/metrics"));
    EXPECT_GT(back.at(QStringLiteral(
                  "kvel_link_errors_total{port=\"COM1\",address=\"1\",cause=\"port_closed\"}")),
              0);
}

// kvel-cli serve becomes kvel-exporter, in the same process, with the line it was given.
TEST_F(ServeEndToEndTest, ServeRunsKvelExporterInItsPlaceWithTheSameLine) {
    StartUnits();
    port = FreePort();
    serve.start(KVEL_CLI_PATH,
                {"--port", "1", "--address", "1,7", "--baud", "9600", "serve", "--interval", "0.5",
                 "--listen", QStringLiteral("127.0.0.1:%1").arg(port)});
    ASSERT_TRUE(serve.waitForStarted(5000));
    QString said;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            said += QString::fromUtf8(serve.readAllStandardError());
            return said.contains('\n');
        },
        10000));
    EXPECT_EQ(said, QStringLiteral("kvel-exporter: serving at http://127.0.0.1:%1/metrics the "
                                   "lines COM1 (units 1, 7, every 0.5 s)\n")
                        .arg(port));
    EXPECT_TRUE(QFileInfo(QStringLiteral("/proc/%1/exe").arg(serve.processId()))
                    .symLinkTarget()
                    .endsWith("/kvel-exporter"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return BothUp(); }, 10000));
}

TEST_F(ServeEndToEndTest, NothingButGetAndHeadIsAnswered) {
    StartUnits();
    StartServe();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write("POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n{}");
    ASSERT_TRUE(socket.waitForReadyRead(3000));
    EXPECT_TRUE(socket.readAll().startsWith("HTTP/1.1 405"));
    EXPECT_TRUE(Get(port, "/").contains("/metrics"));
}

TEST_F(ServeEndToEndTest, StatusGetAndWatchReadEveryListedUnitAndNameTheSilentOne) {
    StartUnits();
    const auto run = [](const QStringList& arguments) {
        QProcess cli;
        cli.start(KVEL_CLI_PATH,
                  QStringList{"--port", "1", "--address", "1,3,7", "--timeout", "0.3"} + arguments);
        cli.waitForFinished(30000);
        return std::make_tuple(cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()),
                               QString::fromUtf8(cli.readAllStandardError()));
    };
    const auto [statusExit, status, statusErr] = run({"--json", "status"});
    EXPECT_EQ(statusExit, 2) << "a silent unit fails the run";
    const QStringList objects = status.trimmed().split('\n');
    ASSERT_EQ(objects.size(), 2) << status.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(objects[0].toUtf8())["address"].toInt(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(objects[1].toUtf8())["address"].toInt(), 7);
    EXPECT_TRUE(statusErr.contains("no answer from the unit at address 3"))
        << statusErr.toStdString();

    const auto [getExit, get, getErr] = run({"get", "voltage-setpoint"});
    EXPECT_EQ(get, "address 1  54.5 V\naddress 7  54.5 V\n");

    const auto [watchExit, watch, watchErr] = run({"watch", "--count", "1", "--csv", "w.csv"});
    EXPECT_EQ(watchExit, 2) << "a unit silent in the last round: " << watchErr.toStdString();
    const QStringList lines = watch.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2) << watch.toStdString();
    EXPECT_TRUE(lines[0].startsWith("address 1  "));
    EXPECT_TRUE(lines[1].startsWith("address 7  ") && lines[1].contains("U вых 5"));
    EXPECT_TRUE(watchErr.contains("address 3: no answer")) << watchErr.toStdString();
    QFile csv("w.csv");
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = csv.readAll().trimmed().split('\n');
    ASSERT_EQ(rows.size(), 4);
    EXPECT_TRUE(rows[0].startsWith("Время,Часовой пояс,Адрес,U вых (В),")) << rows[0].toStdString();
    const QList<QByteArray> silent = rows[2].split(',');
    EXPECT_EQ(silent.value(2), "3");
    EXPECT_EQ(silent.value(3), "") << "no readings for the unit that did not answer";
    EXPECT_EQ(rows[3].split(',').value(2), "7");
    EXPECT_TRUE(rows[3].split(',').value(3).startsWith("5"));
}

} // namespace
} // namespace kvel
