// Pieces the settings-file windows share.
#pragma once

#include "LinkState.h"
#include "SettingsFile.h"

#include <QString>

class QLabel;
class QVBoxLayout;
class QWidget;

namespace kvel {

// Whether both banks hold what the unit last reported: after a lost link both are zero, and a
// comparison with them would show nothing of the unit.
bool HasUnitData(const LinkState& state);
// The text shown, and given in a message by the menu, while that is not so.
QString NoUnitDataText();

// A red line when the unit's firmware differs from the file's; hidden when they agree or the
// unit's is not known.
QLabel* AddFirmwareLabel(QVBoxLayout& layout, const LinkState& state, const SettingsSnapshot& file);
void ShowFirmwareMismatch(QLabel& label, const LinkState& state, const SettingsSnapshot& file);
// At its size, centred, shown and active.
void ShowServiceWindow(QWidget& window);

} // namespace kvel
