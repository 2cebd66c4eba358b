// The number readers and the text formats. Oracle: every format reads back to its word, a
// whole number also reads as a decimal of the same value, and no scaling misbehaves.
#include "Reference.h"
#include "TextFormats.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

using namespace kvel;

namespace {
bool ReadsAsTenths(const QString& text, std::uint16_t tenths) {
    const auto value = ParseDecimalComma(text);
    return value && std::llround(*value * 10) == tenths;
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
        LowWord(*whole);
    }
    if (decimal) {
        KVEL_FUZZ_CHECK(std::isfinite(*decimal));
        ScaleSetpoint(*decimal);
        ScaleTenths(*decimal);
        TruncateToWord(*decimal);
    }
    return 0;
}
