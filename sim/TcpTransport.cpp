// Listening, accepting one master, and the gateway's MBAP conversion.
#include "TcpTransport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "ModbusFrame.h"

namespace kvel::sim {

namespace {
constexpr std::size_t kReadChunk = 512;
// Longer than any RTU reply: what the unit sends beyond it is not a frame a gateway passes on.
constexpr std::size_t kLongestReply = 256;

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}
} // namespace

TcpTransport::TcpTransport(std::uint16_t port, TcpFraming framing, std::int32_t lineBitRate)
    : port_(port), framing_(framing), lineBitRate_(lineBitRate) {
    Listen();
}

TcpTransport::~TcpTransport() {
    Pull();
}

void TcpTransport::Listen() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener_ < 0) Fail("socket");
    const int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 1) != 0) {
        const int error = errno;
        close(listener_);
        listener_ = -1;
        errno = error;
        Fail("listening on 127.0.0.1:" + std::to_string(port_));
    }
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

void TcpTransport::Pull() {
    CloseClient();
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
}

void TcpTransport::Reappear(std::int32_t) {
    Pull();
    Listen();
}

std::string TcpTransport::Description() const {
    const std::string where = "127.0.0.1:" + std::to_string(port_);
    return framing_ == TcpFraming::ModbusTcp ? "modbus-tcp://" + where + " (Modbus TCP)"
                                             : "tcp://" + where + " (RTU over TCP)";
}

void TcpTransport::Accept() {
    client_ = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client_ < 0) return;
    clientSince_ = Clock::now();
    requests_.Clear();
    reply_.clear();
}

void TcpTransport::CloseClient() {
    if (client_ >= 0) close(client_);
    client_ = -1;
}

LineTransport::ReadResult TcpTransport::Read() {
    if (client_ < 0) {
        Accept();
        return {};
    }
    std::uint8_t buffer[kReadChunk];
    const ssize_t count = recv(client_, buffer, sizeof buffer, 0);
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return {};
    if (count <= 0) {
        CloseClient();
        return {ReadStatus::NoPeer, {}};
    }
    const auto length = static_cast<std::size_t>(count);
    if (framing_ == TcpFraming::ModbusTcp) return FromGateway(buffer, length);
    return {ReadStatus::Data, {buffer, buffer + length}};
}

// A master whose MBAP headers make no sense has lost the frames' thread; like a real gateway,
// this one hangs up on it.
LineTransport::ReadResult TcpTransport::FromGateway(const std::uint8_t* bytes, std::size_t length) {
    std::vector<MbapFrame> frames;
    requests_.Push(bytes, length, frames);
    ReadResult result;
    for (const MbapFrame& frame : frames) {
        if (frame.wrongLength) {
            CloseClient();
            return {ReadStatus::NoPeer, {}};
        }
        if (frame.protocol != 0) continue;
        transaction_ = frame.transaction;
        reply_.clear();
        AppendRtuFrame(result.bytes, frame.unit, frame.pdu);
    }
    result.status = result.bytes.empty() ? ReadStatus::Nothing : ReadStatus::Data;
    return result;
}

// The gateway waits for the unit's whole reply and passes it on only when its CRC holds.
bool TcpTransport::Write(const std::vector<std::uint8_t>& bytes) {
    if (client_ < 0) return false;
    if (framing_ == TcpFraming::RtuOverTcp) return Send(bytes);
    reply_.insert(reply_.end(), bytes.begin(), bytes.end());
    if (reply_.size() > kLongestReply) reply_.clear();
    if (!CrcHolds(reply_.data(), reply_.size())) return true;
    const std::vector<std::uint8_t> frame =
        MbapBytes(transaction_, reply_[0], reply_.data() + 1, reply_.size() - 3);
    reply_.clear();
    return Send(frame);
}

bool TcpTransport::Send(const std::vector<std::uint8_t>& bytes) {
    const ssize_t sent = send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return sent == static_cast<ssize_t>(bytes.size());
}

} // namespace kvel::sim
