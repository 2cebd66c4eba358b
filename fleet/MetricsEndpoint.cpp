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
#include <deque>

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
// Connections beyond the total kept for addresses that have none open yet, so that a crowd
// from elsewhere cannot lock a scraper out.
constexpr int kConnectionsForNewAddresses = 16;
// Rate buckets kept for addresses seen; full ones go first when there are more.
constexpr std::size_t kMostRateBuckets = 4096;

using Status = QHttpServerResponder::StatusCode;

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 429:
        return "Too Many Requests";
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

QByteArray ResponseBytes(const HttpAnswer& answer, bool head) {
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                       ReasonPhrase(answer.status) + "\r\n";
    if (!answer.type.isEmpty()) bytes += "Content-Type: " + answer.type + "\r\n";
    for (const auto& [name, value] : answer.headers)
        bytes += name + ": " + value + "\r\n";
    bytes += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n\r\n";
    if (!head) bytes += answer.body;
    return bytes;
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

// Over a cap the connection goes at once, its descriptor freed: a flood must not hold them.
void RefuseAtOnce(QTcpSocket* socket, int status) {
    socket->write(CannedResponse(status));
    socket->flush();
    socket->close();
    socket->deleteLater();
}

// Where the last complete header block among `bytes` ends; GET and HEAD carry no body.
qsizetype EndOfLastRequest(const QByteArray& bytes) {
    const qsizetype end = bytes.lastIndexOf("\r\n\r\n");
    return end < 0 ? 0 : end + 4;
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
        timer_.start(limits_.requestTimeoutMs);
    }

    // An HTTP/1.0 client that did not ask to keep the connection expects it closed.
    bool Http10() const { return http10_; }

    void RequestAnswered() {
        requestBytes_ = 0;
        timer_.start(limits_.idleTimeoutMs);
    }

    // A place in the line of answers, filled when the answer is ready.
    std::uint64_t Reserve(bool closeAfter) {
        answers_.push_back({{}, false, closeAfter});
        return answeredSlots_ + answers_.size() - 1;
    }

    void Fill(std::uint64_t slot, QByteArray bytes) {
        if (slot < answeredSlots_ || slot - answeredSlots_ >= answers_.size()) return;
        PendingAnswer& answer = answers_[slot - answeredSlots_];
        answer.bytes = std::move(bytes);
        answer.ready = true;
        SendReady();
    }

private:
    // Only the request still coming counts against the size: pipelined requests that have
    // arrived whole are the parser's to answer, however many there are.
    void BytesArrived() {
        if (requestBytes_ == 0) timer_.start(limits_.requestTimeoutMs);
        const QByteArray bytes = socket_->peek(socket_->bytesAvailable());
        if (bytes.contains(" HTTP/1.0\r\n")) http10_ = true;
        const qsizetype whole = EndOfLastRequest(bytes);
        requestBytes_ = whole > 0 ? bytes.size() - whole : requestBytes_ + bytes.size();
        if (requestBytes_ >= limits_.maxRequestBytes) Stop(431);
    }

    // The flush sends the answer now: a client that has half-closed its side after the request
    // would otherwise lose it when the socket closes.
    void SendReady() {
        while (!answers_.empty() && answers_.front().ready) {
            const PendingAnswer answer = std::move(answers_.front());
            answers_.pop_front();
            ++answeredSlots_;
            socket_->write(answer.bytes);
            socket_->flush();
            if (!answer.closeAfter) continue;
            answers_.clear();
            socket_->disconnectFromHost();
            return;
        }
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
    struct PendingAnswer {
        QByteArray bytes;
        bool ready;
        bool closeAfter;
    };

    QTimer timer_;
    QMetaObject::Connection watch_;
    qint64 requestBytes_ = 0;
    bool http10_ = false;
    std::deque<PendingAnswer> answers_;
    std::uint64_t answeredSlots_ = 0;
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
        if (!endpoint_ || !endpoint_->Admits(socket->peerAddress()))
            return RefuseAtOnce(socket, 503);
        endpoint_->Accept(socket);
        addPendingConnection(socket);
    }

private:
    QPointer<MetricsEndpoint> endpoint_;
};

MetricsEndpoint::MetricsEndpoint(Page metrics, EndpointLimits limits, QObject* parent)
    : QAbstractHttpServer(parent), metrics_(std::move(metrics)), limits_(limits) {}

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

