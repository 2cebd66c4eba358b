// A network line whose server is not there to talk to: one that never takes the connection (its
// backlog full), a name that does not resolve, a port nobody listens on. The window program and
// kvel-cli must say so, count the outage once, and show nothing as sent.
#include "DiagnosticsTools.h"
#include "FullBacklogServer.h"
#include "MessageCapture.h"
#include "MonitorWindow.h"
#include "NetworkLine.h"
#include "RoutingChannel.h"
#include "ScratchDir.h"
#include "Unit1.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

// Two connect time-outs of 3 s with the keeper's second between them, on a loaded machine.
constexpr int kTwoRetriesMs = 9000;

class NetworkOutageEndToEndTest : public ::testing::Test {
protected:
    void StartProgram(const std::string& port) {
        // COM1 at 9600 bit/s, address 1.
        QFile file("data.inf");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("010003000100"));
        file.close();
        ASSERT_TRUE(WriteNetworkChoice(kNetworkIniName, {port, true}));
        form = std::make_unique<TForm1>(channel);
        form->show();
        form->activateWindow();
        monitor = form->Room<DiagnosticsTools>()->OpenMonitor();
        ASSERT_NE(monitor, nullptr);
    }

    bool HeaderSaysLost() const {
        return monitor->CauseLabel->text().startsWith(QStringLiteral("Нет связи"));
    }
    bool PanelSaysLost() const {
        return form->PanelText(kPanelLink) == QStringLiteral("Нет связи");
    }

    // The monitor's lines, read as the operator sees them: direction and frame.
    QStringList Lines(int column) const {
        monitor->Refresh();
        QStringList lines;
        for (int row = 0; row < monitor->ShownRows(); ++row)
            lines << monitor->ShownText(row, column);
        return lines;
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    RoutingChannel channel;
    std::unique_ptr<TForm1> form;
    MonitorWindow* monitor = nullptr;
};

TEST_F(NetworkOutageEndToEndTest,
       AServerThatNeverTakesTheConnectionIsOneLossTheWholeWindowAgreesOn) {
    test::FullBacklogServer hung;
    ASSERT_TRUE(hung.Full());
    const std::string where = "127.0.0.1:" + std::to_string(hung.Port());
    ASSERT_NO_FATAL_FAILURE(StartProgram("tcp://" + where));

    QElapsedTimer clock;
    clock.start();
    int disagreements = 0;
    while (clock.elapsed() < kTwoRetriesMs) {
        QTest::qWait(50);
        monitor->Refresh();
        disagreements += HeaderSaysLost() != PanelSaysLost();
    }
    EXPECT_TRUE(PanelSaysLost());
    EXPECT_EQ(monitor->CauseLabel->text().toStdString().rfind("Нет связи: узел не отвечает", 0), 0u)
        << monitor->CauseLabel->text().toStdString();
    EXPECT_EQ(disagreements, 0) << "the header and the status bar read the same link";
    const LinkCounters& counters = form->Room<DiagnosticsTools>()->Traffic().Counters();
    EXPECT_EQ(counters.LinkLosses(), 1u);
    EXPECT_GE(counters.ConnectionFailures(OpenFailureReason::ConnectionTimedOut), 2u)
        << "the keeper kept trying";
    EXPECT_EQ(counters.Requests(), 0u) << "nothing went to a line that was not there";

    const QStringList frames = Lines(4);
    EXPECT_EQ(frames.count(QString::fromStdString("Соединение с " + where + ": узел не отвечает")),
              1)
        << frames.join('\n').toStdString();
    EXPECT_EQ(frames.filter(QStringLiteral("Порт открыт")).size(), 0);
    EXPECT_EQ(Lines(2).count(QStringLiteral("→ передача")), 0);
    for (const QString& ms : Lines(0))
        EXPECT_FALSE(ms.startsWith('-')) << ms.toStdString();
    EXPECT_TRUE(messages.texts.isEmpty()) << "a connection under way is no open failure";
}

TEST_F(NetworkOutageEndToEndTest, AHostThatDoesNotResolveIsToldOnceWithItsCause) {
    ASSERT_NO_FATAL_FAILURE(StartProgram("modbus-tcp://no-such-host.invalid:5020"));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
            return form->Room<DiagnosticsTools>()->Traffic().Counters().ConnectionFailures(
                       OpenFailureReason::HostNotFound) >= 3;
        },
        30000));
    const QStringList frames = Lines(4);
    EXPECT_EQ(
        frames.count(QStringLiteral("Соединение с no-such-host.invalid:5020: узел не найден")), 1)
        << frames.join('\n').toStdString();
    EXPECT_EQ(frames.count(QStringLiteral("Нет связи: узел не найден")), 1);
    EXPECT_EQ(frames.filter(QStringLiteral("Порт открыт")).size(), 0);
    EXPECT_EQ(Lines(2).count(QStringLiteral("→ передача")), 0);
    EXPECT_EQ(form->Room<DiagnosticsTools>()->Traffic().Counters().LinkLosses(), 1u);
    EXPECT_TRUE(PanelSaysLost());
    EXPECT_TRUE(HeaderSaysLost());
}

TEST_F(NetworkOutageEndToEndTest, ARefusedConnectionIsNotCalledACommPortError) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const std::string where = "127.0.0.1:" + std::to_string(closed.serverPort());
    closed.close();
    ASSERT_NO_FATAL_FAILURE(StartProgram("tcp://" + where));
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts[0].toStdString(),
              "Ошибка подключения к " + where + "\nсоединение отвергнуто");
}

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

CliRun Cli(const QStringList& arguments) {
    QProcess cli;
    cli.start(KVEL_CLI_PATH, arguments);
    CliRun run;
    if (!cli.waitForFinished(60000)) return run;
    run.exitCode = cli.exitCode();
    run.out = QString::fromUtf8(cli.readAllStandardOutput());
    run.err = QString::fromUtf8(cli.readAllStandardError());
    return run;
}

// Before, kvel-cli sent its requests into the void and blamed the unit.
TEST(NetworkOutageCliTest, AServerThatNeverTakesTheConnectionCannotBeConnectedTo) {
    test::FullBacklogServer hung;
    ASSERT_TRUE(hung.Full());
    const QString port = "tcp://127.0.0.1:" + QString::number(hung.Port());
    // find waits its own time for each address and takes no --timeout.
    const QStringList calls[] = {{"--timeout", "1", "--verbose", "status"}, {"find"}};
    for (const QStringList& call : calls) {
        const CliRun run = Cli(QStringList{"--port", port} + call);
        const std::string verb = call.last().toStdString();
        EXPECT_EQ(run.exitCode, 2) << verb;
        EXPECT_TRUE(run.err.contains("cannot connect to " + port + ": the host does not answer"))
            << verb << ": " << run.err.toStdString();
        EXPECT_FALSE(run.err.contains("no answer from the unit")) << verb;
        EXPECT_FALSE(run.err.contains("kvel-cli: >")) << verb << ": nothing was sent";
    }
}

} // namespace
} // namespace kvel
