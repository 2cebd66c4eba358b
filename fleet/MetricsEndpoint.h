// The HTTP endpoint Prometheus scrapes: GET /metrics answers with a page built from what was
// last read, GET / links to it, and further paths may answer later, when their page is ready.
// Qt HTTP Server reads the requests; this class adds what a service open to a network needs
// around it: a limit on connections, on a request's size and time, and on the rate of
// requests, each refused with its own status code. Answers on one connection go out in the
// order of its requests, however late one of them comes.
#pragma once

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QList>
#include <QPair>

#include <functional>
#include <map>
#include <optional>
#include <string>

class QTcpServer;

namespace kvel {

// Every budget but the total of connections is kept per client address, so that a client that
// misbehaves spends only its own and another scraper's requests go on being answered.
struct EndpointLimits {
    // Of all addresses together; an address with none open yet may go a few beyond it.
    int maxConnections = 64;
    int maxConnectionsPerAddress = 16;
    // A scrape's request is a few hundred bytes; GET and HEAD carry no body.
    int maxRequestBytes = 8192;
    // From a new connection to its first request, and from a request's first byte to its last.
    int requestTimeoutMs = 5000;
    // A kept-alive connection with no request under way.
    int idleTimeoutMs = 60000;
    // Requests of one address answered in any one second beyond a burst of as many.
    int maxRequestsPerSecond = 200;
};

struct HttpAnswer {
    int status = 200;
    QByteArray type;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

class MetricsEndpoint : public QAbstractHttpServer {
    Q_OBJECT
public:
    using Page = std::function<std::string()>;
    // May be called at any later time, or never; a connection gone by then is passed over.
    using Reply = std::function<void(const HttpAnswer&)>;
    using LatePage = std::function<void(const QHttpServerRequest&, Reply)>;

    explicit MetricsEndpoint(Page metrics, EndpointLimits limits = {}, QObject* parent = nullptr);

    // Nothing when listening; else why not ("address in use" and the like).
    std::optional<std::string> Listen(const QHostAddress& address, quint16 port);
    // GET and HEAD of `path` answered by `page`.
    void AddLatePage(const QString& path, LatePage page);
    quint16 Port() const;
    int OpenConnections() const { return openConnections_; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    friend class GuardedTcpServer;
    struct RateBucket {
        double tokens;
        qint64 refilledAtMs;
    };

    bool Admits(const QHostAddress& client) const;
    void Accept(QTcpSocket* socket);
    void Answer(const QHttpServerRequest& request, const Reply& reply);
    bool TakeRateToken(const QHostAddress& client);

    Page metrics_;
    std::map<QString, LatePage> latePages_;
    EndpointLimits limits_;
    QTcpServer* tcpServer_ = nullptr;
    int openConnections_ = 0;
    std::map<QString, int> connectionsByAddress_;
    std::map<QString, RateBucket> rateBuckets_;
};

// Answers without reading the request, for a connection refused before or instead of it.
QByteArray CannedResponse(int status);
// The answer as it goes on the line, with its Content-Length; without the body for HEAD.
QByteArray ResponseBytes(const HttpAnswer& answer, bool head);

} // namespace kvel