bool MetricsEndpoint::Admits(const QHostAddress& client) const {
    const auto known = connectionsByAddress_.find(client.toString());
    const int own = known == connectionsByAddress_.end() ? 0 : known->second;
    if (own >= limits_.maxConnectionsPerAddress) return false;
    if (openConnections_ < limits_.maxConnections) return true;
    return own == 0 && openConnections_ < limits_.maxConnections + kConnectionsForNewAddresses;
}

void MetricsEndpoint::Accept(QTcpSocket* socket) {
    socket->setReadBufferSize(limits_.maxRequestBytes);
    // The responder writes an answer in several pieces; with Nagle's algorithm the last waits
    // for the client's delayed acknowledgement, 40 ms a scrape.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    new ConnectionGuard(socket, limits_);
    ++openConnections_;
    const QString client = socket->peerAddress().toString();
    ++connectionsByAddress_[client];
    // The endpoint may be gone by the time its sockets are.
    QPointer<MetricsEndpoint> self(this);
    connect(socket, &QObject::destroyed, [self, client] {
        if (!self) return;
        --self->openConnections_;
        if (--self->connectionsByAddress_[client] == 0) self->connectionsByAddress_.erase(client);
    });
}

// A bucket per address that fills at the allowed rate and holds a second's worth. Buckets that
// have filled up again hold nothing worth keeping.
bool MetricsEndpoint::TakeRateToken(const QHostAddress& client) {
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    const double most = limits_.maxRequestsPerSecond;
    const auto refilled = [&](const RateBucket& bucket) {
        return std::min(most, bucket.tokens + most / 1000.0 * double(nowMs - bucket.refilledAtMs));
    };
    if (rateBuckets_.size() >= kMostRateBuckets)
        for (auto at = rateBuckets_.begin(); at != rateBuckets_.end();)
            at = refilled(at->second) >= most ? rateBuckets_.erase(at) : std::next(at);
    RateBucket& bucket =
        rateBuckets_.try_emplace(client.toString(), RateBucket{most, nowMs}).first->second;
    bucket.tokens = refilled(bucket);
    bucket.refilledAtMs = nowMs;
    if (bucket.tokens < 1) return false;
    bucket.tokens -= 1;
    return true;
}

void MetricsEndpoint::AddLatePage(const QString& path, LatePage page) {
    latePages_[path] = std::move(page);
}

// Qt HTTP Server keeps every connection open; one whose client asked for it to close is closed
// once the answer is out.
bool MetricsEndpoint::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // The guard has no meta-object of its own, so it is found by its name.
    auto* guard = static_cast<ConnectionGuard*>(
        socket->findChild<QObject*>(kGuardName, Qt::FindDirectChildrenOnly));
    if (!guard) return true;
    guard->RequestAnswered();
    const QByteArray connection = request.value("connection").toLower();
    const bool close = connection == "close" || (guard->Http10() && connection != "keep-alive");
    const bool head = request.method() == QHttpServerRequest::Method::Head;
    const std::uint64_t slot = guard->Reserve(close);
    // A late answer may find its connection gone.
    const QPointer<ConnectionGuard> to(guard);
    Answer(request, [to, slot, head](const HttpAnswer& answer) {
        if (to) to->Fill(slot, ResponseBytes(answer, head));
    });
    return true;
}

void MetricsEndpoint::Answer(const QHttpServerRequest& request, const Reply& reply) {
    if (!TakeRateToken(request.remoteAddress()))
        return reply({429, {}, {}, {{"Retry-After", "1"}}});
    const QString path = request.url().path();
    const auto late = latePages_.find(path);
    if (path != QLatin1String("/") && path != QLatin1String("/metrics") && late == latePages_.end())
        return reply({404, "text/plain", "Not found: try /metrics\n", {}});
    const auto method = request.method();
    if (method != QHttpServerRequest::Method::Head && method != QHttpServerRequest::Method::Get)
        return reply({405, {}, {}, {{"Allow", "GET, HEAD"}}});
    if (late != latePages_.end()) return late->second(request, reply);
    if (path == QLatin1String("/metrics"))
        return reply({200, kMetricsType, QByteArray::fromStdString(metrics_()), {}});
    reply({200, "text/html; charset=utf-8", kIndexPage, {}});
}

void MetricsEndpoint::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(Status::NotFound);
}

} // namespace kvel
