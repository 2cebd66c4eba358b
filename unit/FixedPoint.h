// Typed numbers read into a count of tenths or wholes. The sum is a fixed 64-bit type: `long`
// has 32 bits on Windows, where a long typed number would wrap into a plausible value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kvel::unit {

// Why a typed value was not taken, for callers that say it in another language.
enum class ValueFault { None, NotANumber, FarTooLarge, NotWhole, TooManyDecimals, OutOfRange };

// The value in units of 10^-decimals, or empty with the fault.
struct FixedPoint {
    std::optional<std::int64_t> scaled;
    ValueFault fault = ValueFault::None;
};

// Longer numbers are refused before they are summed; twelve digits fit 64 bits with room.
constexpr int kMostTypedDigits = 12;

// Digits with at most one decimal separator (comma or point) and an optional leading minus.
// Decimals beyond `decimals` are taken only when they are zeros.
constexpr FixedPoint ReadFixedPoint(std::string_view text, int decimals) {
    const FixedPoint notNumber{std::nullopt, ValueFault::NotANumber};
    std::size_t pos = 0;
    const bool negative = pos < text.size() && text[pos] == '-';
    if (negative) ++pos;
    std::int64_t value = 0;
    int digits = 0;
    int fractionDigits = 0;
    bool separator = false;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '.' || c == ',') {
            if (separator) return notNumber;
            separator = true;
            continue;
        }
        if (c < '0' || c > '9') return notNumber;
        if (++digits > kMostTypedDigits) return {std::nullopt, ValueFault::FarTooLarge};
        if (separator && ++fractionDigits > decimals) {
            if (c != '0')
                return {std::nullopt,
                        decimals == 0 ? ValueFault::NotWhole : ValueFault::TooManyDecimals};
            continue;
        }
        value = value * 10 + (c - '0');
    }
    if (digits == 0) return notNumber;
    for (; fractionDigits < decimals; ++fractionDigits)
        value *= 10;
    return {negative ? -value : value, ValueFault::None};
}

} // namespace kvel::unit
