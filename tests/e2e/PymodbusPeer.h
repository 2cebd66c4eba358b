// pymodbus (Debian's python3-pymodbus) run by tests/e2e/pymodbus_peer.py as an independent
// Modbus peer on a free port of 127.0.0.1.
#pragma once

#include <QProcess>
#include <QString>
#include <QTest>

namespace kvel::test {

// pymodbus serving its RTU framer over TCP ("rtu") or Modbus TCP ("socket").
class PymodbusPeer {
public:
    explicit PymodbusPeer(const QString& framer) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("/usr/bin/python3", {PYMODBUS_PEER_PATH, framer});
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
    const QString& Port() const { return port_; }

private:
    QProcess process_;
    QString words_;
    QString port_;
};

} // namespace kvel::test
