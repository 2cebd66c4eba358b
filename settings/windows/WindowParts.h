// Pieces the settings-file windows share.
#pragma once

#include "LinkState.h"
#include "SettingsFile.h"

class QLabel;
class QVBoxLayout;
class QWidget;

namespace kvel {

// A red line when the unit's firmware differs from the file's; hidden when they agree.
QLabel* AddFirmwareLabel(QVBoxLayout& layout, const LinkState& state, const SettingsSnapshot& file);
// At its size, centred, shown and active.
void ShowServiceWindow(QWidget& window);

} // namespace kvel
