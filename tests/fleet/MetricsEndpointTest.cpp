// The metrics endpoint over loopback: its routes, and every limit it keeps, each refused with
// its status code while the endpoint goes on answering scrapes.
#include "MetricsEndpoint.h"

#include <QElapsedTimer>
#include <QHttpServerRequest>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace kvel {
namespace {

struct Reply {
    int status = 0;
    QByteArray head;
    QByteArray body;
    bool closed = false;
};

// Enough of a client to read one answer: the status, the header block and Content-Length bytes.
class Client {
public:
    // From a loopback address of its own, as a client on another machine would be.
    explicit Client(quint16 port, const QHostAddress& from = {}) {
        if (!from.isNull()) socket_.bind(from, 0);
        socket_.connectToHost(QHostAddress::LocalHost, port);
    }

    bool Connected() { return socket_.waitForConnected(2000); }
    void Send(const QByteArray& bytes) {
        socket_.write(bytes);
        socket_.flush();
    }

    Reply Receive(int timeoutMs = 3000, bool headOnly = false) {
        Reply reply;
        QByteArray buffer;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            buffer += socket_.readAll();
            const int end = buffer.indexOf("\r\n\r\n");
            if (end >= 0) {
                reply.head = buffer.left(end);
                reply.status = reply.head.mid(9, 3).toInt();
                const int length = headOnly ? 0 : Header(reply.head, "content-length").toInt();
                if (buffer.size() >= end + 4 + length) {
                    reply.body = buffer.mid(end + 4, length);
                    return reply;
                }
            }
            if (socket_.state() == QAbstractSocket::UnconnectedState) {
                reply.closed = true;
                return reply;
            }
            QTest::qWait(5);
        }
        return reply;
    }

    bool ClosedWithin(int ms) {
        return QTest::qWaitFor(
            [this] {
                socket_.readAll();
                return socket_.state() == QAbstractSocket::UnconnectedState;
            },
            ms);
    }

    static QByteArray Header(const QByteArray& head, const QByteArray& name) {
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith(name + ':')) return line.mid(name.size() + 1).trimmed();
        return {};
    }

private:
    QTcpSocket socket_;
};

QByteArray Request(const QByteArray& method, const QByteArray& path) {
    return method + ' ' + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
}

class MetricsEndpointTest : public ::testing::Test {
protected:
    void Serve(EndpointLimits limits = {}) {
        endpoint = std::make_unique<MetricsEndpoint>(
            [this] {
                ++pagesBuilt;
                return std::string("# HELP kvel_up Up.\n# TYPE kvel_up gauge\nkvel_up 1\n");
            },
            limits);
        ASSERT_EQ(endpoint->Listen(QHostAddress::LocalHost, 0), std::nullopt);
    }

    Reply Ask(const QByteArray& request, bool headOnly = false) {
        Client client(endpoint->Port());
        EXPECT_TRUE(client.Connected());
        client.Send(request);
        return client.Receive(3000, headOnly);
    }

    std::unique_ptr<MetricsEndpoint> endpoint;
    int pagesBuilt = 0;
};

