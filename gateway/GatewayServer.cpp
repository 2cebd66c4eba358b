// kvel-gateway's event loop.
#include "GatewayServer.h"

#include "MetricsEndpoint.h"
#include "UnitLine.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace kvel::gateway {

namespace {
// Answers a client has not read; past it the client is taken for one that never reads.
constexpr qint64 kMostUnsentBytes = 64 * 1024;
// What Qt reads ahead of a client: a few whole frames, so that a flood waits in the kernel.
constexpr qint64 kClientReadBuffer = 4 * (kMbapHeaderBytes + kLongestMbapLength);
// What the borrower may send ahead of a master's request still on the line: a firmware block
// and then some.
constexpr std::size_t kMostBorrowedBytes = 16 * 1024;
constexpr int kReopenIntervalMs = 1000;

std::optional<QHostAddress> HostAddress(const std::string& host) {
    if (host == "localhost") return QHostAddress(QHostAddress::LocalHost);
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(host))) return std::nullopt;
    return address;
}

std::string Where(const cli::ListenAddress& address) {
    return address.host + ":" + std::to_string(address.port);
}

std::string PeerOf(const QTcpSocket& socket) {
    return socket.peerAddress().toString().toStdString() + ":" + std::to_string(socket.peerPort());
}

std::optional<std::string> Listen(QTcpServer& server, const cli::ListenAddress& where,
                                  const char* what) {
    const std::optional<QHostAddress> address = HostAddress(where.host);
    if (!address) return std::string(what) + ": \"" + where.host + "\" is not an IP address.";
    if (server.listen(*address, static_cast<quint16>(where.port))) return std::nullopt;
    return std::string("cannot listen for ") + what + " on " + Where(where) + ": " +
           server.errorString().toStdString();
}
} // namespace

GatewayServer::GatewayServer(SerialChannel& channel, const GatewayConfig& config, Journal& journal)
    : channel_(channel), config_(config), journal_(journal),
      scheduler_(channel, config.scheduler, *this), idle_(config.idle) {
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    connect(&wake_, &QTimer::timeout, this, &GatewayServer::Drive);
    leaseTimer_.setSingleShot(true);
    connect(&leaseTimer_, &QTimer::timeout, this, [this] {
        journal_.Write("lease over after " + std::to_string(config_.leaseTimeout.count()) + " s");
        if (borrower_) borrower_->abort();
    });
    reopen_.setInterval(kReopenIntervalMs);
    connect(&reopen_, &QTimer::timeout, this, &GatewayServer::TryReopen);
    idleCut_.setSingleShot(true);
    connect(&idleCut_, &QTimer::timeout, this, &GatewayServer::CutIdle);
}

GatewayServer::~GatewayServer() {
    channel_.SetReadinessHandler({});
}

std::optional<std::string> GatewayServer::Start() {
    channel_.SetReadinessHandler([this](ChannelEvent event) { OnReadiness(event); });
    if (channel_.OpenComPort(config_.port.name, config_.bitRate) != kOpenOk)
        return cli::OpenFailureText(config_.port.label, channel_.LastOpenFailure());
    lineUp_ = true;
    server_ = new QTcpServer(this);
    connect(server_, &QTcpServer::newConnection, this, &GatewayServer::AcceptClient);
    if (auto refused = Listen(*server_, config_.listen, "Modbus TCP")) return refused;
    std::string started = "serving " + config_.port.label + " at " +
                          std::to_string(config_.bitRate) + " bit/s to Modbus TCP on " +
                          Where(config_.listen);
    if (config_.rawListen) {
        rawServer_ = new QTcpServer(this);
        rawServer_->setMaxPendingConnections(1);
        connect(rawServer_, &QTcpServer::newConnection, this, &GatewayServer::AcceptBorrower);
        if (auto refused = Listen(*rawServer_, *config_.rawListen, "the lease")) return refused;
        started += ", the whole line lent on " + Where(*config_.rawListen);
    }
    if (config_.metricsListen) {
        metricsEndpoint_ = std::make_unique<MetricsEndpoint>([this] { return MetricsPage(); });
        const std::optional<QHostAddress> address = HostAddress(config_.metricsListen->host);
        if (!address)
            return "metrics: \"" + config_.metricsListen->host + "\" is not an IP address.";
        if (auto refused = metricsEndpoint_->Listen(
                *address, static_cast<quint16>(config_.metricsListen->port)))
            return "cannot listen for metrics on " + Where(*config_.metricsListen) + ": " +
                   *refused;
        started += ", metrics on " + Where(*config_.metricsListen);
    }
    if (config_.scheduler.policy.readOnly) started += ", read-only";
    journal_.Write(started);
    return std::nullopt;
}

quint16 GatewayServer::ListenPort() const {
    return server_ ? server_->serverPort() : 0;
}

