// The words for the link's reports.
#include "LinkWords.h"

namespace kvel {

std::string LinkStatusText(LinkStatus status) {
    switch (status) {
    case LinkStatus::Idle:
        return " ";
    case LinkStatus::Lost:
        return "Нет связи";
    case LinkStatus::Receiving:
        return "ПРИЕМ ДАННЫХ";
    }
    return " ";
}

std::string AddressPanelText(std::uint8_t address, AddressNews news) {
    return (news == AddressNews::Polled ? "Адрес" : "Адрес ") + std::to_string(address);
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

std::string ReopenAtNewRateMessage(const OpenFailure& failure) {
    return OpenErrorMessage("Ошибка открытия COM порта1", failure);
}

} // namespace kvel
