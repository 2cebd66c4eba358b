// The network line's connection, kept up asynchronously, and its bytes framed for the server.
#include "NetworkChannel.h"

#include "LinkObserver.h"

#include <QCoreApplication>

#include <algorithm>

namespace kvel {

namespace {
std::optional<QHostAddress> LiteralAddress(const std::string& host) {
    if (host == "localhost") return QHostAddress(QHostAddress::LocalHost);
    QHostAddress address;
    if (address.setAddress(QString::fromStdString(host))) return address;
    return std::nullopt;
}

// A server that does not listen says so at once, as does a host the system has no route to; one
// whose connect goes unanswered says nothing.
OpenFailureReason ReasonForFailedConnect(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return OpenFailureReason::ConnectionRefused;
    case QAbstractSocket::HostNotFoundError:
        return OpenFailureReason::HostNotFound;
    case QAbstractSocket::RemoteHostClosedError:
        return OpenFailureReason::ConnectionDropped;
    // The system knows of no route to the host.
    case QAbstractSocket::NetworkError:
        return OpenFailureReason::HostUnreachable;
    default:
        return OpenFailureReason::ConnectionTimedOut;
    }
}

QHostAddress PreferIpv4(const QList<QHostAddress>& addresses) {
    for (const QHostAddress& address : addresses)
        if (address.protocol() == QAbstractSocket::IPv4Protocol) return address;
    return addresses.front();
}
} // namespace

NetworkChannel::NetworkChannel() {
    socket_.setReadBufferSize(kNetworkBufferBytes);
    connectTimeout_.setSingleShot(true);
    connect(&connectTimeout_, &QTimer::timeout, this,
            [this] { Lose(OpenFailureReason::ConnectionTimedOut); });
    connect(&socket_, &QTcpSocket::connected, this, &NetworkChannel::OnConnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &NetworkChannel::OnError);
    connect(&socket_, &QTcpSocket::readyRead, this, &NetworkChannel::OnReadyRead);
    portControlTimeout_.setSingleShot(true);
    connect(&portControlTimeout_, &QTimer::timeout, this,
            [this] { Lose(OpenFailureReason::PortControlUnanswered); });
}

NetworkChannel::~NetworkChannel() {
    observer_ = nullptr;
    Shutdown();
}

int NetworkChannel::OpenComPort(const std::string& name, std::int32_t bitRate) {
    Shutdown();
    bitRate_ = bitRate;
    std::string error;
    const std::optional<NetworkPort> port = ParseNetworkPort(name, error);
    if (!port) {
        lastFailure_ = {OpenFailureReason::Other, name, {}, error};
        return kOpenFailed;
    }
    target_ = *port;
    if (target_.protocol == NetworkProtocol::ModbusTcp)
        mbap_.emplace();
    else
        mbap_.reset();
    active_ = true;
    vanished_ = false;
    lastFailure_ = {};
    if (const std::optional<QHostAddress> address = LiteralAddress(target_.host))
        return ConnectNow(*address);
    // A name may take the resolver seconds; the window does not wait for it.
    lookupId_ = QHostInfo::lookupHost(QString::fromStdString(target_.host), this,
                                      &NetworkChannel::OnHostFound);
    return kOpenOk;
}

// A server on the same network answers within the wait, so its refusal is the open's own
// failure; a slower one is waited for in the background.
int NetworkChannel::ConnectNow(const QHostAddress& address) {
    address_ = address;
    opening_ = true;
    socket_.connectToHost(address, target_.port);
    const bool connected = socket_.waitForConnected(kConnectWaitMs);
    if (connected) WaitForNegotiation();
    opening_ = false;
    if (connected && active_) return kOpenOk;
    if (connected) return kOpenFailed;
    const QAbstractSocket::SocketError error = socket_.error();
    if (socket_.state() == QAbstractSocket::ConnectingState ||
        error == QAbstractSocket::SocketTimeoutError) {
        StartConnecting(address);
        return kOpenOk;
    }
    active_ = false;
    vanished_ = true;
    RecordFailure(ReasonForFailedConnect(error));
    Note({NetworkNote::Kind::Failed, {}, lastFailure_.reason, {}});
    return kOpenFailed;
}

void NetworkChannel::StartConnecting(const QHostAddress& address) {
    address_ = address;
    if (socket_.state() == QAbstractSocket::UnconnectedState)
        socket_.connectToHost(address, target_.port);
    connectTimeout_.start(kConnectTimeoutMs);
}

void NetworkChannel::OnHostFound(const QHostInfo& info) {
    if (info.lookupId() != lookupId_) return;
    lookupId_ = -1;
    if (!active_) return;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        Lose(OpenFailureReason::HostNotFound);
        return;
    }
    StartConnecting(PreferIpv4(info.addresses()));
}

