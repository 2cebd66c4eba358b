// Network lines named as ports: "tcp://HOST:PORT" carries the RTU bytes unchanged (a
// serial-device server), "rfc2217://HOST:PORT" does too and sets the server's line as a serial
// port's (telnet COM port control), "modbus-tcp://HOST[:PORT]" reaches the unit through a Modbus
// TCP gateway.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kvel {

enum class NetworkProtocol { RtuOverTcp, ModbusTcp, Rfc2217 };

constexpr std::uint16_t kModbusTcpDefaultPort = 502;

struct NetworkPort {
    NetworkProtocol protocol = NetworkProtocol::RtuOverTcp;
    std::string host;
    std::uint16_t port = 0;
};

// What a bad network port name is told, in every program that takes one.
extern const char* const kNetworkPortForms;

// True for a name that asks for a network line, well formed or not.
bool IsNetworkPortName(const std::string& name);

// Empty, with `error` saying what is wrong, when the name is not one of kNetworkPortForms.
std::optional<NetworkPort> ParseNetworkPort(const std::string& name, std::string& error);

// True for a serial port and for a line whose server takes the rate from us: the rate is the
// line's, as the connection window, the finder and the status bar show it. Elsewhere the server's
// own configuration fixes it.
bool LineTakesBitRate(const std::string& name);

// True for a Modbus TCP port name: its gateway carries standard Modbus requests only, not the
// firmware's block frames.
bool IsModbusTcpPort(const std::string& name);

// The port as a name that ParseNetworkPort reads back: "tcp://10.0.0.5:4001".
std::string NetworkPortName(const NetworkPort& port);

// "10.0.0.5:4001", for the operator's eyes; IPv6 addresses in brackets.
std::string NetworkPortLabel(const NetworkPort& port);

} // namespace kvel
