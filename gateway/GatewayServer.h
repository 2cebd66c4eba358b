// kvel-gateway's event loop: Modbus TCP clients in, the line scheduler between them and the
// line, the lease of the whole line to one RTU over TCP client, the journal and the metrics.
// Driven by the line's readiness and by timers set for what the scheduler awaits, never by a
// tick.
#pragma once

#include "GatewayMetrics.h"
#include "GatewayOptions.h"
#include "IdleWatch.h"
#include "Journal.h"
#include "LineScheduler.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <map>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace kvel {
class MetricsEndpoint;
}

namespace kvel::gateway {

class GatewayServer : public QObject, private SchedulerEvents {
    Q_OBJECT
public:
    GatewayServer(SerialChannel& channel, const GatewayConfig& config, Journal& journal);
    ~GatewayServer() override;

    // Opens the line and starts listening; why not, when it cannot.
    std::optional<std::string> Start();
    quint16 ListenPort() const;
    quint16 RawListenPort() const;
    quint16 MetricsPort() const;

private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        // Address and port, for the journal; the address alone, for the metrics.
        std::string peer;
        std::string host;
        MbapStream stream;
    };

    void Answer(ClientId client, std::vector<std::uint8_t> bytes) override;
    void UnitSilent(std::uint8_t unit) override;
    void UnitBack(std::uint8_t unit) override;
    void Served(ClientId client, std::uint8_t unit, LinkClock::duration waited,
                LinkClock::duration onLine, LineOutcome outcome) override;

    void AcceptClient();
    // Whether a slot is free for one more client, making one if a connection is quiet enough.
    bool RoomForOneMore();
    void CutIdle();
    void ArmIdleCut(LinkClock::time_point deadline);
    void ReadClient(ClientId id);
    void DropClient(ClientId id);
    void AcceptBorrower();
    void ReadBorrower();
    void EndLease();
    void OnReadiness(ChannelEvent event);
    void DriveSoon();
    void Drive();
    void PassLineToBorrower();
    void PassBorrowerToLine();
    void CheckLine();
    void TryReopen();
    std::string MetricsPage() const;

    SerialChannel& channel_;
    GatewayConfig config_;
    Journal& journal_;
    LineScheduler scheduler_;
    IdleWatch idle_;
    GatewayMetrics metrics_;
    QTcpServer* server_ = nullptr;
    QTcpServer* rawServer_ = nullptr;
    std::unique_ptr<MetricsEndpoint> metricsEndpoint_;
    std::map<ClientId, Connection> connections_;
    ClientId nextClient_ = 1;
    QPointer<QTcpSocket> borrower_;
    std::string borrowerPeer_;
    // What the borrower sent while a master's request was still on the line.
    std::vector<std::uint8_t> borrowed_;
    QTimer wake_;
    QTimer leaseTimer_;
    QTimer reopen_;
    QTimer idleCut_;
    LinkClock::time_point idleCutAt_ = LinkClock::time_point::max();
    bool drivePosted_ = false;
    bool lineUp_ = false;
};

} // namespace kvel::gateway