void NetworkChannel::OnConnected() {
    connected_ = true;
    connectTimeout_.stop();
    if (target_.protocol != NetworkProtocol::Rfc2217) {
        Note({NetworkNote::Kind::Connected, {}, OpenFailureReason::None, {}});
        return;
    }
    telnet_.emplace(bitRate_);
    Send(telnet_->TakeOutgoing());
    portControlTimeout_.start(kPortControlTimeoutMs);
}

// A server on the same network sets its line within the open's wait, as it connects within it;
// a slower one is waited for in the background.
void NetworkChannel::WaitForNegotiation() {
    const auto deadline = LinkClock::now() + std::chrono::milliseconds(kConnectWaitMs);
    while (active_ && Connecting()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - LinkClock::now()).count();
        if (left <= 0) return;
        if (!socket_.waitForReadyRead(static_cast<int>(left)) && !Connected())
            return Lose(OpenFailureReason::ConnectionDropped);
        TakeIn();
    }
}

// Only the negotiation needs its bytes at once; the unit's wait for the link's own reading.
void NetworkChannel::OnReadyRead() {
    if (telnet_ && !telnet_->Settled()) TakeIn();
    if (readiness_) readiness_(ChannelEvent::BytesArrived);
}

bool NetworkChannel::SetBitRate(std::int32_t bitRate) {
    if (!telnet_ || !telnet_->Ready() || !Connected()) return false;
    bitRate_ = bitRate;
    telnet_->SetBitRate(bitRate);
    Send(telnet_->TakeOutgoing());
    portControlTimeout_.start(kPortControlTimeoutMs);
    return true;
}

// Where no event loop runs, the timer cannot fire: the reading asks it.
bool NetworkChannel::PortControlOverdue() const {
    return portControlTimeout_.isActive() && portControlTimeout_.remainingTime() == 0;
}

void NetworkChannel::Negotiate(const std::uint8_t* bytes, std::size_t size,
                               std::vector<std::uint8_t>& data) {
    const bool wasReady = telnet_->Ready();
    telnet_->Receive(bytes, size, data);
    Send(telnet_->TakeOutgoing());
    if (telnet_->Problem() != Rfc2217Problem::None) return LoseForPortControl();
    if (telnet_->Settled()) portControlTimeout_.stop();
    if (!wasReady && telnet_->Ready())
        Note({NetworkNote::Kind::Connected, {}, OpenFailureReason::None, {}});
}

void NetworkChannel::LoseForPortControl() {
    const Rfc2217Problem problem = telnet_->Problem();
    const std::uint32_t asked = telnet_->Asked();
    const std::uint32_t answered = telnet_->Answered();
    switch (problem) {
    case Rfc2217Problem::OptionRefused:
        return Lose(OpenFailureReason::PortControlRefused);
    case Rfc2217Problem::SettingNotTaken:
        Lose(OpenFailureReason::SettingsRefused);
        lastFailure_.detail = std::to_string(asked) + " → " + std::to_string(answered);
        return;
    default:
        return Lose(OpenFailureReason::TelnetGarbled);
    }
}

void NetworkChannel::OnError(QAbstractSocket::SocketError error) {
    // A wait that ran out is no fault of the connection: only the connect timer decides that
    // one takes too long.
    if (opening_ || !active_ || error == QAbstractSocket::SocketTimeoutError) return;
    Lose(connected_ ? OpenFailureReason::ConnectionDropped : ReasonForFailedConnect(error));
}

void NetworkChannel::Lose(OpenFailureReason reason) {
    const bool wasActive = active_;
    Shutdown();
    vanished_ = true;
    RecordFailure(reason);
    if (wasActive) Note({NetworkNote::Kind::Failed, {}, reason, {}});
    if (wasActive && readiness_) readiness_(ChannelEvent::ConnectionLost);
}

void NetworkChannel::RecordFailure(OpenFailureReason reason) {
    lastFailure_ = {reason, NetworkPortLabel(target_), {}, {}};
}

void NetworkChannel::Shutdown() {
    active_ = false;
    connected_ = false;
    if (lookupId_ >= 0) QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    connectTimeout_.stop();
    portControlTimeout_.stop();
    socket_.abort();
    telnet_.reset();
    input_.clear();
    readAt_ = 0;
    if (mbap_) mbap_->Reset();
}

void NetworkChannel::CloseComPort() {
    const bool wasActive = active_;
    Shutdown();
    vanished_ = false;
    if (wasActive) Note({NetworkNote::Kind::Closed, {}, OpenFailureReason::None, {}});
}

