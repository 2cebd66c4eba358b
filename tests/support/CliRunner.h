// kvel-cli run as a program, as a script runs it: to its end (its exit code and what it wrote on
// each stream), or left running while the test pulls the line from under it.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace kvel::test {

struct CliRun {
    // -1 when it did not end in time, or ended by a signal.
    int exitCode = -1;
    QString out;
    QString err;
};

// What a run that has ended said, and how it ended.
inline CliRun Finished(QProcess& cli, int waitMs = 120000) {
    CliRun run;
    if (!cli.waitForFinished(waitMs)) return run;
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.out = QString::fromUtf8(cli.readAllStandardOutput());
    run.err = QString::fromUtf8(cli.readAllStandardError());
    return run;
}

inline CliRun RunCli(const QStringList& arguments, int timeoutMs = 120000) {
    QProcess cli;
    cli.start(KVEL_CLI_PATH, arguments);
    return Finished(cli, timeoutMs);
}

inline QStringList Lines(const QString& text) {
    return text.split('\n', Qt::SkipEmptyParts);
}

} // namespace kvel::test
