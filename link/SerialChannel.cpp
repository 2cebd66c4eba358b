// Bit-rate table and port names shared by every serial channel.
#include "SerialChannel.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <thread>

namespace kvel {

namespace {
const std::string kPortPrefix = "\\\\.\\COM";
}

bool SerialChannel::WaitForInput(int ms) {
    if (PendingInputCount() > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(ms, 0, 1)));
    return PendingInputCount() > 0;
}

bool MoveOpenLineTo(SerialChannel& channel, std::int32_t bitRate) {
    return channel.IsOpen() && !channel.Connecting() && channel.SetBitRate(bitRate);
}

std::int32_t BaudRateFromIndex(std::uint8_t index) {
    static constexpr std::array<std::int32_t, 10> rates{1200,  2400,  4800,  9600,  14400,
                                                        19200, 38400, 56000, 57600, 115200};
    return index < rates.size() ? rates[index] : 9600;
}

std::string ComPortName(std::uint16_t number) {
    return kPortPrefix + std::to_string(number);
}

long ComPortNumber(const std::string& name) {
    if (name.compare(0, kPortPrefix.size(), kPortPrefix) != 0) return -1;
    const std::string digits = name.substr(kPortPrefix.size());
    if (digits.empty() || digits.size() > 5) return -1;
    long number = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

std::string OpenFailureReasonText(const OpenFailure& failure) {
    switch (failure.reason) {
    case OpenFailureReason::None:
        return {};
    case OpenFailureReason::NoSuchDevice:
        return "нет такого устройства";
    case OpenFailureReason::Busy:
        return failure.holder.empty() ? "порт занят другой программой"
                                      : "порт занят другой программой: " + failure.holder;
    case OpenFailureReason::NoPermission:
#ifdef __linux__
        return "нет прав доступа, добавьте пользователя в группу dialout";
#else
        return "нет прав доступа";
#endif
    case OpenFailureReason::NotSerialPort:
        return "это не последовательный порт";
    case OpenFailureReason::Other:
        return "не удалось открыть: " + failure.detail;
    case OpenFailureReason::SettingsRefused:
        return "порт не принял настройки: " + failure.detail;
    case OpenFailureReason::HostNotFound:
        return "узел не найден";
    case OpenFailureReason::ConnectionRefused:
        return "соединение отвергнуто";
    case OpenFailureReason::ConnectionDropped:
        return "соединение разорвано";
    case OpenFailureReason::HostUnreachable:
        return "узел недоступен";
    case OpenFailureReason::PortControlRefused:
        return "сервер отказал в управлении портом (RFC 2217)";
    case OpenFailureReason::PortControlUnanswered:
        return "сервер не ответил на управление портом (RFC 2217)";
    case OpenFailureReason::TelnetGarbled:
        return "сервер нарушил протокол telnet";
    case OpenFailureReason::ConnectionTimedOut:
        return "узел не отвечает";
    }
    return {};
}

std::string OpenFailureText(const OpenFailure& failure) {
    if (failure.reason == OpenFailureReason::None) return {};
    return failure.device + ": " + OpenFailureReasonText(failure);
}

std::string OpenErrorMessage(const std::string& firstLine, const OpenFailure& failure) {
    if (failure.reason == OpenFailureReason::None) return firstLine;
    return firstLine + "\n" + OpenFailureText(failure);
}

} // namespace kvel
