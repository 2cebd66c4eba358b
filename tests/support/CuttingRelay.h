// A TCP relay in front of kvel-sim that cuts the line at a chosen moment: once the client has
// sent a given run of bytes, the next answer from the server still goes through, and a moment
// later both connections are dropped and no new one is taken. It runs on the test's event
// loop, so the test waits with QTest::qWaitFor, never a blocking wait.
#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace kvel::test {

class CuttingRelay {
public:
    // `cutAfter`: what the client sends before the answer after which the line goes down.
    CuttingRelay(quint16 serverPort, QByteArray cutAfter, int cutDelayMs)
        : serverPort_(serverPort), cutAfter_(std::move(cutAfter)), cutDelayMs_(cutDelayMs) {
        listener_.listen(QHostAddress::LocalHost);
        QObject::connect(&listener_, &QTcpServer::newConnection, [this] { Accept(); });
    }

    QString PortName() const {
        return QStringLiteral("tcp://127.0.0.1:%1").arg(listener_.serverPort());
    }
    bool Cut() const { return cut_; }

private:
    void Accept() {
        client_.reset(listener_.nextPendingConnection());
        server_ = std::make_unique<QTcpSocket>();
        server_->connectToHost(QHostAddress::LocalHost, serverPort_);
        QObject::connect(client_.get(), &QTcpSocket::readyRead, [this] { FromClient(); });
        QObject::connect(server_.get(), &QTcpSocket::readyRead, [this] { FromServer(); });
        QObject::connect(server_.get(), &QTcpSocket::connected, [this] { FromClient(); });
    }

    void FromClient() {
        if (server_->state() != QAbstractSocket::ConnectedState) return;
        const QByteArray bytes = client_->readAll();
        sent_ += bytes;
        armed_ = armed_ || sent_.contains(cutAfter_);
        server_->write(bytes);
    }

    void FromServer() {
        client_->write(server_->readAll());
        client_->flush();
        if (!armed_ || cutting_) return;
        cutting_ = true;
        QTimer::singleShot(cutDelayMs_, [this] {
            listener_.close();
            client_->abort();
            server_->abort();
            cut_ = true;
        });
    }

    quint16 serverPort_;
    QByteArray cutAfter_;
    int cutDelayMs_;
    QTcpServer listener_;
    std::unique_ptr<QTcpSocket> client_;
    std::unique_ptr<QTcpSocket> server_;
    QByteArray sent_;
    bool armed_ = false;
    bool cutting_ = false;
    bool cut_ = false;
};

} // namespace kvel::test
