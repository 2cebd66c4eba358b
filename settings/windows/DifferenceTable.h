// The table of registers whose value on the unit differs from a settings file's, shared by the
// compare and restore windows.
#pragma once

#include "SettingsFile.h"

#include <QString>
#include <QTableWidget>

namespace kvel {

// A register's value as the windows show it: decimal comma and Russian unit, flags as вкл/выкл.
QString RegisterValueText(const unit::Register& info, std::uint16_t word);

class DifferenceTable : public QTableWidget {
public:
    explicit DifferenceTable(QWidget* parent);
    void Show(const std::vector<Difference>& differences);
    // The row's three texts: parameter, value in the file, value on the unit.
    QStringList Row(int row) const;
};

// "ПО ЗУЛ: версия 112, сборка 37; в файле: версия 111, сборка 37", or empty when they agree.
QString FirmwareMismatch(const VersionInfo& unit, const VersionInfo& file);

} // namespace kvel
