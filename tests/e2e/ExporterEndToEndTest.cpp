// kvel-exporter run as a program with a configuration file: a serial line (kvel-sim on a
// pseudo-terminal, units 1 and 7) and a Modbus TCP gateway (kvel-sim, unit 3) polled each on
// its own; /metrics checked by promtool and against the simulators' registers; SIGHUP bringing
// in a line added to the file, and keeping the running lines when the file is refused; a file
// refused at start with its line number; /probe against pymodbus as an independent gateway;
// and kvel-cli's verbs free of the HTTP libraries.
#include "KvelVersion.h"
#include "PymodbusPeer.h"
#include "Scrape.h"
#include "ScratchDir.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>

namespace kvel {
namespace {

using test::Get;
using test::Samples;

const QString kGatewayLine = QStringLiteral("[line gateway]\nport = %1\naddresses = 3\n"
                                            "interval = 0.5\nlabels = site=north, cabinet=3\n");

class ExporterEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFile::remove("dosdevices/com1");
        serial.setProcessChannelMode(QProcess::SeparateChannels);
        serial.start(KVEL_SIM_PATH, {"--link", "dosdevices/com1", "--address", "1,7"});
        ASSERT_TRUE(serial.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([] { return QFile::exists("dosdevices/com1"); }, 5000));

        gateway.start(KVEL_SIM_PATH, {"--modbus-tcp", "0", "--address", "3"});
        ASSERT_TRUE(gateway.waitForStarted(5000));
        const QRegularExpression where(" on (\\S+://\\S+) ");
        QString said;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                said += gateway.readAllStandardOutput();
                return where.match(said).hasMatch();
            },
            5000));
        gatewayPort = where.match(said).captured(1);
        ASSERT_TRUE(gatewayPort.startsWith("modbus-tcp://127.0.0.1:")) << said.toStdString();
        listen = test::FreePort();
    }

    void TearDown() override {
        for (QProcess* process : {&exporter, &serial, &gateway}) {
            if (process->state() == QProcess::NotRunning) continue;
            process->terminate();
            if (!process->waitForFinished(5000)) process->kill();
            process->waitForFinished(2000);
        }
    }

    QString SerialSection() const {
        return QStringLiteral("[exporter]\nlisten = 127.0.0.1:%1\n\n[line bench]\nport = 1\n"
                              "addresses = 1, 7\ninterval = 0.5\n")
            .arg(listen);
    }

    static void WriteConfig(const QString& text) {
        QFile file("exporter.ini");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    void StartExporter() {
        exporter.start(KVEL_EXPORTER_PATH, {"--config", "exporter.ini"});
        ASSERT_TRUE(exporter.waitForStarted(5000));
    }

    QString Journal() {
        journal += QString::fromUtf8(exporter.readAllStandardError());
        return journal;
    }

    bool WaitForJournal(const QString& words) {
        return QTest::qWaitFor([&] { return Journal().contains(words); }, 10000);
    }

    std::map<QString, double> Page() { return Samples(Get(listen, "/metrics")); }

    bool Up(const std::map<QString, double>& page, const QString& unit) {
        const auto at = page.find("kvel_up" + unit);
        return at != page.end() && at->second == 1;
    }

    bool AllUp(const QStringList& units) {
        const auto page = Page();
        return std::all_of(units.begin(), units.end(),
                           [&](const QString& unit) { return Up(page, unit); });
    }

    QString GatewayUnit() const {
        return QStringLiteral("{port=\"%1\",address=\"3\",site=\"north\",cabinet=\"3\"}")
            .arg(gatewayPort);
    }

    test::ScratchDir dir;
    QProcess serial;
    QProcess gateway;
    QProcess exporter;
    QString gatewayPort;
    quint16 listen = 0;
    QString journal;
    const QString unit1 = QStringLiteral("{port=\"COM1\",address=\"1\"}");
    const QString unit7 = QStringLiteral("{port=\"COM1\",address=\"7\"}");
};

