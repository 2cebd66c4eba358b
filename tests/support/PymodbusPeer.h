// pymodbus, an independent Modbus peer, serving its RTU framer over TCP ("rtu") or Modbus TCP
// ("socket") on a free port of 127.0.0.1, for the unit at one address.
#pragma once

#include <QProcess>
#include <QString>
#include <QTest>

namespace kvel::test {

class PymodbusPeer {
public:
    explicit PymodbusPeer(const QString& framer, int address = 1) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("/usr/bin/python3",
                       {PYMODBUS_PEER_PATH, framer, "0", QString::number(address)});
        const bool said = QTest::qWaitFor(
            [&] {
                words_ += process_.readAllStandardOutput();
                return words_.contains('\n') || process_.state() == QProcess::NotRunning;
            },
            15000);
        if (said && words_.startsWith("listening on ")) port_ = words_.mid(13).trimmed();
    }
    ~PymodbusPeer() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    PymodbusPeer(const PymodbusPeer&) = delete;
    PymodbusPeer& operator=(const PymodbusPeer&) = delete;

    const QString& Port() const { return port_; }

private:
    QProcess process_;
    QString words_;
    QString port_;
};

} // namespace kvel::test