TEST_F(MetricsEndpointTest, AnswersMetricsAndItsIndexAndRefusesOtherPathsAndMethods) {
    Serve();
    const Reply metrics = Ask(Request("GET", "/metrics"));
    EXPECT_EQ(metrics.status, 200);
    EXPECT_EQ(Client::Header(metrics.head, "content-type"),
              "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_TRUE(metrics.body.endsWith("kvel_up 1\n")) << metrics.body.toStdString();

    const Reply index = Ask(Request("GET", "/"));
    EXPECT_EQ(index.status, 200);
    EXPECT_TRUE(index.body.contains("href=\"/metrics\""));

    const Reply head = Ask(Request("HEAD", "/metrics"), true);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(Client::Header(head.head, "content-length").toInt(), metrics.body.size());

    const struct {
        QByteArray method;
        QByteArray path;
        int status;
    } refused[] = {{"GET", "/metrics/", 404},
                   {"GET", "/favicon.ico", 404},
                   {"GET", "/../etc/passwd", 404},
                   {"POST", "/metrics", 405},
                   {"PUT", "/", 405},
                   {"DELETE", "/metrics", 405}};
    for (const auto& r : refused) {
        const Reply reply = Ask(Request(r.method, r.path));
        EXPECT_EQ(reply.status, r.status) << r.method.toStdString() << ' ' << r.path.toStdString();
        if (r.status == 405) {
            EXPECT_EQ(Client::Header(reply.head, "allow"), "GET, HEAD");
        }
    }
}

TEST_F(MetricsEndpointTest, RefusesHugeHeadersSlowRequestsAndGarbageThenKeepsAnswering) {
    EndpointLimits limits;
    limits.requestTimeoutMs = 300;
    Serve(limits);
    const QByteArray huge =
        "GET /metrics HTTP/1.1\r\nHost: x\r\nX-Pad: " + QByteArray(64 * 1024, 'a') + "\r\n\r\n";
    EXPECT_EQ(Ask(huge).status, 431);

    Client slow(endpoint->Port());
    ASSERT_TRUE(slow.Connected());
    slow.Send("GET /metrics HTTP/1.1\r\nHost: ");
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(slow.Receive(3000).status, 408);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(slow.ClosedWithin(2000));

    // What Qt's parser cannot read it ends by closing the connection; what it waits on for
    // ever meets the request time-out.
    const Reply garbage = Ask("NOT HTTP AT ALL\r\n\r\n");
    EXPECT_TRUE(garbage.closed && garbage.status == 0) << garbage.head.toStdString();
    const Reply handshake = Ask(QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11));
    EXPECT_TRUE(handshake.status == 408 || (handshake.closed && handshake.status == 0));
    EXPECT_EQ(Ask(Request("GET", "/metrics")).status, 200);
    EXPECT_TRUE(QTest::qWaitFor([&] { return endpoint->OpenConnections() == 0; }, 3000))
        << endpoint->OpenConnections();
}

TEST_F(MetricsEndpointTest, ClosesTheConnectionAfterTheAnswerWhenTheClientAsksTo) {
    Serve();
    Client client(endpoint->Port());
    ASSERT_TRUE(client.Connected());
    client.Send("GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: Close\r\n\r\n");
    EXPECT_EQ(client.Receive().status, 200);
    EXPECT_TRUE(client.ClosedWithin(1000));
}

// A page answered 300 ms late, as a probe of a slow gateway is.
void AddLatePage(MetricsEndpoint& endpoint) {
    endpoint.AddLatePage("/late", [](const QHttpServerRequest&, MetricsEndpoint::Reply reply) {
        QTimer::singleShot(300, [reply] { reply({200, "text/plain", "late\n", {}}); });
    });
}

TEST_F(MetricsEndpointTest, AnswersPipelinedRequestsInOrderWhenTheFirstComesLate) {
    Serve();
    AddLatePage(*endpoint);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, endpoint->Port());
    ASSERT_TRUE(client.waitForConnected(2000));
    client.write(Request("GET", "/late") + Request("GET", "/metrics") + Request("HEAD", "/late"));
    QByteArray answers;
    (void)QTest::qWaitFor(
        [&] {
            answers += client.readAll();
            return answers.count("HTTP/1.1 200") == 3;
        },
        3000);
    ASSERT_EQ(answers.count("HTTP/1.1 200"), 3) << answers.toStdString();
    EXPECT_LT(answers.indexOf("late\n"), answers.indexOf("kvel_up 1"));
    EXPECT_TRUE(answers.endsWith("Content-Length: 5\r\n\r\n")) << "HEAD goes last, bodiless";

    // A late answer whose connection is gone by then is dropped, and serving goes on.
    {
        Client gone(endpoint->Port());
        ASSERT_TRUE(gone.Connected());
        gone.Send(Request("GET", "/late"));
    }
    QTest::qWait(500);
    EXPECT_EQ(Ask(Request("GET", "/metrics")).status, 200);
}

TEST_F(MetricsEndpointTest, AnswersAClientThatHalfClosesAfterItsRequest) {
    Serve();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint->Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QByteArray request = Request("GET", "/metrics");
    ASSERT_EQ(::write(fd, request.constData(), static_cast<size_t>(request.size())),
              request.size());
    ::shutdown(fd, SHUT_WR);
    QByteArray answer;
    (void)QTest::qWaitFor(
        [&] {
            char buffer[4096];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) answer.append(buffer, static_cast<int>(got));
            return got == 0;
        },
        3000);
    ::close(fd);
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 200")) << answer.toStdString();
    EXPECT_TRUE(answer.endsWith("kvel_up 1\n"));
}