TEST_F(ExporterEndToEndTest, ServesASerialLineAndAGatewayTogetherWithTheirUnitsValues) {
    WriteConfig(SerialSection() + "\n" + kGatewayLine.arg(gatewayPort));
    StartExporter();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return AllUp({unit1, unit7, GatewayUnit()});
        },
        15000))
        << Get(listen, "/metrics").toStdString() << Journal().toStdString();
    EXPECT_TRUE(Journal().contains(QStringLiteral("serving at http://127.0.0.1:%1/metrics the "
                                                  "lines bench (COM1, units 1, 7, every 0.5 s); "
                                                  "gateway (%2, units 3, every 0.5 s)")
                                       .arg(listen)
                                       .arg(gatewayPort)))
        << Journal().toStdString();

    const QByteArray page = Get(listen, "/metrics");
    const auto samples = Samples(page);
    std::map<QString, std::map<int, int>> holding;
    const auto serialUnits = test::SimulatorHolding(serial, 2);
    const auto gatewayUnits = test::SimulatorHolding(gateway, 1);
    ASSERT_EQ(serialUnits.size(), 2u);
    ASSERT_EQ(gatewayUnits.size(), 1u);
    holding[unit1] = serialUnits.at(1);
    holding[unit7] = serialUnits.at(7);
    holding[GatewayUnit()] = gatewayUnits.at(3);
    for (const auto& [unit, h] : holding) {
        const QString& labels = unit;
        const auto value = [&](const char* name) { return samples.at(name + labels); };
        EXPECT_DOUBLE_EQ(value("kvel_voltage_setpoint_volts"), h.at(16) / 10.0)
            << unit.toStdString();
        EXPECT_DOUBLE_EQ(value("kvel_current_setpoint_amperes"), h.at(17) / 10.0);
        EXPECT_NEAR(value("kvel_output_voltage_volts"), h.at(3) / 10.0, 0.3);
        EXPECT_NEAR(value("kvel_power_stage_temperature_celsius"), h.at(2), 1);
        EXPECT_GT(value("kvel_replies_total"), 0);
        const double now = static_cast<double>(QDateTime::currentSecsSinceEpoch());
        EXPECT_NEAR(value("kvel_last_reply_timestamp_seconds"), now, 5);
    }
    for (const QString& line :
         {QStringLiteral("{port=\"COM1\"}"),
          QStringLiteral("{port=\"%1\",site=\"north\",cabinet=\"3\"}").arg(gatewayPort)}) {
        EXPECT_EQ(samples.at("kvel_line_up" + line), 1) << line.toStdString();
        EXPECT_GT(samples.at("kvel_round_duration_seconds" + line), 0);
        EXPECT_LT(samples.at("kvel_round_duration_seconds" + line), 0.5);
    }
    EXPECT_EQ(
        samples.count(QStringLiteral("kvel_exporter_build_info{version=\"%1\"}").arg(kVersion)),
        1u);
    EXPECT_GT(samples.at("process_resident_memory_bytes"), 1e6);
    EXPECT_GT(samples.at("process_open_fds"), 3);
    EXPECT_NEAR(samples.at("process_start_time_seconds"),
                static_cast<double>(QDateTime::currentSecsSinceEpoch()), 60);

    const test::PromtoolVerdict verdict = test::CheckMetrics(page);
    if (!verdict.installed)
        GTEST_SKIP() << "promtool is not installed (apt-get install prometheus)";
    EXPECT_TRUE(verdict.passed) << verdict.said.toStdString() << page.toStdString();
}

TEST_F(ExporterEndToEndTest, SighupBringsInAnAddedLineAndARefusedFileKeepsTheRunningOnes) {
    WriteConfig(SerialSection());
    StartExporter();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return AllUp({unit1, unit7});
        },
        15000))
        << Journal().toStdString();
    EXPECT_EQ(Page().count("kvel_up" + GatewayUnit()), 0u);

    WriteConfig(SerialSection() + kGatewayLine.arg(gatewayPort));
    ::kill(static_cast<pid_t>(exporter.processId()), SIGHUP);
    ASSERT_TRUE(WaitForJournal("configuration reloaded from exporter.ini: added gateway; changed "
                               "none; removed none"))
        << Journal().toStdString();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return AllUp({unit1, unit7, GatewayUnit()});
        },
        15000))
        << Journal().toStdString();
    const double repliesBefore = Page().at("kvel_replies_total" + unit1);

    // The gateway's line named twice: the file is refused and nothing that runs changes.
    WriteConfig(SerialSection() + kGatewayLine.arg(gatewayPort) + "[line gateway]\n");
    ::kill(static_cast<pid_t>(exporter.processId()), SIGHUP);
    ASSERT_TRUE(WaitForJournal("configuration refused: exporter.ini:13: [line gateway] again; "
                               "it began at line 8; the running lines are kept"))
        << Journal().toStdString();
    QTest::qWait(1500);
    const auto page = Page();
    EXPECT_TRUE(Up(page, unit1) && Up(page, unit7) && Up(page, GatewayUnit()));
    EXPECT_GT(page.at("kvel_replies_total" + unit1), repliesBefore)
        << "the serial line kept polling, counters and all";
    EXPECT_EQ(exporter.state(), QProcess::Running);
}

