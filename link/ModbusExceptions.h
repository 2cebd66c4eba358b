// The Modbus exception codes: each one's number, its English name (kvel-cli and the simulated
// unit's log), the name the windows show, and whether a gateway answered it for a unit it could
// not reach. The link core holds only the names; the sentences around them belong to their users.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kvel {

constexpr std::uint8_t kExceptionIllegalFunction = 0x01;
constexpr std::uint8_t kExceptionIllegalAddress = 0x02;
constexpr std::uint8_t kExceptionIllegalValue = 0x03;
constexpr std::uint8_t kExceptionDeviceFailure = 0x04;
// These two say the unit may take the same request a moment later.
constexpr std::uint8_t kExceptionAcknowledge = 0x05;
constexpr std::uint8_t kExceptionBusy = 0x06;
constexpr std::uint8_t kExceptionMemoryParity = 0x08;
// A gateway answers these for the unit behind it when the unit never answered (0B) or cannot be
// reached at all (0A): no unit is there, however much the exception looks like an answer.
constexpr std::uint8_t kExceptionGatewayPathUnavailable = 0x0A;
constexpr std::uint8_t kExceptionGatewayTargetSilent = 0x0B;

struct ModbusException {
    std::uint8_t code;
    const char* english;
    const char* russian;
    bool gatewayOutcome;
};

inline constexpr std::array<ModbusException, 9> kModbusExceptions{{
    {kExceptionIllegalFunction, "illegal function", "недопустимая функция", false},
    {kExceptionIllegalAddress, "illegal data address", "недопустимый адрес данных", false},
    {kExceptionIllegalValue, "illegal data value", "недопустимое значение данных", false},
    {kExceptionDeviceFailure, "device failure", "отказ устройства", false},
    {kExceptionAcknowledge, "acknowledge", "подтверждение, операция идёт", false},
    {kExceptionBusy, "busy", "устройство занято", false},
    {kExceptionMemoryParity, "memory parity error", "ошибка чётности памяти", false},
    {kExceptionGatewayPathUnavailable, "gateway path unavailable", "шлюз: путь недоступен", true},
    {kExceptionGatewayTargetSilent, "gateway target failed to respond",
     "шлюз: устройство не ответило", true},
}};

// The table's row for `code`, or nullptr for a code the standard leaves unnamed.
constexpr const ModbusException* FindException(std::uint8_t code) {
    for (const ModbusException& known : kModbusExceptions)
        if (known.code == code) return &known;
    return nullptr;
}

// The English name: "busy" for 6, "exception" for a code the standard leaves unnamed.
constexpr const char* ExceptionName(std::uint8_t code) {
    const ModbusException* known = FindException(code);
    return known ? known->english : "exception";
}

// The windows' name: "устройство занято" for 6, empty for a code the standard leaves unnamed.
constexpr const char* RussianExceptionName(std::uint8_t code) {
    const ModbusException* known = FindException(code);
    return known ? known->russian : "";
}

constexpr bool GatewayFoundNoUnit(std::uint8_t code) {
    const ModbusException* known = FindException(code);
    return known && known->gatewayOutcome;
}

} // namespace kvel
