// "Сравнить с файлом…": the registers whose value on the unit differs from a settings file.
#pragma once

#include "DifferenceTable.h"
#include "LinkState.h"

#include <QWidget>

class QLabel;

namespace kvel {

class SettingsCompareWindow : public QWidget {
    Q_OBJECT
public:
    SettingsCompareWindow(const SettingsSnapshot& file, const QString& path, const LinkState& state,
                          QWidget* parent);

    QLabel* Firmware;
    QLabel* Verdict;
    DifferenceTable* Table;
};

} // namespace kvel