// The serial line's units fall silent and answer again; then the gateway goes away: each is
// told once with its cause, and each costs only its own line.
TEST_F(ExporterEndToEndTest, UnitsAndLinesLostAndBackAreToldWithTheirCauseAndTimeAway) {
    WriteConfig(SerialSection() + kGatewayLine.arg(gatewayPort));
    StartExporter();
    ASSERT_TRUE(QTest::qWaitFor([&] { return AllUp({unit1, unit7, GatewayUnit()}); }, 15000));
    ::kill(static_cast<pid_t>(serial.processId()), SIGUSR1);
    ASSERT_TRUE(WaitForJournal("unit 1 on line bench lost: no answer")) << Journal().toStdString();
    EXPECT_TRUE(Up(Page(), GatewayUnit())) << "a silent line costs only itself";
    ::kill(static_cast<pid_t>(serial.processId()), SIGUSR1);
    EXPECT_TRUE(WaitForJournal("unit 1 on line bench back after ")) << Journal().toStdString();

    gateway.kill();
    gateway.waitForFinished(5000);
    ASSERT_TRUE(WaitForJournal("line gateway lost: cannot connect to " + gatewayPort))
        << Journal().toStdString();
    EXPECT_FALSE(Journal().contains("unit 3 on line gateway lost")) << "told with its line";
    ASSERT_TRUE(QTest::qWaitFor([&] { return AllUp({unit1, unit7}); }, 5000));
    const auto page = Page();
    EXPECT_EQ(page.at("kvel_up" + GatewayUnit()), 0);
    EXPECT_EQ(page.at(QStringLiteral("kvel_line_up{port=\"%1\",site=\"north\",cabinet=\"3\"}")
                          .arg(gatewayPort)),
              0);
}

TEST_F(ExporterEndToEndTest, AFileRefusedAtStartEndsWithStatus2AndItsLineNumber) {
    WriteConfig("[exporter]\nlisten = 127.0.0.1:1\n\n[line a]\nport = 1\naddresses = 1\n"
                "timeout = 3\n");
    StartExporter();
    ASSERT_TRUE(exporter.waitForFinished(10000));
    EXPECT_EQ(exporter.exitCode(), 2);
    EXPECT_TRUE(Journal().contains("configuration refused: exporter.ini:7: unknown key "
                                   "\"timeout\" in [line a]"))
        << Journal().toStdString();
}

