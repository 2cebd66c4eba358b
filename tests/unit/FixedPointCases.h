// The typed-number reader's cases as constants, so a compiler checks them without running
// anything: the Windows cross-check, where `long` has 32 bits, compiles them as well.
#pragma once

#include "FixedPoint.h"

namespace kvel::unit::test {

struct FixedPointCase {
    std::string_view text;
    int decimals;
    std::optional<std::int64_t> scaled;
    ValueFault fault;
};

constexpr FixedPointCase kFixedPointCases[] = {
    {"48,5", 1, 485, ValueFault::None},
    {"48.5", 1, 485, ValueFault::None},
    {"48", 1, 480, ValueFault::None},
    {"48,50", 1, 485, ValueFault::None},
    {",5", 1, 5, ValueFault::None},
    {"-5", 0, -5, ValueFault::None},
    {"6553,5", 1, 65535, ValueFault::None},
    // A 32-bit sum wraps these to 485 (48,5 V) and to 0.
    {"429496778,1", 1, 4294967781, ValueFault::None},
    {"4294967296", 0, 4294967296, ValueFault::None},
    {"-429496778,1", 1, -4294967781, ValueFault::None},
    {"999999999999", 1, 9999999999990, ValueFault::None},
    {"9999999999999", 0, std::nullopt, ValueFault::FarTooLarge},
    {"48,55", 1, std::nullopt, ValueFault::TooManyDecimals},
    {"1,5", 0, std::nullopt, ValueFault::NotWhole},
    {"4,8,5", 1, std::nullopt, ValueFault::NotANumber},
    {"", 1, std::nullopt, ValueFault::NotANumber},
    {"-", 1, std::nullopt, ValueFault::NotANumber},
    {"48 V", 1, std::nullopt, ValueFault::NotANumber},
};

constexpr bool Holds(const FixedPointCase& c) {
    const FixedPoint read = ReadFixedPoint(c.text, c.decimals);
    return read.scaled == c.scaled && read.fault == c.fault;
}

constexpr bool EveryFixedPointCaseHolds() {
    for (const FixedPointCase& c : kFixedPointCases)
        if (!Holds(c)) return false;
    return true;
}

} // namespace kvel::unit::test
