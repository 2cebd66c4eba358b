// A network line as the link's channel: RTU over TCP to a serial-device server (its line set by
// us over telnet, RFC 2217, or by its own configuration), or Modbus TCP to a gateway, through
// QTcpSocket.
#pragma once

#include "LinkObserver.h"
#include "MbapFraming.h"
#include "NetworkPort.h"
#include "Rfc2217Session.h"
#include "SerialChannel.h"

#include <QHostInfo>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <optional>
#include <vector>

namespace kvel {

// The longest OpenComPort waits for the connection: one tick of the link. A connection that
// takes longer goes on in the background, the channel counting as open meanwhile.
constexpr int kConnectWaitMs = 100;
// A connection not up by then is given up as "узел не отвечает".
constexpr int kConnectTimeoutMs = 3000;
// What the channel holds back, received or still to send: a flood from the other end waits in
// the system's buffers, not in ours.
constexpr qint64 kNetworkBufferBytes = 64 * 1024;
// How long a server that sets its line for us (RFC 2217) has to answer a setting; ser2net
// takes about 50 ms.
constexpr int kPortControlTimeoutMs = 2000;

class NetworkChannel : public QObject, public SerialChannel {
    Q_OBJECT
public:
    NetworkChannel();
    ~NetworkChannel() override;

    // `name` is a network port name; the bit rate is asked of an RFC 2217 server, the others
    // keep their own.
    int OpenComPort(const std::string& name, std::int32_t bitRate) override;
    void CloseComPort() override;
    void PurgeComPort() override;
    // Connected, or connecting.
    bool IsOpen() const override { return active_; }
    // An RFC 2217 line is up once its server has taken the line's settings.
    bool Connecting() const override {
        return active_ && (!connected_ || (telnet_ && !telnet_->Ready()));
    }
    bool SetBitRate(std::int32_t bitRate) override;
    bool WaitUntilConnected(int ms) override;
    int WriteComPort(const std::uint8_t* bytes, int length) override;
    std::uint32_t PendingInputCount() override;
    std::uint8_t ReadComByte() override;
    // Drives the socket where no event loop does (kvel-cli's transactions): the name's lookup,
    // the connection still coming up, then its bytes.
    bool WaitForInput(int ms) override;
    OpenFailure LastOpenFailure() const override { return lastFailure_; }
    // A connection refused, timed out, unresolved or dropped counts as vanished, so the keeper
    // tries again as after a replug: the server may come (back) at any time.
    bool PortVanished() const override { return vanished_; }
    // The same server again, by the name it was given: it may answer at a new address now.
    int ReopenVanishedPort(std::int32_t bitRate) override;
    void SetObserver(LinkObserver* observer) override { observer_ = observer; }
    bool SetReadinessHandler(std::function<void(ChannelEvent)> handler) override {
        readiness_ = std::move(handler);
        return true;
    }

    bool Connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }

private:
    void Shutdown();
    int ConnectNow(const QHostAddress& address);
    void StartConnecting(const QHostAddress& address);
    void OnHostFound(const QHostInfo& info);
    void OnConnected();
    void OnReadyRead();
    // An RFC 2217 server's answers taken in and what the session says sent; a problem loses the
    // line with its cause.
    void Negotiate(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& data);
    void WaitForNegotiation();
    void LoseForPortControl();
    bool PortControlOverdue() const;
    void OnError(QAbstractSocket::SocketError error);
    // The connection is gone for `reason`: closed at once, noted, and left for the keeper.
    void Lose(OpenFailureReason reason);
    void RecordFailure(OpenFailureReason reason);
    void TakeIn();
    void Send(const std::vector<std::uint8_t>& bytes);
    void Note(NetworkNote note) const;

    QTcpSocket socket_;
    QTimer connectTimeout_;
    NetworkPort target_;
    // Where the connection is being made: a connect that a wait gave up on is made again.
    QHostAddress address_;
    std::optional<MbapAdapter> mbap_;
    std::optional<Rfc2217Session> telnet_;
    std::int32_t bitRate_ = 0;
    // Running while an RFC 2217 server owes an answer to a setting.
    QTimer portControlTimeout_;
    std::vector<std::uint8_t> input_;
    std::size_t readAt_ = 0;
    bool active_ = false;
    bool connected_ = false;
    // Set while OpenComPort waits: a failure then is the open's, not a loss.
    bool opening_ = false;
    int lookupId_ = -1;
    OpenFailure lastFailure_;
    bool vanished_ = false;
    LinkObserver* observer_ = nullptr;
    std::function<void(ChannelEvent)> readiness_;
};

} // namespace kvel