TEST_F(ExporterEndToEndTest, ProbesAnAllowedGatewayOnDemandAndRefusesEveryOtherTarget) {
    test::PymodbusPeer peer("socket", 3);
    ASSERT_FALSE(peer.Port().isEmpty())
        << "pymodbus did not start (apt-get install python3-pymodbus)";
    WriteConfig(QStringLiteral("[exporter]\nlisten = 127.0.0.1:%1\nprobe-allow = 127.0.0.1, "
                               "127.0.1.0/24\n\n[line bench]\nport = 1\naddresses = 1, 7\n")
                    .arg(listen));
    StartExporter();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return AllUp({unit1, unit7});
        },
        15000))
        << Journal().toStdString();

    const QByteArray target = "modbus-tcp://127.0.0.1:" + peer.Port().toUtf8();
    const QByteArray timeout = "X-Prometheus-Scrape-Timeout-Seconds: 3\r\n";
    const test::HttpReply probe =
        test::Fetch(listen, "/probe?target=" + target + "&address=3", timeout);
    ASSERT_EQ(probe.status, 200) << probe.body.toStdString();
    const auto samples = Samples(probe.body);
    const QString unit3 = "{port=\"" + target + "\",address=\"3\"}";
    EXPECT_EQ(samples.at("kvel_probe_success"), 1) << probe.body.toStdString();
    EXPECT_EQ(samples.at("kvel_up" + unit3), 1);
    EXPECT_DOUBLE_EQ(samples.at("kvel_voltage_setpoint_volts" + unit3), 54.5);
    EXPECT_LT(samples.at("kvel_probe_duration_seconds"), 2.5);
    // The connection is kept: the second probe of the same target goes over the first's.
    const auto connections = [&] {
        QProcess ss;
        ss.start("ss", {"-Htn", "state", "established", "( dport = :" + peer.Port() + " )"});
        ss.waitForFinished(5000);
        return ss.readAllStandardOutput();
    };
    const QByteArray first = connections();
    const test::HttpReply again =
        test::Fetch(listen, "/probe?target=" + target + "&address=3", timeout);
    EXPECT_EQ(Samples(again.body).at("kvel_probe_success"), 1);
    EXPECT_EQ(connections(), first);
    EXPECT_EQ(first.count('\n'), 1) << first.toStdString();

    const test::HttpReply line = test::Fetch(listen, "/probe?target=bench");
    EXPECT_EQ(line.status, 200);
    EXPECT_EQ(Samples(line.body).at("kvel_probe_success"), 1) << line.body.toStdString();
    EXPECT_EQ(Samples(line.body).count("kvel_up" + unit7), 1u);

    // A unit the gateway does not have: answered in time, the probe failed.
    const test::HttpReply missing =
        test::Fetch(listen, "/probe?target=" + target + "&address=4", timeout);
    EXPECT_EQ(missing.status, 200);
    EXPECT_EQ(Samples(missing.body).at("kvel_probe_success"), 0);

    const struct {
        QByteArray path;
        int status;
    } refusals[] = {
        {"/probe", 400},
        {"/probe?target=", 400},
        {"/probe?target=/dev/ttyS0", 400},
        {"/probe?target=nowhere", 400},
        {"/probe?target=bench&address=1", 400},
        {"/probe?target=" + target + "&address=0", 400},
        {"/probe?target=" + target + "&address=1-300", 400},
        {"/probe?target=modbus-tcp://127.0.0.2:" + peer.Port().toUtf8(), 403},
        {"/probe?target=tcp://127.0.2.1:502", 403},
        {"/probe?target=modbus-tcp://localhost:" + peer.Port().toUtf8(), 403},
    };
    for (const auto& refusal : refusals)
        EXPECT_EQ(test::Fetch(listen, refusal.path).status, refusal.status)
            << refusal.path.toStdString();

    // More allowed targets than are kept: the oldest go, and the exporter goes on answering.
    for (int host = 1; host <= 150; ++host) {
        const QByteArray nobody = "/probe?target=tcp://127.0.1." + QByteArray::number(host) + ":9";
        ASSERT_EQ(test::Fetch(listen, nobody, timeout).status, 200) << nobody.toStdString();
    }
    const auto after = Page();
    EXPECT_LT(after.at("process_open_fds"), 64) << "a failed target's socket was kept";
    EXPECT_TRUE(Up(after, unit1));

    const test::PromtoolVerdict verdict = test::CheckMetrics(probe.body);
    if (!verdict.installed)
        GTEST_SKIP() << "promtool is not installed (apt-get install prometheus)";
    EXPECT_TRUE(verdict.passed) << verdict.said.toStdString() << probe.body.toStdString();
}

// Every query of the dashboard's panels and variables, its variables matching anything.
QStringList DashboardQueries() {
    QFile file(KVEL_DASHBOARD_PATH);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QJsonObject dashboard = QJsonDocument::fromJson(file.readAll()).object();
    QStringList queries;
    for (const QJsonValue& panel : dashboard["panels"].toArray())
        for (const QJsonValue& target : panel.toObject()["targets"].toArray())
            queries << target.toObject()["expr"].toString();
    const QRegularExpression labelValues("^label_values\\((.*),\\s*\\w+\\)$");
    for (const QJsonValue& variable : dashboard["templating"].toObject()["list"].toArray()) {
        const QString definition = variable.toObject()["definition"].toString();
        if (labelValues.match(definition).hasMatch())
            queries << labelValues.match(definition).captured(1);
    }
    for (QString& query : queries)
        query.replace(QRegularExpression("\\$(site|instance|line|address)\\b"), ".+")
            .replace("$__rate_interval", "1m");
    return queries;
}

