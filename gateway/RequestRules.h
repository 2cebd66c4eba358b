// What a Modbus TCP client may put on the shared line, and what it is told instead: the unit
// knows three functions, and nothing on a line that others share may change the line itself.
#pragma once

#include "MbapFraming.h"
#include "ModbusExceptions.h"
#include "ModbusTransaction.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvel::gateway {

// The exception codes a gateway answers with in the unit's place.
constexpr std::uint8_t kIllegalFunction = kExceptionIllegalFunction;
constexpr std::uint8_t kIllegalDataValue = kExceptionIllegalValue;
constexpr std::uint8_t kPathUnavailable = kExceptionGatewayPathUnavailable;
constexpr std::uint8_t kTargetFailed = kExceptionGatewayTargetSilent;

// The most registers one read may ask for, as the Modbus standard allows.
constexpr std::uint16_t kMostRegistersPerRead = 125;
// The highest address a unit on the line may have; 0 is every unit at once.
constexpr std::uint8_t kHighestUnitAddress = 254;

struct SharingPolicy {
    // Every write refused: the line is there to be watched.
    bool readOnly = false;
};

struct Ruling {
    enum class Kind {
        Forward,    // `request` goes on the line
        Refuse,     // `exception` is the answer, at once
        Disconnect, // the stream cannot be trusted to say where the next frame starts
    };
    Kind kind = Kind::Disconnect;
    TransactionRequest request;
    std::uint8_t exception = 0;
};

Ruling RuleOn(const MbapFrame& frame, const SharingPolicy& policy);

// The MBAP frame of an exception answer to `function` of `frame`.
std::vector<std::uint8_t> ExceptionReply(std::uint16_t transaction, std::uint8_t unit,
                                         std::uint8_t function, std::uint8_t code);

// Whether a whole RTU frame among `bytes` writes a unit's address or rate: after it the unit
// no longer answers where the others look for it.
bool WritesLineSettings(const std::uint8_t* bytes, std::size_t length);

} // namespace kvel::gateway
