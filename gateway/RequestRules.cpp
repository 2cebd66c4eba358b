// What a Modbus TCP client may put on the shared line.
#include "RequestRules.h"

#include "Crc16.h"
#include "ModbusFrame.h"
#include "RegisterMap.h"

namespace kvel::gateway {

namespace {
// Function, register, count or value: every request the unit knows.
constexpr std::size_t kRequestPduBytes = 5;

bool ChangesLine(std::uint16_t reg) {
    return reg == reg::holding::DeviceAddress || reg == reg::holding::BaudIndex;
}

Ruling Refusal(std::uint8_t code) {
    return {Ruling::Kind::Refuse, {}, code};
}
} // namespace

Ruling RuleOn(const MbapFrame& frame, const SharingPolicy& policy) {
    if (frame.wrongLength || frame.protocol != 0) return {};
    if (frame.unit == 0) return Refusal(kIllegalFunction);
    if (frame.unit > kHighestUnitAddress) return Refusal(kPathUnavailable);
    const std::uint8_t function = frame.pdu.front();
    if (function != kReadHolding && function != kReadInput && function != kWriteSingle)
        return Refusal(kIllegalFunction);
    if (frame.pdu.size() != kRequestPduBytes) return Refusal(kIllegalDataValue);
    const TransactionRequest request{frame.unit, function, WordAt(&frame.pdu[1]),
                                     WordAt(&frame.pdu[3])};
    if (function == kWriteSingle) {
        if (policy.readOnly || ChangesLine(request.reg) || request.reg == reg::kCommandRegister)
            return Refusal(kIllegalFunction);
    } else if (request.countOrValue == 0 || request.countOrValue > kMostRegistersPerRead) {
        return Refusal(kIllegalDataValue);
    }
    return {Ruling::Kind::Forward, request, 0};
}

std::vector<std::uint8_t> ExceptionReply(std::uint16_t transaction, std::uint8_t unit,
                                         std::uint8_t function, std::uint8_t code) {
    const std::uint8_t pdu[] = {static_cast<std::uint8_t>(function | kExceptionFlag), code};
    return MbapBytes(transaction, unit, pdu, sizeof pdu);
}

bool WritesLineSettings(const std::uint8_t* bytes, std::size_t length) {
    constexpr std::size_t kWriteFrameBytes = std::tuple_size_v<RequestFrame>;
    for (std::size_t at = 0; at + kWriteFrameBytes <= length; ++at) {
        const std::uint8_t* frame = bytes + at;
        if (frame[1] == kWriteSingle && ChangesLine(WordAt(frame + 2)) &&
            CrcHolds(frame, kWriteFrameBytes))
            return true;
    }
    return false;
}

} // namespace kvel::gateway