quint16 GatewayServer::RawListenPort() const {
    return rawServer_ ? rawServer_->serverPort() : 0;
}

quint16 GatewayServer::MetricsPort() const {
    return metricsEndpoint_ ? metricsEndpoint_->Port() : 0;
}

void GatewayServer::AcceptClient() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        const std::string peer = PeerOf(*socket);
        if (!RoomForOneMore()) {
            journal_.Write("connections refused: " + std::to_string(config_.maxClients) +
                           " clients already");
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const ClientId id = nextClient_++;
        const LinkClock::time_point now = LinkClock::now();
        idle_.Connected(id, now);
        ArmIdleCut(idle_.DeadlineOf(id));
        socket->setReadBufferSize(kClientReadBuffer);
        connections_[id] =
            Connection{socket, peer, socket->peerAddress().toString().toStdString(), {}};
        scheduler_.AddClient(id);
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { ReadClient(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { DropClient(id); });
        journal_.Write("client " + peer + " connected");
    }
}

// A connection quiet longest is put out rather than the newcomer: slots held by connections
// that send nothing would otherwise lock out a master arriving, which is what they are for.
bool GatewayServer::RoomForOneMore() {
    if (connections_.size() < static_cast<std::size_t>(config_.maxClients)) return true;
    const std::optional<ClientId> quiet = idle_.Evictable(LinkClock::now());
    if (!quiet) return false;
    Connection& connection = connections_.at(*quiet);
    journal_.Write("client " + connection.peer + " cut off: quiet longest when " +
                   std::to_string(config_.maxClients) + " clients were there and one more came");
    QTcpSocket* socket = connection.socket;
    DropClient(*quiet);
    if (socket) socket->abort();
    return true;
}

void GatewayServer::CutIdle() {
    idleCutAt_ = LinkClock::time_point::max();
    const LinkClock::time_point now = LinkClock::now();
    for (const IdleCut& cut : idle_.Overdue(now)) {
        if (cut.cause == IdleCause::Idle && scheduler_.QueueDepth(cut.client) > 0) {
            idle_.Active(cut.client, now);
            continue;
        }
        const Connection& connection = connections_.at(cut.client);
        journal_.Write("client " + connection.peer + " cut off: " +
                       (cut.cause == IdleCause::Idle
                            ? "idle for " + std::to_string(config_.idle.idle.count()) + " s"
                            : std::string("a frame left unfinished")));
        QTcpSocket* socket = connection.socket;
        DropClient(cut.client);
        if (socket) socket->abort();
    }
    ArmIdleCut(idle_.NextDeadline());
}

// Deadlines only move later as clients speak, so the timer is set again only for an earlier one.
void GatewayServer::ArmIdleCut(LinkClock::time_point deadline) {
    if (deadline >= idleCutAt_) return;
    idleCutAt_ = deadline;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - LinkClock::now());
    idleCut_.start(std::max(wait, std::chrono::milliseconds(0)));
}

void GatewayServer::ReadClient(ClientId id) {
    const auto found = connections_.find(id);
    if (found == connections_.end() || !found->second.socket) return;
    QTcpSocket* socket = found->second.socket;
    const QByteArray bytes = socket->readAll();
    std::vector<MbapFrame> frames;
    found->second.stream.Push(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                              static_cast<std::size_t>(bytes.size()), frames);
    const LinkClock::time_point now = LinkClock::now();
    idle_.Received(id, frames.size(), found->second.stream.PendingCount(), now);
    ArmIdleCut(idle_.DeadlineOf(id));
    const auto refused = std::find_if(frames.begin(), frames.end(), [&](const MbapFrame& frame) {
        return !scheduler_.Submit(id, frame, now);
    });
    if (refused != frames.end()) {
        journal_.Write("client " + found->second.peer +
                       " cut off: a frame no Modbus TCP master sends, or too many unanswered");
        socket->abort();
    }
    Drive();
}

void GatewayServer::DropClient(ClientId id) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) return;
    journal_.Write("client " + found->second.peer + " gone");
    if (found->second.socket) found->second.socket->deleteLater();
    connections_.erase(found);
    scheduler_.RemoveClient(id);
    idle_.Gone(id);
}

void GatewayServer::Answer(ClientId client, std::vector<std::uint8_t> bytes) {
    const auto found = connections_.find(client);
    if (found == connections_.end() || !found->second.socket) return;
    QTcpSocket* socket = found->second.socket;
    idle_.Active(client, LinkClock::now());
    socket->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    if (socket->bytesToWrite() <= kMostUnsentBytes) return;
    journal_.Write("client " + found->second.peer + " cut off: it reads no answers");
    // Not at once: the scheduler is still handing out answers.
    QMetaObject::invokeMethod(socket, &QTcpSocket::abort, Qt::QueuedConnection);
}

