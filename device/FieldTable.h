// A window's device-bound edit boxes, one table row each: how the operator's text becomes a
// register word, and how the refresh shows the register.
#pragma once

#include "BoundField.h"
#include "LinkState.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kvel {

using WordText = QString (*)(std::uint16_t word);

struct NumericFieldRow {
    BoundFieldRow entry;
    WordText show;
};

// The row of a register whose typing, parse and text follow from its encoding in the register
// table: tenths with the decimal comma, whole numbers with digits only.
NumericFieldRow FieldRow(QLineEdit* edit, RefreshHold& hold, std::uint16_t reg,
                         const QString& message);

class FieldTable {
public:
    FieldTable(std::vector<NumericFieldRow> rows, QWidget* focusSink, const RegisterWriter& write);

    // The edit rule, field by field in table order.
    void Refresh(const RegisterImage& holding);

private:
    std::vector<NumericFieldRow> rows_;
    std::vector<std::unique_ptr<BoundField>> fields_;
};

// Parses of the field tables; each gives the register word, or nothing when the text does not
// read or the value does not fit the register.
std::optional<std::uint16_t> WholeNumberWord(const QString& text);
std::optional<std::uint16_t> TenthsWord(const QString& text);
// A decimal number truncated to a signed whole number: -5,7 gives 0xFFFB.
std::optional<std::uint16_t> SignedWholeWord(const QString& text);

// Texts of the field tables.
QString UnsignedText(std::uint16_t word);
// The low byte as a signed number: 300 gives "44", 65531 gives "-5".
QString LowByteSignedText(std::uint16_t word);

} // namespace kvel
