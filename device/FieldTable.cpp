// A window's device-bound edit boxes, configured by a table.
#include "FieldTable.h"

#include "Registers.h"
#include "TextFormats.h"

#include <QLineEdit>

namespace kvel {

FieldTable::FieldTable(std::vector<NumericFieldRow> rows, QWidget* focusSink,
                       const RegisterWriter& write)
    : rows_(std::move(rows)) {
    // Owned here, not by a Qt parent: the fields must stop watching their edit boxes before the
    // window's widgets go, since a focused box that is destroyed still reports losing the focus.
    for (const NumericFieldRow& row : rows_)
        fields_.push_back(std::make_unique<BoundField>(row.entry, focusSink, write, nullptr));
}

NumericFieldRow FieldRow(QLineEdit* edit, RefreshHold& hold, std::uint16_t reg,
                         const QString& message) {
    if (unit::Holding(reg).encoding == unit::Encoding::Tenths)
        return {{edit, &hold, reg, DecimalCommaKey, TenthsWord, message, {}}, TenthsText};
    return {{edit, &hold, reg, WholeNumberKey, WholeNumberWord, message, {}}, UnsignedText};
}

void FieldTable::Refresh(const RegisterImage& holding) {
    for (const NumericFieldRow& row : rows_)
        if (MayRefreshEdited(*row.entry.hold))
            row.entry.edit->setText(row.show(holding[row.entry.reg]));
}

std::optional<std::uint16_t> WholeNumberWord(const QString& text) {
    const std::optional<long long> number = ParseWholeNumber(text);
    if (!number) return std::nullopt;
    return UnsignedWord(*number);
}

std::optional<std::uint16_t> TenthsWord(const QString& text) {
    const std::optional<long double> number = ParseDecimalComma(text);
    if (!number) return std::nullopt;
    return ScaleTenths(*number);
}

std::optional<std::uint16_t> SignedWholeWord(const QString& text) {
    const std::optional<long double> number = ParseDecimalComma(text);
    if (!number) return std::nullopt;
    return TruncateToSignedWord(*number);
}

QString UnsignedText(std::uint16_t word) {
    return QString::number(word);
}

QString LowByteSignedText(std::uint16_t word) {
    return QString::number(static_cast<std::int8_t>(word & 0xFF));
}

} // namespace kvel
