// Reading and writing the names of network lines.
#include "NetworkPort.h"

#include <algorithm>
#include <cctype>

namespace kvel {

const char* const kNetworkPortForms =
    "tcp://HOST:PORT (RTU over TCP), rfc2217://HOST:PORT (RTU over telnet, the server's rate "
    "set by kvel) or modbus-tcp://HOST[:PORT] (Modbus TCP, port 502 unless given)";

namespace {
const std::string kRtuOverTcpScheme = "tcp://";
const std::string kModbusTcpScheme = "modbus-tcp://";
const std::string kRfc2217Scheme = "rfc2217://";
constexpr std::size_t kLongestHost = 253;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool HostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

bool Ipv6Character(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
}

std::optional<std::uint16_t> ReadPortNumber(const std::string& digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    if (!std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    const long number = std::stol(digits);
    if (number < 1 || number > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(number);
}

// "host", "host:port", "[v6]" or "[v6]:port"; the port text is empty when none is given.
bool SplitHostAndPort(const std::string& rest, std::string& host, std::string& port,
                      bool& hasPort) {
    std::size_t hostEnd = 0;
    if (!rest.empty() && rest.front() == '[') {
        hostEnd = rest.find(']');
        if (hostEnd == std::string::npos) return false;
        host = rest.substr(1, hostEnd - 1);
        if (host.empty() || !std::all_of(host.begin(), host.end(), Ipv6Character)) return false;
        ++hostEnd;
    } else {
        hostEnd = std::min(rest.find(':'), rest.size());
        host = rest.substr(0, hostEnd);
        if (host.empty() || host.size() > kLongestHost ||
            !std::all_of(host.begin(), host.end(), HostCharacter))
            return false;
    }
    hasPort = hostEnd < rest.size();
    if (hasPort && rest[hostEnd] != ':') return false;
    port = hasPort ? rest.substr(hostEnd + 1) : std::string();
    return true;
}
} // namespace

bool IsNetworkPortName(const std::string& name) {
    return StartsWith(name, kRtuOverTcpScheme) || StartsWith(name, kModbusTcpScheme) ||
           StartsWith(name, kRfc2217Scheme);
}

bool LineTakesBitRate(const std::string& name) {
    return !IsNetworkPortName(name) || StartsWith(name, kRfc2217Scheme);
}

std::optional<NetworkPort> ParseNetworkPort(const std::string& name, std::string& error) {
    NetworkPort parsed;
    std::string rest;
    if (StartsWith(name, kRtuOverTcpScheme)) {
        rest = name.substr(kRtuOverTcpScheme.size());
    } else if (StartsWith(name, kModbusTcpScheme)) {
        parsed.protocol = NetworkProtocol::ModbusTcp;
        rest = name.substr(kModbusTcpScheme.size());
    } else if (StartsWith(name, kRfc2217Scheme)) {
        parsed.protocol = NetworkProtocol::Rfc2217;
        rest = name.substr(kRfc2217Scheme.size());
    } else {
        error = "\"" + name + "\" is not a network port; give " + kNetworkPortForms;
        return std::nullopt;
    }
    std::string portText;
    bool hasPort = false;
    if (!SplitHostAndPort(rest, parsed.host, portText, hasPort)) {
        error = "\"" + name + "\" names no host; give " + kNetworkPortForms;
        return std::nullopt;
    }
    if (!hasPort && parsed.protocol == NetworkProtocol::ModbusTcp) {
        parsed.port = kModbusTcpDefaultPort;
        return parsed;
    }
    const std::optional<std::uint16_t> number = ReadPortNumber(portText);
    if (!number) {
        error = "\"" + name + "\" has no TCP port from 1 to 65535; give " + kNetworkPortForms;
        return std::nullopt;
    }
    parsed.port = *number;
    return parsed;
}

bool IsModbusTcpPort(const std::string& name) {
    return StartsWith(name, kModbusTcpScheme);
}

std::string NetworkPortLabel(const NetworkPort& port) {
    const bool ipv6 = port.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + port.host + "]" : port.host) + ":" + std::to_string(port.port);
}

std::string NetworkPortName(const NetworkPort& port) {
    switch (port.protocol) {
    case NetworkProtocol::ModbusTcp:
        return kModbusTcpScheme + NetworkPortLabel(port);
    case NetworkProtocol::Rfc2217:
        return kRfc2217Scheme + NetworkPortLabel(port);
    case NetworkProtocol::RtuOverTcp:
        break;
    }
    return kRtuOverTcpScheme + NetworkPortLabel(port);
}

} // namespace kvel
