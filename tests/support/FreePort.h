// A loopback port nobody listens on, for a server a test starts.
#pragma once

#include <QTcpServer>

namespace kvel::test {

inline quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace kvel::test