// Debian's Prometheus scrapes the exporter's /metrics, and its /probe through the relabelling
// of the multi-target pattern, against pymodbus as an independent gateway; every query of the
// Grafana dashboard then has series.
TEST_F(ExporterEndToEndTest, PrometheusScrapesTheSiteAndProbesAndEveryDashboardQueryHasSeries) {
    const QString prometheus = QStandardPaths::findExecutable("prometheus");
    if (prometheus.isEmpty())
        GTEST_SKIP() << "the prometheus server is not installed (apt-get install prometheus)";
    test::PymodbusPeer peer("socket", 3);
    ASSERT_FALSE(peer.Port().isEmpty());
    WriteConfig(QStringLiteral("[exporter]\nlisten = 127.0.0.1:%1\nprobe-allow = 127.0.0.1\n\n"
                               "[line bench]\nport = 1\naddresses = 1, 7\nlabels = site=south\n\n")
                    .arg(listen) +
                kGatewayLine.arg(gatewayPort));
    StartExporter();
    const quint16 web = test::FreePort();
    QFile config("prometheus.yml");
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                "scrape_configs:\n"
                                "  - job_name: plant-a\n    static_configs:\n"
                                "      - targets: ['127.0.0.1:%1']\n"
                                "  - job_name: gateways\n    metrics_path: /probe\n"
                                "    params: {address: ['3']}\n    static_configs:\n"
                                "      - targets: ['modbus-tcp://127.0.0.1:%2']\n"
                                "    relabel_configs:\n"
                                "      - source_labels: [__address__]\n"
                                "        target_label: __param_target\n"
                                "      - source_labels: [__param_target]\n"
                                "        target_label: instance\n"
                                "      - target_label: __address__\n"
                                "        replacement: 127.0.0.1:%1\n")
                     .arg(listen)
                     .arg(peer.Port())
                     .toUtf8());
    config.close();
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(prometheus, {"--config.file=prometheus.yml", "--storage.tsdb.path=data",
                              QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(web)});
    ASSERT_TRUE(server.waitForStarted(5000));
    const auto result = [&](const QString& query) {
        const QByteArray body = Get(web, "/api/v1/query?query=" + QUrl::toPercentEncoding(query));
        return QJsonDocument::fromJson(body).object()["data"].toObject()["result"].toArray();
    };
    const QStringList queries = DashboardQueries();
    ASSERT_GE(queries.size(), 15);
    QStringList empty;
    (void)QTest::qWaitFor(
        [&] {
            empty.clear();
            for (const QString& query : queries + QStringList{"kvel_probe_success == 1"})
                if (result(query).isEmpty()) empty << query;
            return empty.isEmpty();
        },
        40000);
    const QJsonArray probe = result("kvel_probe_success");
    server.terminate();
    server.waitForFinished(10000);
    EXPECT_TRUE(empty.isEmpty()) << "no series for: " << empty.join("\n").toStdString()
                                 << server.readAll().toStdString();
    ASSERT_EQ(probe.size(), 1);
    const QJsonObject labels = probe[0].toObject()["metric"].toObject();
    EXPECT_EQ(labels["job"].toString(), "gateways");
    EXPECT_EQ(labels["instance"].toString(), "modbus-tcp://127.0.0.1:" + peer.Port());
}

// kvel-cli serve hands over to kvel-exporter; its other verbs never load Qt HTTP Server.
TEST(ExporterProgramTest, OnlyTheExporterLinksTheHttpLibraries) {
    const auto libraries = [](const char* program) {
        QProcess ldd;
        ldd.start("ldd", {program});
        ldd.waitForFinished(10000);
        return QString::fromUtf8(ldd.readAllStandardOutput());
    };
    const QString exporter = libraries(KVEL_EXPORTER_PATH);
    if (exporter.isEmpty()) GTEST_SKIP() << "no ldd";
    EXPECT_TRUE(exporter.contains("libQt6HttpServer")) << exporter.toStdString();
    const QString cli = libraries(KVEL_CLI_PATH);
    EXPECT_FALSE(cli.contains("libQt6HttpServer")) << cli.toStdString();
    EXPECT_FALSE(cli.contains("libQt6WebSockets")) << cli.toStdString();
}

} // namespace
} // namespace kvel
