// The number readers and the text formats. Oracle: every format reads back to its word, a
// whole number also reads as a decimal of the same value, and a scaling gives the truncated value
// when it fits its register and nothing, never a wrapped word, when it does not.
#include "Reference.h"
#include "TextFormats.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <optional>

using namespace kvel;

namespace {
bool ReadsAsTenths(const QString& text, std::uint16_t tenths) {
    const auto value = ParseDecimalComma(text);
    return value && std::llround(*value * 10) == tenths;
}

// `scaled` is the register word for the exact value `exact` after single-precision rounding and
// truncation: within one of it inside the register's range, absent well outside it.
bool ScaledOrRefused(std::optional<std::uint16_t> scaled, long double exact) {
    const long double slack = 1 + std::fabs(exact) * 1e-6L;
    if (exact > -1 + slack && exact < 65535 - slack)
        return scaled && std::fabs(*scaled - exact) < slack;
    if (exact < -slack || exact > 65536 + slack) return !scaled;
    return true;
}

bool SignedOrRefused(std::optional<std::uint16_t> word, long double exact) {
    if (std::fabs(exact) < 32767)
        return word == static_cast<std::uint16_t>(static_cast<std::int16_t>(std::trunc(exact)));
    if (std::fabs(exact) >= 32769) return !word;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto word = input.ConsumeIntegral<std::uint16_t>();
    const std::string utf8 = input.ConsumeRemainingBytesAsString();
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));

    KVEL_FUZZ_CHECK(ReadsAsTenths(TenthsText(word), word));
    KVEL_FUZZ_CHECK(ReadsAsTenths(ShortestDecimalText(word), word));
    KVEL_FUZZ_CHECK(ParseWholeNumber(SignedText(word)) == static_cast<std::int16_t>(word));

    const auto whole = ParseWholeNumber(text);
    const auto decimal = ParseDecimalComma(text);
    if (whole) {
        KVEL_FUZZ_CHECK(ParseWholeNumber(QString::number(*whole)) == whole);
        KVEL_FUZZ_CHECK(decimal && *decimal == static_cast<long double>(*whole));
        KVEL_FUZZ_CHECK(
            UnsignedWord(*whole) ==
            (*whole >= 0 && *whole <= 65535 ? std::optional<std::uint16_t>(*whole) : std::nullopt));
    }
    if (decimal) {
        KVEL_FUZZ_CHECK(std::isfinite(*decimal));
        KVEL_FUZZ_CHECK(ScaledOrRefused(ScaleSetpoint(*decimal), *decimal * 10));
        KVEL_FUZZ_CHECK(ScaledOrRefused(ScaleTenths(*decimal), *decimal * 10));
        KVEL_FUZZ_CHECK(SignedOrRefused(TruncateToSignedWord(*decimal), *decimal));
    }
    return 0;
}
