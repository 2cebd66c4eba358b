// Debian's ser2net run as a separate process, with telnet COM port control (RFC 2217) in front
// of a device (or plain telnet, which refuses it), on a free port of 127.0.0.1; its configuration
// is written to the current (scratch) folder.
#pragma once

#include "FreePort.h"

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

namespace kvel::test {

class Ser2net {
public:
    // `device` is opened by ser2net at 9600 bit/s 8N1 for every connection, as a server's own
    // configuration does; the client sets the rate it wants.
    explicit Ser2net(const QString& device, const QString& telnet = "telnet(rfc2217)") {
        port_ = FreePort();
        QFile config("ser2net.yaml");
        if (port_ == 0 || !config.open(QIODevice::WriteOnly)) return;
        config.write(QStringLiteral("%YAML 1.1\n---\n"
                                    "connection: &unit\n"
                                    "  accepter: %1,tcp,127.0.0.1,%2\n"
                                    "  connector: serialdev,%3,9600n81,local\n")
                         .arg(telnet)
                         .arg(port_)
                         .arg(device)
                         .toUtf8());
        config.close();
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start("ser2net", {"-n", "-d", "-c", "ser2net.yaml", "-P", "ser2net.pid"});
        started_ =
            process_.waitForStarted(5000) && QTest::qWaitFor([this] { return Listening(); }, 5000);
    }
    ~Ser2net() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(5000);
    }
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    bool Started() const { return started_; }
    QString PortName() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port_); }

private:
    // Listening, told without connecting: a connection would open the device.
    bool Listening() const {
        QFile table("/proc/net/tcp");
        if (!table.open(QIODevice::ReadOnly)) return false;
        const QByteArray local = QByteArray("0100007F:") +
                                 QByteArray::number(port_, 16).toUpper().rightJustified(4, '0');
        for (const QByteArray& line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[1] == local && fields[3] == "0A") return true;
        }
        return false;
    }

    QProcess process_;
    quint16 port_ = 0;
    bool started_ = false;
};

} // namespace kvel::test
