// How register values become the windows' texts and typed texts become register values.
#include "TextFormats.h"

#include "Registers.h"

#include <cmath>
#include <limits>

namespace kvel {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString HoldingCaption(std::uint16_t number) {
    return FromUtf8(unit::Holding(number).caption);
}

QString InputCaption(std::uint16_t number) {
    return FromUtf8(unit::Find(unit::Bank::Input, number)->caption);
}

QString HoldingValueText(std::uint16_t number, std::uint16_t word) {
    return QString::fromStdString(unit::RussianValueText(unit::Holding(number), word));
}

QString TenthsText(std::uint16_t tenths) {
    return QString::fromStdString(unit::TenthsText(tenths));
}

QString SignedText(std::uint16_t word) {
    return QString::number(static_cast<std::int16_t>(word));
}

QString ShortestDecimalText(std::uint16_t tenths) {
    if (tenths % 10 == 0) return QString::number(tenths / 10);
    return TenthsText(tenths);
}

namespace {

class Scanner {
public:
    explicit Scanner(const QString& text) : text_(text) {}
    bool AtEnd() const { return pos_ >= text_.size(); }
    bool Take(QChar c) {
        if (AtEnd() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    bool TakeSign(QString& out) {
        if (Take('+')) return true;
        if (!Take('-')) return true;
        out += '-';
        return true;
    }
    int TakeDigits(QString& out) {
        int count = 0;
        while (!AtEnd() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            out += text_[pos_++];
            ++count;
        }
        return count;
    }
    void SkipBlanks() {
        while (Take(' ')) {
        }
    }

private:
    const QString& text_;
    qsizetype pos_ = 0;
};

// Rewrites the typed number in the C locale's form, or gives nothing when it does not read.
std::optional<std::string> NormaliseDecimal(const QString& text) {
    Scanner in(text);
    QString number;
    in.SkipBlanks();
    in.TakeSign(number);
    const int wholeDigits = in.TakeDigits(number);
    const bool comma = in.Take(',');
    if (comma) number += '.';
    const int fractionDigits = comma ? in.TakeDigits(number) : 0;
    if (wholeDigits == 0 && !comma) return std::nullopt;
    if (wholeDigits == 0 && fractionDigits == 0) number += '0';
    if (in.Take('E') || in.Take('e')) {
        number += 'e';
        in.TakeSign(number);
        if (in.TakeDigits(number) == 0) return std::nullopt;
    }
    in.SkipBlanks();
    if (!in.AtEnd()) return std::nullopt;
    return number.toStdString();
}

bool FitsInteger(long double x) {
    return std::isfinite(x) &&
           x > static_cast<long double>(std::numeric_limits<long long>::min()) &&
           x < static_cast<long double>(std::numeric_limits<long long>::max());
}

std::optional<float> ToSingle(long double x) {
    if (!(std::fabs(x) <= std::numeric_limits<float>::max())) return std::nullopt;
    return static_cast<float>(x);
}

std::optional<long long> Truncated(long double x) {
    if (!FitsInteger(x)) return std::nullopt;
    return static_cast<long long>(std::trunc(x));
}

std::optional<std::uint16_t> TruncatedUnsignedWord(long double x) {
    const std::optional<long long> whole = Truncated(x);
    if (!whole) return std::nullopt;
    return UnsignedWord(*whole);
}

} // namespace

std::optional<long double> ParseDecimalComma(const QString& text) {
    const std::optional<std::string> number = NormaliseDecimal(text);
    if (!number) return std::nullopt;
    char* end = nullptr;
    const long double value = std::strtold(number->c_str(), &end);
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<double>::max())
        return std::nullopt;
    return value;
}

std::optional<long long> ParseWholeNumber(const QString& text) {
    Scanner in(text);
    QString number;
    in.SkipBlanks();
    in.TakeSign(number);
    if (in.TakeDigits(number) == 0) return std::nullopt;
    in.SkipBlanks();
    if (!in.AtEnd()) return std::nullopt;
    bool ok = false;
    const long long value = number.toLongLong(&ok);
    if (!ok || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return value;
}

std::optional<std::uint16_t> ScaleSetpoint(long double x) {
    const std::optional<float> hundredths = ToSingle(x * 100);
    if (!hundredths) return std::nullopt;
    return TruncatedUnsignedWord(static_cast<long double>(*hundredths) * 0.1L);
}

std::optional<std::uint16_t> ScaleTenths(long double x) {
    const std::optional<float> tenths = ToSingle(x * 10);
    if (!tenths) return std::nullopt;
    return TruncatedUnsignedWord(*tenths);
}

std::optional<std::uint16_t> TruncateToSignedWord(long double x) {
    const std::optional<long long> whole = Truncated(x);
    if (!whole || *whole < std::numeric_limits<std::int16_t>::min() ||
        *whole > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return LowWord(*whole);
}

std::optional<std::uint16_t> UnsignedWord(long long value) {
    if (value < 0 || value > std::numeric_limits<std::uint16_t>::max()) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::uint16_t LowWord(long long value) {
    return static_cast<std::uint16_t>(static_cast<unsigned long long>(value) & 0xFFFFu);
}

} // namespace kvel
