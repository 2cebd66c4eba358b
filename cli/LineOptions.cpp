// Naming a line and its units, and why a port will not open.
#include "LineOptions.h"

#include "AddressList.h"
#include "NetworkPort.h"

#include <algorithm>

namespace kvel::cli {

namespace {

// As mbpoll reads it: a name with a '/' is a device path, relative ones too (./com1); one with
// "://" is a URL of a kind no line has, and no device.
std::optional<NamedPort> SerialPortNamed(const std::string& text) {
    if (text.find("://") != std::string::npos) return std::nullopt;
    if (text.find('/') != std::string::npos) return NamedPort{text, text};
    std::string digits = text;
    if (digits.size() > 3 && (digits.compare(0, 3, "COM") == 0 || digits.compare(0, 3, "com") == 0))
        digits = digits.substr(3);
    if (const std::optional<long> number = ReadWholeNumber(digits, 1, 65535))
        return NamedPort{ComPortName(static_cast<std::uint16_t>(*number)),
                         "COM" + std::to_string(*number)};
    if (ComPortNumber(text) < 0) return std::nullopt;
    return NamedPort{text, text};
}

std::string OpenReasonText(const OpenFailure& failure) {
    switch (failure.reason) {
    case OpenFailureReason::None:
        return "the port would not open";
    case OpenFailureReason::NoSuchDevice:
        return failure.device + " does not exist";
    case OpenFailureReason::Busy:
        return failure.device + " is in use by another program" +
               (failure.holder.empty() ? "" : ": " + failure.holder);
    case OpenFailureReason::NoPermission:
        return "no permission to open " + failure.device + " (on Debian: adduser $USER dialout)";
    case OpenFailureReason::NotSerialPort:
        return failure.device + " is not a serial port";
    case OpenFailureReason::Other:
        return failure.device + ": " + failure.detail;
    case OpenFailureReason::SettingsRefused:
        return failure.device + " would not take the line settings: " + failure.detail;
    case OpenFailureReason::HostNotFound:
    case OpenFailureReason::ConnectionRefused:
    case OpenFailureReason::ConnectionDropped:
    case OpenFailureReason::HostUnreachable:
    case OpenFailureReason::PortControlRefused:
    case OpenFailureReason::PortControlUnanswered:
    case OpenFailureReason::TelnetGarbled:
    case OpenFailureReason::ConnectionTimedOut:
        return ConnectionFailureWords(failure.reason);
    }
    return {};
}

} // namespace

std::optional<long> ReadWholeNumber(const std::string& text, long lowest, long highest) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const long value = std::stol(text);
    if (value < lowest || value > highest) return std::nullopt;
    return value;
}

std::optional<int> ReadMilliseconds(const std::string& text, int lowestMs, int highestMs) {
    const std::size_t separator = text.find_first_of(".,");
    const std::string whole = text.substr(0, separator);
    std::string fraction = separator == std::string::npos ? "" : text.substr(separator + 1);
    if (fraction.size() > 3) return std::nullopt;
    fraction.resize(3, '0');
    const std::optional<long> ms =
        ReadWholeNumber((whole.empty() ? "0" : whole) + fraction, lowestMs, highestMs);
    if (!ms) return std::nullopt;
    return static_cast<int>(*ms);
}

Read<NamedPort> ReadPortName(const std::string& what, const std::string& text) {
    if (IsNetworkPortName(text)) {
        std::string error;
        if (!ParseNetworkPort(text, error)) return {std::nullopt, what + ": " + error + "."};
        return {NamedPort{text, text}, {}};
    }
    if (std::optional<NamedPort> port = SerialPortNamed(text)) return {std::move(port), {}};
    return {std::nullopt, what + " wants a COM number (3 or COM3), a device path, or " +
                              std::string(kNetworkPortForms) + "; not \"" + text + "\"."};
}

std::optional<std::uint8_t> ReadBaudIndex(const std::string& text) {
    const std::optional<long> number = ReadWholeNumber(text, 0, 115200);
    if (!number) return std::nullopt;
    for (std::uint8_t index = 0; index < kBaudIndexCount; ++index)
        if (*number == index || *number == BaudRateFromIndex(index)) return index;
    return std::nullopt;
}

