// The options that name a line and a listening address, read the same way by kvel-cli and the
// daemons: a COM number, a device path or a network line; a rate or its index; HOST:PORT.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kvel::cli {

struct PortChoice {
    std::string name;  // "\\.\COM<n>", a device path or a network line, as OpenComPort takes it
    std::string label; // as the user knows it: COM3, /dev/ttyUSB0, tcp://10.0.0.5:4001
};

struct ListenAddress {
    std::string host;
    int port = 0;
};

// Digits only, within [lowest, highest].
std::optional<long> WholeNumber(const std::string& text, long lowest, long highest);

// Empty, with `error` saying what --port wants, when `text` names no port.
std::optional<PortChoice> ReadPortOption(const std::string& text, std::string& error);

// The rate's index 0 to 9 for a bit rate or an index; empty when it is neither.
std::optional<std::uint8_t> ReadBaudOption(const std::string& text);
extern const char* const kBaudRefusal;

// HOST:PORT, [IPv6]:PORT, or a port alone on the default's host; empty, with `error` naming
// `option` and showing the default, when it is none of them.
std::optional<ListenAddress> ReadListenOption(const std::string& option, const std::string& text,
                                              const ListenAddress& fallback, std::string& error);

} // namespace kvel::cli