void GatewayServer::UnitSilent(std::uint8_t unit) {
    journal_.Write("unit " + std::to_string(unit) + " silent");
}

void GatewayServer::UnitBack(std::uint8_t unit) {
    journal_.Write("unit " + std::to_string(unit) + " answers again");
}

void GatewayServer::Served(ClientId client, std::uint8_t unit, LinkClock::duration waited,
                           LinkClock::duration onLine, LineOutcome outcome) {
    const auto found = connections_.find(client);
    if (found == connections_.end()) return;
    metrics_.Served(found->second.host, unit, waited, onLine, outcome);
}

void GatewayServer::AcceptBorrower() {
    while (QTcpSocket* socket = rawServer_->nextPendingConnection()) {
        const std::string peer = PeerOf(*socket);
        if (borrower_) {
            journal_.Write("lease refused to " + peer + ": the line is lent already");
            socket->abort();
            socket->deleteLater();
            continue;
        }
        borrower_ = socket;
        borrowerPeer_ = peer;
        scheduler_.Lend();
        leaseTimer_.start(std::chrono::milliseconds(config_.leaseTimeout));
        connect(socket, &QTcpSocket::readyRead, this, &GatewayServer::ReadBorrower);
        connect(socket, &QTcpSocket::disconnected, this, &GatewayServer::EndLease);
        journal_.Write("line lent to " + peer);
        Drive();
    }
}

void GatewayServer::ReadBorrower() {
    if (!borrower_) return;
    const QByteArray bytes = borrower_->readAll();
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const auto size = static_cast<std::size_t>(bytes.size());
    if (!config_.allowLineChanges && WritesLineSettings(data, size)) {
        journal_.Write("lease: a write of a unit's address or rate refused "
                       "(--allow-line-changes allows it)");
        return;
    }
    if (borrowed_.size() + size > kMostBorrowedBytes) {
        journal_.Write("lease: the borrower sends faster than the line takes; cut off");
        borrower_->abort();
        return;
    }
    borrowed_.insert(borrowed_.end(), data, data + size);
    Drive();
}

void GatewayServer::EndLease() {
    if (!borrower_) return;
    journal_.Write("line returned by " + borrowerPeer_);
    borrower_->deleteLater();
    borrower_ = nullptr;
    borrowed_.clear();
    leaseTimer_.stop();
    scheduler_.Return();
    DriveSoon();
}

void GatewayServer::OnReadiness(ChannelEvent) {
    DriveSoon();
}

// Readiness may be told from inside the channel's own calls: the work waits for them to end.
void GatewayServer::DriveSoon() {
    if (drivePosted_) return;
    drivePosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            drivePosted_ = false;
            Drive();
        },
        Qt::QueuedConnection);
}

void GatewayServer::Drive() {
    const LinkClock::time_point now = LinkClock::now();
    scheduler_.Poll(now);
    if (borrower_ && scheduler_.LineFree()) {
        PassBorrowerToLine();
        PassLineToBorrower();
    }
    CheckLine();
    const LinkClock::time_point wakeAt = scheduler_.WakeAt();
    if (wakeAt == LinkClock::time_point::max()) {
        wake_.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now);
    wake_.start(std::max(wait, std::chrono::milliseconds(0)));
}

void GatewayServer::PassBorrowerToLine() {
    if (borrowed_.empty()) return;
    channel_.WriteComPort(borrowed_.data(), static_cast<int>(borrowed_.size()));
    borrowed_.clear();
}

void GatewayServer::PassLineToBorrower() {
    const std::uint32_t pending = channel_.PendingInputCount();
    if (pending == 0) return;
    QByteArray bytes(static_cast<qsizetype>(pending), '\0');
    for (std::uint32_t i = 0; i < pending; ++i)
        bytes[static_cast<qsizetype>(i)] = static_cast<char>(channel_.ReadComByte());
    borrower_->write(bytes);
}

void GatewayServer::CheckLine() {
    const bool up = channel_.IsOpen();
    if (up == lineUp_) return;
    lineUp_ = up;
    if (up) {
        journal_.Write("line " + config_.port.label + " back");
        reopen_.stop();
        return;
    }
    journal_.Write("line " + config_.port.label + " lost");
    reopen_.start();
}

// The same device again, as the window program takes back a replugged adapter.
void GatewayServer::TryReopen() {
    if (!channel_.IsOpen()) channel_.ReopenVanishedPort(config_.bitRate);
    Drive();
}

std::string GatewayServer::MetricsPage() const {
    GatewayState state;
    for (const auto& [id, connection] : connections_)
        state.queueDepths[connection.host] += scheduler_.QueueDepth(id);
    state.clients = connections_.size();
    state.lineUp = lineUp_;
    state.lent = scheduler_.Lent();
    return metrics_.Page(state);
}

} // namespace kvel::gateway