TEST_F(MetricsEndpointTest, ClosesAnIdleKeptAliveConnectionQuietly) {
    EndpointLimits limits;
    limits.idleTimeoutMs = 200;
    Serve(limits);
    Client client(endpoint->Port());
    ASSERT_TRUE(client.Connected());
    client.Send(Request("GET", "/metrics"));
    EXPECT_EQ(client.Receive().status, 200);
    client.Send(Request("GET", "/metrics"));
    EXPECT_EQ(client.Receive().status, 200);
    EXPECT_TRUE(client.ClosedWithin(2000));
}

TEST_F(MetricsEndpointTest, RefusesConnectionsBeyondTheLimitWith503) {
    EndpointLimits limits;
    limits.maxConnections = 4;
    Serve(limits);
    std::vector<std::unique_ptr<Client>> held;
    for (int i = 0; i < limits.maxConnections; ++i) {
        held.push_back(std::make_unique<Client>(endpoint->Port()));
        ASSERT_TRUE(held.back()->Connected());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return endpoint->OpenConnections() == 4; }, 2000));
    Client extra(endpoint->Port());
    ASSERT_TRUE(extra.Connected());
    EXPECT_EQ(extra.Receive().status, 503);
    held.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return endpoint->OpenConnections() == 0; }, 3000));
    EXPECT_EQ(Ask(Request("GET", "/metrics")).status, 200);
}

TEST_F(MetricsEndpointTest, AnswersTooManyRequestsBeyondTheRateWithRetryAfter) {
    EndpointLimits limits;
    limits.maxRequestsPerSecond = 20;
    Serve(limits);
    Client client(endpoint->Port());
    ASSERT_TRUE(client.Connected());
    int answered = 0;
    int refused = 0;
    for (int i = 0; i < 60; ++i) {
        client.Send(Request("GET", "/metrics"));
        const Reply reply = client.Receive();
        answered += reply.status == 200;
        if (reply.status == 429) {
            ++refused;
            EXPECT_EQ(Client::Header(reply.head, "retry-after"), "1");
        }
    }
    EXPECT_EQ(answered + refused, 60);
    EXPECT_GE(answered, 20);
    EXPECT_GE(refused, 20);
    // Refused requests cost no page.
    EXPECT_EQ(pagesBuilt, answered);
}

// One address holds every connection it may and floods the endpoint with requests; another
// address's scrapes are answered all the same, and the flood's extra connections are closed at
// once rather than held.
TEST_F(MetricsEndpointTest, AClientOverItsBudgetDoesNotMakeAnotherClientsScrapeFail) {
    Serve();
    const QHostAddress flooder("127.0.0.2");
    std::vector<std::unique_ptr<Client>> crowd;
    for (int i = 0; i < 200; ++i)
        crowd.push_back(std::make_unique<Client>(endpoint->Port(), flooder));
    ASSERT_TRUE(crowd.front()->Connected());
    const Reply refused = crowd.back()->Receive(3000);
    EXPECT_EQ(refused.status, 503);
    EXPECT_TRUE(crowd.back()->ClosedWithin(300)) << "an over-cap connection was held";
    EXPECT_LE(endpoint->OpenConnections(), EndpointLimits{}.maxConnectionsPerAddress);

    Client scraper(endpoint->Port(), QHostAddress("127.0.0.3"));
    ASSERT_TRUE(scraper.Connected());
    int answered = 0;
    for (int i = 0; i < 20; ++i) {
        QByteArray burst;
        for (int j = 0; j < 50; ++j)
            burst += Request("GET", "/metrics");
        // The first of the crowd was let in.
        crowd.front()->Send(burst);
        scraper.Send(Request("GET", "/metrics"));
        answered += scraper.Receive().status == 200;
    }
    EXPECT_EQ(answered, 20);
}

