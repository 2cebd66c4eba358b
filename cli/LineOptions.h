// How an operator names a line and its units, read the same by kvel-cli's options and by
// kvel-exporter's options and configuration file, and the words for a port that will not open.
// `what` names the option or key in every message ("--port", "port").
#pragma once

#include "SerialChannel.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kvel::cli {

// The message when the text is refused; the value otherwise.
template <typename T> struct Read {
    std::optional<T> value;
    std::string error;
};

struct NamedPort {
    std::string name;  // "\\.\COM<n>", a device path, or a network line as given
    std::string label; // as the user knows it: COM3, /dev/ttyUSB0, modbus-tcp://host:502
};

struct ListenAddress {
    std::string host;
    int port = 0;
};

// A COM number (3 or COM3), a device path, or a network line as kNetworkPortForms says.
Read<NamedPort> ReadPortName(const std::string& what, const std::string& text);
// 1200 ... 115200, or the rate's index 0 to 9: the index.
std::optional<std::uint8_t> ReadBaudIndex(const std::string& text);
// "--baud wants 1200, 2400, … 57600 or 115200, or an index 0 to 9."
std::string BaudRefusal(const std::string& what);
// "1,3,7-9" or one address.
Read<std::vector<std::uint8_t>> ReadAddressList(const std::string& what, const std::string& text);
// "HOST:PORT", "[IPv6]:PORT", or a port alone on `defaultHost`; whether HOST is an address is
// for the listening to say.
Read<ListenAddress> ReadListenAddress(const std::string& what, const std::string& text,
                                      const std::string& defaultHost);
// Seconds with up to three decimals, to milliseconds within the bounds.
std::optional<int> ReadMilliseconds(const std::string& text, int lowestMs, int highestMs);
// Digits only, within the bounds.
std::optional<long> ReadWholeNumber(const std::string& text, long lowest, long highest);

// The long option at arguments[at], "--name=value", "--name value" or a flag, put into `options`;
// `at` moves past a value it took. The refusal when the option is unknown, lacks a value or has
// one it takes none of, or is given twice.
std::optional<std::string> ReadLongOption(const std::vector<std::string>& arguments,
                                          std::size_t& at,
                                          const std::vector<std::string>& valueOptions,
                                          const std::function<bool(const std::string&)>& isFlag,
                                          std::map<std::string, std::string>& options);

// "cannot open COM3: /dev/ttyUSB0 is in use by another program: kvel (pid 4242)", or for a
// network line "cannot connect to tcp://10.0.0.5:4001: connection refused (…)".
std::string OpenFailureText(const std::string& portLabel, const OpenFailure& failure);
// Why a network line's connection failed or went down; empty for a serial port's reasons.
std::string ConnectionFailureWords(OpenFailureReason reason);

} // namespace kvel::cli