std::string BaudRefusal(const std::string& what) {
    std::string rates;
    for (std::size_t index = 0; index < kLineRates.size(); ++index) {
        const char* separator = index == 0 ? "" : index + 1 == kLineRates.size() ? " or " : ", ";
        rates += separator + std::to_string(kLineRates[index].bitsPerSecond);
    }
    return what + " wants " + rates + ", or an index 0 to " + std::to_string(kBaudIndexCount - 1) +
           ".";
}

Read<std::vector<std::uint8_t>> ReadAddressList(const std::string& what, const std::string& text) {
    const AddressList list = ParseAddressList(text);
    switch (list.error) {
    case AddressListError::None:
        return {list.addresses, {}};
    case AddressListError::OutOfRange:
        if (list.item == "0")
            return {std::nullopt,
                    what + " 0 is the broadcast address: no unit answers it, and kvel sends no "
                           "writes to it. Give the unit's own address, 1 to 254."};
        return {std::nullopt, what + ": " + list.item + " is not a unit's address, 1 to 254."};
    case AddressListError::Repeated:
        return {std::nullopt, what + " lists " + list.item + " twice."};
    case AddressListError::BackwardRange:
        return {std::nullopt,
                what + ": write the range " + list.item + " from the lower address up."};
    default:
        return {std::nullopt,
                what + " wants the unit's Modbus address, 1 to 254, or a list as 1,3,7-9."};
    }
}

Read<ListenAddress> ReadListenAddress(const std::string& what, const std::string& text,
                                      const std::string& defaultHost) {
    const std::size_t colon = text.rfind(':');
    std::string host = colon == std::string::npos ? defaultHost : text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const std::optional<long> port =
        ReadWholeNumber(colon == std::string::npos ? text : text.substr(colon + 1), 1, 65535);
    if (!port || host.empty())
        return {std::nullopt, what +
                                  " wants HOST:PORT (127.0.0.1:9877), [IPv6]:PORT or a port, "
                                  "not \"" +
                                  text + "\"."};
    return {ListenAddress{host, static_cast<int>(*port)}, {}};
}

std::optional<std::string> ReadLongOption(const std::vector<std::string>& arguments,
                                          std::size_t& at,
                                          const std::vector<std::string>& valueOptions,
                                          const std::function<bool(const std::string&)>& isFlag,
                                          std::map<std::string, std::string>& options) {
    const std::string& arg = arguments[at];
    const std::size_t equals = arg.find('=');
    const std::string name =
        arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const bool takesValue =
        std::find(valueOptions.begin(), valueOptions.end(), name) != valueOptions.end();
    if (!takesValue && !isFlag(name)) return "Unknown option --" + name + ".";
    std::string value;
    if (equals != std::string::npos) {
        if (!takesValue) return "--" + name + " takes no value.";
        value = arg.substr(equals + 1);
    } else if (takesValue) {
        if (at + 1 >= arguments.size()) return "--" + name + " needs a value.";
        value = arguments[++at];
    }
    if (!options.emplace(name, value).second) return "--" + name + " is given twice.";
    return std::nullopt;
}

std::string ConnectionFailureWords(OpenFailureReason reason) {
    switch (reason) {
    case OpenFailureReason::HostNotFound:
        return "the host name does not resolve";
    case OpenFailureReason::ConnectionRefused:
        return "connection refused (is the server listening on that port?)";
    case OpenFailureReason::ConnectionDropped:
        return "the server closed the connection";
    case OpenFailureReason::HostUnreachable:
        return "the host is unreachable (no route to it)";
    case OpenFailureReason::PortControlRefused:
        return "the server refused to let its serial port be set (RFC 2217)";
    case OpenFailureReason::PortControlUnanswered:
        return "the server did not answer the serial port's settings (RFC 2217)";
    case OpenFailureReason::TelnetGarbled:
        return "the server broke the telnet protocol";
    case OpenFailureReason::ConnectionTimedOut:
        return "the host does not answer";
    default:
        return {};
    }
}

std::string OpenFailureText(const std::string& portLabel, const OpenFailure& failure) {
    const char* cannot = IsNetworkPortName(portLabel) ? "cannot connect to " : "cannot open ";
    return cannot + portLabel + ": " + OpenReasonText(failure);
}

} // namespace kvel::cli
