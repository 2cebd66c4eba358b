// What the end-to-end tests of the exporter share: a free port, a GET over a fresh connection,
// a page's samples, Prometheus' checker, and the registers kvel-sim prints on SIGUSR2.
#pragma once

#include "FreePort.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <map>
#include <utility>

namespace kvel::test {

struct HttpReply {
    int status = 0;
    QByteArray body;
};

// A body sent in chunks (as Prometheus sends a long answer) put back together.
inline QByteArray Dechunked(const QByteArray& chunked) {
    QByteArray body;
    qsizetype at = 0;
    for (;;) {
        const qsizetype lineEnd = chunked.indexOf("\r\n", at);
        if (lineEnd < 0) return body;
        bool read = false;
        const qsizetype size =
            chunked.mid(at, lineEnd - at).split(';').first().toLongLong(&read, 16);
        if (!read || size <= 0) return body;
        body += chunked.mid(lineEnd + 2, size);
        at = lineEnd + 2 + size + 2;
    }
}

// One GET over a fresh connection, which the endpoint closes after its answer as asked.
inline HttpReply Fetch(quint16 port, const QByteArray& path, const QByteArray& headers = {}) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000)) return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers +
                 "\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(5000))
        reply += socket.readAll();
    reply += socket.readAll();
    if (!reply.startsWith("HTTP/1.1 ")) return {};
    const qsizetype headEnd = reply.indexOf("\r\n\r\n");
    const QByteArray head = reply.left(headEnd).toLower();
    const QByteArray body = reply.mid(headEnd + 4);
    return {reply.mid(9, 3).toInt(),
            head.contains("transfer-encoding: chunked") ? Dechunked(body) : body};
}

// The body of a GET, or nothing when no 200 came.
inline QByteArray Get(quint16 port, const QByteArray& path) {
    const HttpReply reply = Fetch(port, path);
    return reply.status == 200 ? reply.body : QByteArray();
}

// "name{labels} value" lines of a page, by name and labels as written.
inline std::map<QString, double> Samples(const QByteArray& page) {
    std::map<QString, double> samples;
    for (const QByteArray& line : page.split('\n')) {
        if (line.isEmpty() || line.startsWith('#')) continue;
        const int space = line.lastIndexOf(' ');
        samples[QString::fromUtf8(line.left(space))] = line.mid(space + 1).toDouble();
    }
    return samples;
}

// promtool check metrics on the page: nothing when it passes, else what it says; nullopt-like
// "skip" when promtool is not installed.
struct PromtoolVerdict {
    bool installed = false;
    bool passed = false;
    QByteArray said;
};

inline PromtoolVerdict CheckMetrics(const QByteArray& page) {
    QProcess promtool;
    promtool.start("promtool", {"check", "metrics"});
    if (!promtool.waitForStarted(5000)) return {};
    promtool.write(page);
    promtool.closeWriteChannel();
    const bool finished = promtool.waitForFinished(10000);
    return {true, finished && promtool.exitCode() == 0, promtool.readAll()};
}

// The holding registers of each unit a kvel-sim serves, by the unit's address, as it prints
// them on SIGUSR2.
inline std::map<int, std::map<int, int>> SimulatorHolding(QProcess& sim, int units) {
    sim.readAllStandardError();
    ::kill(static_cast<pid_t>(sim.processId()), SIGUSR2);
    QByteArray dump;
    (void)QTest::qWaitFor(
        [&] {
            dump += sim.readAllStandardError();
            return dump.count("H26=") == units;
        },
        3000);
    std::map<int, std::map<int, int>> holding;
    std::map<int, int> unit;
    for (const QByteArray& line : dump.split('\n')) {
        const QList<QByteArray> parts = line.mid(1).split('=');
        if (!line.startsWith('H') || parts.size() != 2) continue;
        unit[parts[0].toInt()] = parts[1].toInt();
        if (parts[0] != "26") continue;
        const int address = unit[14];
        holding[address] = std::exchange(unit, {});
    }
    return holding;
}

} // namespace kvel::test