void NetworkChannel::PurgeComPort() {
    input_.clear();
    readAt_ = 0;
    if (mbap_) mbap_->Reset();
    if (!Connected()) return;
    const QByteArray stale = socket_.readAll();
    // The server's answers among the stale bytes still count.
    if (!telnet_) return;
    std::vector<std::uint8_t> dropped;
    Negotiate(reinterpret_cast<const std::uint8_t*>(stale.constData()),
              static_cast<std::size_t>(stale.size()), dropped);
}

// A frame held back for a connection that may never come would be reported as on its way and
// then silently dropped: until the connection is up, nothing is taken.
int NetworkChannel::WriteComPort(const std::uint8_t* bytes, int length) {
    if (!Connected() || length <= 0) return kWriteNotSent;
    // A server that takes nothing in any more: its backlog stays in the system, not in ours.
    if (socket_.bytesToWrite() + length > kNetworkBufferBytes) return kWriteNotSent;
    const std::vector<std::uint8_t> frame =
        mbap_ ? mbap_->Request(bytes, static_cast<std::size_t>(length))
              : std::vector<std::uint8_t>(bytes, bytes + length);
    // Modbus TCP carries no frame that is not a Modbus request.
    if (frame.empty()) return kWriteNotSent;
    if (telnet_) {
        if (!telnet_->Ready()) return kWriteNotSent;
        telnet_->Send(frame.data(), frame.size());
        Send(telnet_->TakeOutgoing());
    } else {
        Send(frame);
    }
    return socket_.bytesToWrite() == 0 ? kWriteDone : kWritePending;
}

int NetworkChannel::ReopenVanishedPort(std::int32_t bitRate) {
    if (target_.host.empty()) return kOpenFailed;
    return OpenComPort(NetworkPortName(target_), bitRate);
}

bool NetworkChannel::WaitForInput(int ms) {
    if (PendingInputCount() > 0) return true;
    if (!active_) return false;
    if (lookupId_ >= 0) {
        // The resolver answers through the event loop.
        QCoreApplication::processEvents();
        return SerialChannel::WaitForInput(ms);
    }
    if (!connected_) {
        // A wait that runs out abandons the connect; it is made again for the next wait.
        if (socket_.state() == QAbstractSocket::UnconnectedState)
            socket_.connectToHost(address_, target_.port);
        if (!socket_.waitForConnected(std::max(ms, 1))) return false;
    }
    socket_.waitForReadyRead(ms);
    return PendingInputCount() > 0;
}

bool NetworkChannel::WaitUntilConnected(int ms) {
    const auto deadline = LinkClock::now() + std::chrono::milliseconds(ms);
    while (Connecting()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - LinkClock::now()).count();
        if (left <= 0) {
            Lose(connected_ ? OpenFailureReason::PortControlUnanswered
                            : OpenFailureReason::ConnectionTimedOut);
            break;
        }
        WaitForInput(static_cast<int>(std::min<std::int64_t>(left, kConnectWaitMs)));
    }
    return Connected();
}

void NetworkChannel::Send(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return;
    socket_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    socket_.flush();
}

std::uint32_t NetworkChannel::PendingInputCount() {
    if (PortControlOverdue()) Lose(OpenFailureReason::PortControlUnanswered);
    TakeIn();
    return static_cast<std::uint32_t>(input_.size() - readAt_);
}

std::uint8_t NetworkChannel::ReadComByte() {
    if (readAt_ >= input_.size()) return 0;
    return input_[readAt_++];
}

void NetworkChannel::TakeIn() {
    if (readAt_ == input_.size()) {
        input_.clear();
        readAt_ = 0;
    }
    const auto held = static_cast<qint64>(input_.size() - readAt_);
    if (!Connected() || held >= kNetworkBufferBytes) return;
    const QByteArray bytes = socket_.read(kNetworkBufferBytes - held);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const auto size = static_cast<std::size_t>(bytes.size());
    if (telnet_) return Negotiate(data, size, input_);
    if (!mbap_) {
        input_.insert(input_.end(), data, data + size);
        return;
    }
    std::vector<MbapDrop> drops;
    mbap_->Receive(data, size, input_, drops);
    for (const MbapDrop& drop : drops)
        Note({NetworkNote::Kind::ReplyDropped, {}, OpenFailureReason::None, drop});
}

void NetworkChannel::Note(NetworkNote note) const {
    if (!observer_) return;
    note.where = NetworkPortLabel(target_);
    observer_->NetworkNoted(LinkClock::now(), note);
}

} // namespace kvel
