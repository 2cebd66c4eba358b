// The options that name a line and a listening address.
#include "PortOptions.h"

#include "NetworkPort.h"
#include "SerialChannel.h"

#include <algorithm>

namespace kvel::cli {

namespace {
// As mbpoll reads it: a name with a '/' is a device path, relative ones too (./com1).
std::optional<PortChoice> ReadSerialPort(const std::string& text) {
    if (text.find('/') != std::string::npos) return PortChoice{text, text};
    std::string digits = text;
    if (digits.size() > 3 && (digits.compare(0, 3, "COM") == 0 || digits.compare(0, 3, "com") == 0))
        digits = digits.substr(3);
    if (const std::optional<long> number = WholeNumber(digits, 1, 65535))
        return PortChoice{ComPortName(static_cast<std::uint16_t>(*number)),
                          "COM" + std::to_string(*number)};
    if (ComPortNumber(text) < 0) return std::nullopt;
    return PortChoice{text, text};
}
} // namespace

const char* const kBaudRefusal = "--baud wants 1200, 2400, 4800, 9600, 14400, 19200, 38400, "
                                 "56000, 57600 or 115200, or an index 0 to 9.";

std::optional<long> WholeNumber(const std::string& text, long lowest, long highest) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const long value = std::stol(text);
    if (value < lowest || value > highest) return std::nullopt;
    return value;
}

std::optional<PortChoice> ReadPortOption(const std::string& text, std::string& error) {
    if (IsNetworkPortName(text)) {
        if (!ParseNetworkPort(text, error)) {
            error = "--port: " + error + ".";
            return std::nullopt;
        }
        return PortChoice{text, text};
    }
    if (std::optional<PortChoice> serial = ReadSerialPort(text)) return serial;
    error = "--port wants a COM number (3 or COM3), a device path, or " +
            std::string(kNetworkPortForms) + "; not \"" + text + "\".";
    return std::nullopt;
}

std::optional<std::uint8_t> ReadBaudOption(const std::string& text) {
    const std::optional<long> number = WholeNumber(text, 0, 115200);
    if (!number) return std::nullopt;
    for (std::uint8_t index = 0; index < kBaudIndexCount; ++index)
        if (*number == index || *number == BaudRateFromIndex(index)) return index;
    return std::nullopt;
}

std::optional<ListenAddress> ReadListenOption(const std::string& option, const std::string& text,
                                              const ListenAddress& fallback, std::string& error) {
    const std::size_t colon = text.rfind(':');
    std::string host = colon == std::string::npos ? fallback.host : text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const std::optional<long> port =
        WholeNumber(colon == std::string::npos ? text : text.substr(colon + 1), 1, 65535);
    if (port && !host.empty()) return ListenAddress{host, static_cast<int>(*port)};
    error = "--" + option + " wants HOST:PORT (" + fallback.host + ":" +
            std::to_string(fallback.port) + "), [IPv6]:PORT or a port, not \"" + text + "\".";
    return std::nullopt;
}

} // namespace kvel::cli
