// The unit behind a network server on 127.0.0.1: a serial-device server passing the RTU bytes
// raw over TCP, or a Modbus TCP gateway turning MBAP frames into RTU frames and back. One
// master at a time, as on a serial line.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "LineTransport.h"
#include "MbapFraming.h"

namespace kvel::sim {

enum class TcpFraming { RtuOverTcp, ModbusTcp };

class TcpTransport : public LineTransport {
public:
    using Clock = std::chrono::steady_clock;

    // Listens on 127.0.0.1:`port` (0: a free port, see Port()); the serial side runs at
    // `lineBitRate` whatever the unit later switches to. Throws std::runtime_error when it
    // cannot listen.
    TcpTransport(std::uint16_t port, TcpFraming framing, std::int32_t lineBitRate);
    ~TcpTransport() override;
    TcpTransport(const TcpTransport&) = delete;
    TcpTransport& operator=(const TcpTransport&) = delete;

    int Descriptor() const override { return client_ >= 0 ? client_ : listener_; }
    ReadResult Read() override;
    bool Write(const std::vector<std::uint8_t>& bytes) override;
    std::int32_t PeerBitRate() const override { return lineBitRate_; }
    void PeerHungUp() override { CloseClient(); }
    // The connection closes and the port refuses connections until Reappear.
    void Pull() override;
    void Reappear(std::int32_t bitRate) override;
    std::string Description() const override;

    // The connection closes at once; the next one is taken as usual.
    void CutConnection() { CloseClient(); }
    bool HasClient() const { return client_ >= 0; }
    Clock::time_point ClientSince() const { return clientSince_; }
    std::uint16_t Port() const { return port_; }

private:
    void Listen();
    void Accept();
    void CloseClient();
    ReadResult FromGateway(const std::uint8_t* bytes, std::size_t length);
    bool Send(const std::vector<std::uint8_t>& bytes);

    std::uint16_t port_;
    TcpFraming framing_;
    std::int32_t lineBitRate_;
    int listener_ = -1;
    int client_ = -1;
    Clock::time_point clientSince_;
    // The gateway's side: requests cut from the stream, and the reply the unit is sending.
    MbapStream requests_;
    std::uint16_t transaction_ = 0;
    std::vector<std::uint8_t> reply_;
};

} // namespace kvel::sim
