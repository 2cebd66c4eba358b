// The table of registers whose value on the unit differs from a settings file's, shared by the
// compare and restore windows.
#pragma once

#include "SettingsFile.h"
#include "SettingsRestore.h"

#include <QString>
#include <QTableWidget>

namespace kvel {

// A register's value as the windows show it: decimal comma and Russian unit, flags as вкл/выкл.
QString RegisterValueText(const unit::Register& info, std::uint16_t word);

class DifferenceTable : public QTableWidget {
public:
    explicit DifferenceTable(QWidget* parent);
    void Show(const std::vector<Difference>& differences);
    // After a restore: each register with what the unit holds now and whether it was written.
    void ShowOutcomes(const std::vector<RegisterOutcome>& outcomes);
    // Marks a row as one that cannot be written, with the reason as its tooltip.
    void Mark(int row, const QString& why);
    // The reason a row is marked, or empty.
    QString MarkOf(int row) const;
    // The row's texts: parameter, value in the file, value on the unit, and after a restore the
    // outcome.
    QStringList Row(int row) const;

private:
    void SetRow(int row, const unit::Register& info, const QString& file, const QString& unit);
};

// "ПО ЗУЛ: версия 112, сборка 37; в файле: версия 111, сборка 37", or empty when they agree.
QString FirmwareMismatch(const VersionInfo& unit, const VersionInfo& file);

} // namespace kvel
