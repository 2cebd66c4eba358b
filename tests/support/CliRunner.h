// kvel-cli run as a program, as a script runs it: its exit code and what it wrote on each stream.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace kvel::test {

struct CliRun {
    // -1 when it did not finish in time.
    int exitCode = -1;
    QString out;
    QString err;
};

inline CliRun RunCli(const QStringList& arguments, int timeoutMs = 120000) {
    QProcess cli;
    cli.start(KVEL_CLI_PATH, arguments);
    CliRun run;
    if (!cli.waitForFinished(timeoutMs)) return run;
    run.exitCode = cli.exitCode();
    run.out = QString::fromUtf8(cli.readAllStandardOutput());
    run.err = QString::fromUtf8(cli.readAllStandardError());
    return run;
}

} // namespace kvel::test
