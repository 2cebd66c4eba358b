// kvel-cli serve with 32 simulated units at 115200 bit/s, polled every second:
//   serve_bench latency [SECONDS]  scrapes 50 times a second over one kept-alive connection, as
//                                  Prometheus does; target p99 under 10 ms, polling at its pace.
//   serve_bench memory [SECONDS]   the exporter's resident memory every 10 s (default an hour);
//                                  target flat after the first minute (growth under 1 MB).
#include "SimulatedUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kUnits = 32;
constexpr double kTargetP99Ms = 10;
constexpr double kTargetGrowthMb = 1;

class Exporter {
public:
    bool Start() {
        QStringList addresses;
        for (int address = 1; address <= kUnits; ++address)
            addresses << QString::number(address);
        sim_ = std::make_unique<kvel::test::SimulatedUnit>(
            QStringList{"--address", addresses.join(','), "--baud-index", "9"});
        if (!sim_->Started()) return false;
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port_ = probe.serverPort();
        probe.close();
        serve_.setProcessChannelMode(QProcess::ForwardedChannels);
        serve_.start(KVEL_CLI_PATH, {"--port", "1", "--baud", "115200", "--address",
                                     QStringLiteral("1-%1").arg(kUnits), "serve", "--listen",
                                     QStringLiteral("127.0.0.1:%1").arg(port_)});
        return serve_.waitForStarted() && QTest::qWaitFor([this] { return Connect(); }, 10000);
    }
    ~Exporter() {
        serve_.terminate();
        serve_.waitForFinished();
    }

    // One scrape over the kept connection; the body, empty when no answer came.
    QByteArray Scrape() {
        socket_.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray reply;
        for (;;) {
            const int end = reply.indexOf("\r\n\r\n");
            if (end >= 0) {
                const int lengthAt = reply.toLower().indexOf("content-length:");
                const int length =
                    reply.mid(lengthAt + 15, reply.indexOf('\r', lengthAt) - lengthAt - 15)
                        .trimmed()
                        .toInt();
                if (reply.size() >= end + 4 + length) return reply.mid(end + 4, length);
            }
            if (!socket_.waitForReadyRead(2000)) return {};
            reply += socket_.readAll();
        }
    }

    // Sum of a counter over every unit.
    double Total(const QByteArray& page, const QByteArray& name) {
        double total = 0;
        for (const QByteArray& line : page.split('\n'))
            if (line.startsWith(name + '{'))
                total += line.mid(line.lastIndexOf(' ') + 1).toDouble();
        return total;
    }

    long ResidentKb() const {
        QFile status(QStringLiteral("/proc/%1/status").arg(serve_.processId()));
        if (!status.open(QIODevice::ReadOnly)) return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
        return -1;
    }

private:
    bool Connect() {
        socket_.abort();
        socket_.connectToHost(QHostAddress::LocalHost, port_);
        return socket_.waitForConnected(1000) && Total(Scrape(), "kvel_up") == kUnits;
    }

    std::unique_ptr<kvel::test::SimulatedUnit> sim_;
    QProcess serve_;
    QTcpSocket socket_;
    quint16 port_ = 0;
};

int Latency(Exporter& exporter, int seconds) {
    std::vector<double> ms;
    QElapsedTimer clock;
    clock.start();
    const double requestsBefore = exporter.Total(exporter.Scrape(), "kvel_requests_total");
    const qint64 start = clock.elapsed();
    for (int i = 0; i < seconds * 50; ++i) {
        QTest::qWait(static_cast<int>(std::max<qint64>(0, start + i * 20 - clock.elapsed())));
        QElapsedTimer one;
        one.start();
        if (exporter.Scrape().isEmpty()) {
            std::fprintf(stderr, "serve_bench: scrape %d got no answer\n", i);
            return 1;
        }
        ms.push_back(one.nsecsElapsed() / 1e6);
    }
    const QByteArray last = exporter.Scrape();
    const double elapsed = (clock.elapsed() - start) / 1000.0;
    const double rounds =
        (exporter.Total(last, "kvel_requests_total") - requestsBefore) / (2.0 * kUnits);
    std::sort(ms.begin(), ms.end());
    const double p99 = ms[ms.size() * 99 / 100];
    std::printf("scrapes at 50/s with %d units for %d s: p50 %.2f ms, p99 %.2f ms, slowest %.2f ms "
                "(target p99 < %.0f ms): %s; polling %.2f rounds a second (every unit up: %s)\n",
                kUnits, seconds, ms[ms.size() / 2], p99, ms.back(), kTargetP99Ms,
                p99 < kTargetP99Ms ? "met" : "MISSED", rounds / elapsed,
                exporter.Total(last, "kvel_up") == kUnits ? "yes" : "no");
    return p99 < kTargetP99Ms ? 0 : 1;
}

int Memory(Exporter& exporter, int seconds) {
    long afterMinute = 0;
    long highest = 0;
    for (int at = 10; at <= seconds; at += 10) {
        QTest::qWait(10000);
        exporter.Scrape();
        const long kb = exporter.ResidentKb();
        highest = std::max(highest, kb);
        if (at <= 60) afterMinute = kb;
        std::printf("%5d s  %ld kB\n", at, kb);
        std::fflush(stdout);
    }
    const double growthMb = (highest - afterMinute) / 1024.0;
    std::printf("serve with %d units for %d s: %.1f MB after the first minute, highest %.1f MB, "
                "growth %.2f MB (target < %.0f MB): %s\n",
                kUnits, seconds, afterMinute / 1024.0, highest / 1024.0, growthMb, kTargetGrowthMb,
                growthMb < kTargetGrowthMb ? "met" : "MISSED");
    return growthMb < kTargetGrowthMb ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? argv[1] : "latency";
    const int seconds =
        argc > 2 ? std::max(10, std::atoi(argv[2])) : (mode == "memory" ? 3600 : 20);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    Exporter exporter;
    if (!exporter.Start()) {
        std::fprintf(stderr, "serve_bench: kvel-sim or kvel-cli serve did not start\n");
        return 1;
    }
    return mode == "memory" ? Memory(exporter, seconds) : Latency(exporter, seconds);
}
