// The programs around kvel-gateway in the end-to-end tests: any program run to its end or for
// as long as a test needs it, a free loopback port, and what mbpoll printed.
#pragma once

#include "FreePort.h"

#include <QProcess>
#include <QStringList>
#include <QTcpServer>
#include <QTest>

namespace kvel::test {

// A program run to its end, or for as long as the test needs it.
class Program {
public:
    Program(const QString& path, const QStringList& arguments,
            QProcess::ProcessChannelMode channels = QProcess::SeparateChannels) {
        process_.setProcessChannelMode(channels);
        process_.start(path, arguments);
        process_.waitForStarted(5000);
    }
    ~Program() { Stop(); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Finish(int ms = 120000) { return process_.waitForFinished(ms); }
    void Stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(5000);
    }
    int ExitCode() const {
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    QString Out() { return out_ += QString::fromUtf8(process_.readAllStandardOutput()); }
    QString Err() { return err_ += QString::fromUtf8(process_.readAllStandardError()); }
    bool WaitForErr(const QString& text, int ms = 10000) {
        return QTest::qWaitFor([&] { return Err().contains(text); }, ms);
    }

private:
    QProcess process_;
    QString out_;
    QString err_;
};

// Every "-- Polling" round mbpoll printed, and each of its faults (on stderr, merged).
struct MbpollRounds {
    int rounds = 0;
    QStringList faults;
    QStringList values;
};

inline MbpollRounds ReadMbpoll(const QString& out) {
    MbpollRounds read;
    for (const QString& line : out.split('\n')) {
        if (line.startsWith("-- Polling")) ++read.rounds;
        if (line.contains("failed")) read.faults << line;
        if (line.startsWith("[17]:")) read.values << line.mid(5).trimmed();
    }
    return read;
}

// mbpoll reading the voltage setpoint of `unit` through the gateway on `port` every `intervalMs`,
// under stdbuf: line-buffered, so that its rounds reach the pipe before it is stopped.
inline QStringList MbpollArguments(quint16 port, int unit, int intervalMs) {
    return {"-oL",      "mbpoll",
            "-m",       "tcp",
            "-p",       QString::number(port),
            "-a",       QString::number(unit),
            "-r",       "17",
            "-l",       QString::number(intervalMs),
            "127.0.0.1"};
}

} // namespace kvel::test
