// How register values become the windows' texts and typed texts become register values.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace kvel {

QString FromUtf8(std::string_view text);
// A register's caption from the register table, as the windows show it.
QString HoldingCaption(std::uint16_t number);
QString InputCaption(std::uint16_t number);
// A holding register's value with its Russian unit, as the windows write it: "54,5 В", "-5 °С".
QString HoldingValueText(std::uint16_t number, std::uint16_t word);

// Whole part, comma, tenths digit: 545 gives "54,5", 540 gives "54,0".
QString TenthsText(std::uint16_t tenths);
// The word as a signed 16-bit number: 65526 gives "-10".
QString SignedText(std::uint16_t word);
// Tenths in the shortest decimal form with a comma: 540 gives "54", 545 "54,5", 5 "0,5".
QString ShortestDecimalText(std::uint16_t tenths);

// Reads a decimal number written with the decimal comma: blanks, optional sign, digits with an
// optional comma and fraction (a lone comma is 0), an optional exponent, blanks. Anything else,
// an empty text, a lone sign or a value out of range does not read.
std::optional<long double> ParseDecimalComma(const QString& text);
// Reads an integer: blanks, optional sign, digits, blanks.
std::optional<long long> ParseWholeNumber(const QString& text);

// The scalings by which typed numbers become register words. A value that does not fit its
// register gives nothing rather than its low 16 bits: a wrapped value would be a different,
// valid-looking setting on the unit.
// Main window setpoints: x * 100 as a single-precision float, times 0.1, truncated; 0..65535.
std::optional<std::uint16_t> ScaleSetpoint(long double x);
// Settings and calibration tenths: x * 10 as a single-precision float, truncated; 0..65535.
std::optional<std::uint16_t> ScaleTenths(long double x);
// A signed register: the number truncated toward zero, -32768..32767, as its 16-bit pattern.
std::optional<std::uint16_t> TruncateToSignedWord(long double x);
// An unsigned register holding a whole number: 0..65535.
std::optional<std::uint16_t> UnsignedWord(long long value);
// The low 16 bits, for the connection settings that are stored that way.
std::uint16_t LowWord(long long value);

} // namespace kvel