TEST_F(MetricsEndpointTest, AnswersEachOfManyPipelinedRequestsThoughTogetherTheyPass8KiB) {
    Serve();
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, endpoint->Port());
    ASSERT_TRUE(client.waitForConnected(2000));
    const QByteArray one =
        "GET /metrics HTTP/1.1\r\nHost: localhost\r\nUser-Agent: " + QByteArray(300, 'a') +
        "\r\n\r\n";
    QByteArray all;
    for (int i = 0; i < 40; ++i)
        all += one;
    ASSERT_GT(all.size(), 8192);
    client.write(all);
    QByteArray answers;
    (void)QTest::qWaitFor(
        [&] {
            answers += client.readAll();
            return answers.count("kvel_up 1\n") == 40;
        },
        5000);
    EXPECT_EQ(answers.count("HTTP/1.1 200"), 40);
    EXPECT_EQ(answers.count("HTTP/1.1 431"), 0);
}

TEST_F(MetricsEndpointTest, ClosesAfterAnsweringAnHttp10RequestUnlessAskedToKeepIt) {
    Serve();
    Client plain(endpoint->Port());
    ASSERT_TRUE(plain.Connected());
    plain.Send("GET /metrics HTTP/1.0\r\n\r\n");
    const Reply answer = plain.Receive();
    EXPECT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.body.endsWith("kvel_up 1\n")) << "Content-Length says where it ends";
    EXPECT_TRUE(plain.ClosedWithin(1000));

    Client kept(endpoint->Port());
    ASSERT_TRUE(kept.Connected());
    kept.Send("GET /metrics HTTP/1.0\r\nConnection: keep-alive\r\n\r\n");
    EXPECT_EQ(kept.Receive().status, 200);
    EXPECT_FALSE(kept.ClosedWithin(300));
}

TEST_F(MetricsEndpointTest, ANewConnectionThatAsksNothingIsClosedAfterTheRequestTimeOut) {
    EndpointLimits limits;
    limits.requestTimeoutMs = 300;
    Serve(limits);
    Client silent(endpoint->Port());
    ASSERT_TRUE(silent.Connected());
    EXPECT_TRUE(silent.ClosedWithin(2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return endpoint->OpenConnections() == 0; }, 2000));
}

// A thousand connections at once, then a scrape every 10 ms: the excess is refused, every
// scrape within the limits is answered, and nothing is left open afterwards.
TEST_F(MetricsEndpointTest, StaysResponsiveUnderAThousandConnectionsAndScrapesEvery10Ms) {
    Serve();
    std::vector<std::unique_ptr<Client>> crowd;
    for (int i = 0; i < 1000; ++i)
        crowd.push_back(std::make_unique<Client>(endpoint->Port()));
    QTest::qWait(500);
    EXPECT_LE(endpoint->OpenConnections(), EndpointLimits{}.maxConnections);
    crowd.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return endpoint->OpenConnections() == 0; }, 5000))
        << endpoint->OpenConnections();

    Client scraper(endpoint->Port());
    ASSERT_TRUE(scraper.Connected());
    QElapsedTimer clock;
    clock.start();
    int answered = 0;
    std::vector<qint64> ms;
    for (int i = 0; i < 200; ++i) {
        const qint64 sent = clock.elapsed();
        scraper.Send(Request("GET", "/metrics"));
        answered += scraper.Receive().status == 200;
        ms.push_back(clock.elapsed() - sent);
        QTest::qWait(10);
    }
    EXPECT_EQ(answered, 200);
    std::sort(ms.begin(), ms.end());
    EXPECT_LT(ms.back(), 500);
    // An answer held back for the client's delayed acknowledgement takes 40 ms.
    EXPECT_LT(ms[ms.size() / 2], 20);
}

// Out of file descriptors the system refuses to accept; once some are free again, so is the
// endpoint. Plain descriptors fill the table, so that nothing of Qt's runs short meanwhile.
TEST_F(MetricsEndpointTest, AcceptsAgainAfterRunningOutOfFileDescriptors) {
    Serve();
    std::vector<int> waiting;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(endpoint->Port());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        waiting.push_back(fd);
    }
    std::vector<int> filler;
    for (int fd = ::dup(0); fd >= 0; fd = ::dup(0))
        filler.push_back(fd);
    QTest::qWait(300);
    for (int fd : filler)
        ::close(fd);
    for (int fd : waiting)
        ::close(fd);
    QTest::qWait(300);
    EXPECT_EQ(Ask(Request("GET", "/metrics")).status, 200);
}

} // namespace
} // namespace kvel
