// The HTTP endpoint Prometheus scrapes, with its limits.
#include "MetricsEndpoint.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace kvel {

namespace {

constexpr char kMetricsType[] = "text/plain; version=0.0.4; charset=utf-8";
constexpr char kIndexPage[] =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>kvel exporter</title></head>\n"
    "<body><h1>kvel exporter</h1><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";
// Long enough for a refusal to reach a client that reads it; then the connection goes anyway.
constexpr int kLingerMs = 1000;
// Out of file descriptors, Qt stops accepting for good; it is asked to go on after this pause.
constexpr int kAcceptRetryMs = 100;

using Status = QHttpServerResponder::StatusCode;

const char* ReasonPhrase(int status) {
    switch (status) {
    case 408:
        return "Request Timeout";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Service Unavailable";
    }
}

} // namespace

QByteArray CannedResponse(int status) {
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + ReasonPhrase(status) +
           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

namespace {

// Ends a connection after a refusal: the answer is sent, the line closed, and a client that
// does not read is cut off after a while.
void Refuse(QTcpSocket* socket, int status) {
    socket->write(CannedResponse(status));
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kLingerMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
}

const QString kGuardName = QStringLiteral("kvel-connection-guard");

// Watches one connection for the limits Qt HTTP Server does not keep: the size of a request,
// its time, and the time a kept-alive connection sits idle. (A request it cannot parse it ends
// itself, by closing the connection.) Its readyRead slot runs before the
// server's, which is connected later, so it sees each new piece before the parser does.
class ConnectionGuard : public QObject {
public:
    ConnectionGuard(QTcpSocket* socket, const EndpointLimits& limits)
        : QObject(socket), socket_(socket), limits_(limits) {
        setObjectName(kGuardName);
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, &ConnectionGuard::TimeUp);
        watch_ = connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::BytesArrived);
        timer_.start(limits_.idleTimeoutMs);
    }

    void RequestAnswered() {
        requestBytes_ = 0;
        timer_.start(limits_.idleTimeoutMs);
    }

private:
    void BytesArrived() {
        if (requestBytes_ == 0) timer_.start(limits_.requestTimeoutMs);
        requestBytes_ += socket_->bytesAvailable();
        if (requestBytes_ >= limits_.maxRequestBytes) Stop(431);
    }

    void TimeUp() {
        if (requestBytes_ > 0) return Stop(408);
        socket_->disconnectFromHost();
    }

    void Stop(int status) {
        timer_.stop();
        disconnect(watch_);
        Refuse(socket_, status);
    }

    QTcpSocket* socket_;
    EndpointLimits limits_;
    QTimer timer_;
    QMetaObject::Connection watch_;
    qint64 requestBytes_ = 0;
};

} // namespace

// Takes each connection before Qt HTTP Server sees it: over the limit it is refused at once,
// otherwise it gets a guard and a bounded read buffer.
class GuardedTcpServer : public QTcpServer {
public:
    explicit GuardedTcpServer(MetricsEndpoint& endpoint) : endpoint_(&endpoint) {
        connect(this, &QTcpServer::acceptError, this, [this] {
            QTimer::singleShot(kAcceptRetryMs, this, [this] { resumeAccepting(); });
        });
    }

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (!endpoint_ || endpoint_->openConnections_ >= endpoint_->limits_.maxConnections) {
            Refuse(socket, 503);
            return;
        }
        endpoint_->Accept(socket);
        addPendingConnection(socket);
    }

private:
    QPointer<MetricsEndpoint> endpoint_;
};

MetricsEndpoint::MetricsEndpoint(Page metrics, EndpointLimits limits, QObject* parent)
    : QAbstractHttpServer(parent), metrics_(std::move(metrics)), limits_(limits),
      rateTokens_(limits.maxRequestsPerSecond) {}

std::optional<std::string> MetricsEndpoint::Listen(const QHostAddress& address, quint16 port) {
    auto* server = new GuardedTcpServer(*this);
    if (!server->listen(address, port)) {
        const std::string why = server->errorString().toStdString();
        delete server;
        return why;
    }
    tcpServer_ = server;
    bind(server);
    return std::nullopt;
}

quint16 MetricsEndpoint::Port() const {
    return tcpServer_ ? tcpServer_->serverPort() : 0;
}

void MetricsEndpoint::Accept(QTcpSocket* socket) {
    socket->setReadBufferSize(limits_.maxRequestBytes);
    // The responder writes an answer in several pieces; with Nagle's algorithm the last waits
    // for the client's delayed acknowledgement, 40 ms a scrape.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    new ConnectionGuard(socket, limits_);
    ++openConnections_;
    // The endpoint may be gone by the time its sockets are.
    QPointer<MetricsEndpoint> self(this);
    connect(socket, &QObject::destroyed, [self] {
        if (self) --self->openConnections_;
    });
}

// A bucket that fills at the allowed rate and holds a second's worth.
bool MetricsEndpoint::TakeRateToken() {
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    const double perMs = limits_.maxRequestsPerSecond / 1000.0;
    rateTokens_ = std::min<double>(limits_.maxRequestsPerSecond,
                                   rateTokens_ + perMs * double(nowMs - rateRefilledAtMs_));
    rateRefilledAtMs_ = nowMs;
    if (rateTokens_ < 1) return false;
    rateTokens_ -= 1;
    return true;
}

// Qt HTTP Server keeps every connection open; one whose client asked for it to close is closed
// once the answer is out.
bool MetricsEndpoint::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // The guard has no meta-object of its own, so it is found by its name.
    if (QObject* guard = socket->findChild<QObject*>(kGuardName, Qt::FindDirectChildrenOnly))
        static_cast<ConnectionGuard*>(guard)->RequestAnswered();
    Answer(request, socket);
    if (request.value("connection").compare("close", Qt::CaseInsensitive) == 0)
        socket->disconnectFromHost();
    return true;
}

void MetricsEndpoint::Answer(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    if (!TakeRateToken()) {
        responder.write({{"Retry-After", "1"}}, Status::TooManyRequests);
        return;
    }
    const QString path = request.url().path();
    if (path != QLatin1String("/") && path != QLatin1String("/metrics")) {
        responder.write(QByteArray("Not found: try /metrics\n"), "text/plain", Status::NotFound);
        return;
    }
    const auto method = request.method();
    const bool head = method == QHttpServerRequest::Method::Head;
    if (!head && method != QHttpServerRequest::Method::Get) {
        responder.write({{"Allow", "GET, HEAD"}}, Status::MethodNotAllowed);
        return;
    }
    const bool metrics = path == QLatin1String("/metrics");
    const QByteArray body = metrics ? QByteArray::fromStdString(metrics_()) : kIndexPage;
    const QByteArray type = metrics ? kMetricsType : "text/html; charset=utf-8";
    if (!head) {
        responder.write(body, type);
        return;
    }
    responder.writeStatusLine(Status::Ok);
    responder.writeHeader("Content-Type", type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeBody(QByteArray());
}

void MetricsEndpoint::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(Status::NotFound);
}

} // namespace kvel
