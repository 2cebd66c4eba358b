// kvel-sim run as a separate process, for the end-to-end tests and the benchmarks: on a
// pseudo-terminal linked at dosdevices/com1 of the current working directory, or on a free TCP
// port of 127.0.0.1.
#pragma once

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include <csignal>
#include <map>

namespace kvel::test {

class SimulatedUnit {
public:
    explicit SimulatedUnit(QStringList extraArguments = {}) {
        QFile::remove(kLink);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(KVEL_SIM_PATH,
                       QStringList{"--link", kLink, "--state-file", kStateFile} + extraArguments);
        started_ = process_.waitForStarted(5000) &&
                   QTest::qWaitFor([] { return QFile::exists(kLink); }, 5000);
    }
    // `transport` is "--tcp" (RTU over TCP) or "--modbus-tcp"; PortName() names where it listens.
    SimulatedUnit(const QString& transport, QStringList extraArguments) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(KVEL_SIM_PATH,
                       QStringList{transport, "0", "--state-file", kStateFile} + extraArguments);
        const QRegularExpression where(" on (\\S+://\\S+) ");
        QString said;
        started_ = process_.waitForStarted(5000) && QTest::qWaitFor(
                                                        [&] {
                                                            said +=
                                                                process_.readAllStandardOutput();
                                                            return where.match(said).hasMatch();
                                                        },
                                                        5000);
        if (started_) portName_ = where.match(said).captured(1);
    }
    ~SimulatedUnit() { Stop(); }
    SimulatedUnit(const SimulatedUnit&) = delete;
    SimulatedUnit& operator=(const SimulatedUnit&) = delete;

    bool Started() const { return started_; }
    const QString& PortName() const { return portName_; }
    void ToggleSilence() { ::kill(static_cast<pid_t>(process_.processId()), SIGUSR1); }
    // The line is pulled and plugged in again after --gone ms, on a new pty at the same link.
    void PullAndReplug() { ::kill(static_cast<pid_t>(process_.processId()), SIGHUP); }
    // Gone at once, as a pulled adapter: no clean-up of its own. Its link goes first, as the
    // adapter's device node does; the terminal number the kill frees may go at once to another
    // test's unit, which a reopen through a stale link would then take.
    void Vanish() {
        if (portName_.isEmpty()) QFile::remove(kLink);
        process_.kill();
        process_.waitForFinished(5000);
    }
    void Stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) Vanish();
    }

    // The unit's holding registers as it last wrote them down.
    std::map<int, int> Holding() const {
        std::map<int, int> registers;
        QFile file(kStateFile);
        if (!file.open(QIODevice::ReadOnly)) return registers;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> parts = line.mid(1).split('=');
            if (line.startsWith('H') && parts.size() == 2)
                registers[parts[0].toInt()] = parts[1].toInt();
        }
        return registers;
    }

    static constexpr const char* kLink = "dosdevices/com1";
    static constexpr const char* kStateFile = "unit-state.txt";

private:
    QProcess process_;
    bool started_ = false;
    QString portName_;
};

} // namespace kvel::test
