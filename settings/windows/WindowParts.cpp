// Pieces the settings-file windows share.
#include "WindowParts.h"

#include "DifferenceTable.h"
#include "FormPlacement.h"
#include "VersionInfo.h"

#include <QLabel>
#include <QVBoxLayout>

namespace kvel {

namespace {
constexpr QSize kOuterSize(520, 380);
}

QLabel* AddFirmwareLabel(QVBoxLayout& layout, const LinkState& state,
                         const SettingsSnapshot& file) {
    auto* label = new QLabel(FirmwareMismatch(VersionFromInputs(state.InputImage), file.firmware));
    label->setStyleSheet(QStringLiteral("color: red"));
    label->setVisible(!label->text().isEmpty());
    layout.addWidget(label);
    return label;
}

void ShowServiceWindow(QWidget& window) {
    ShowCentred(window, kOuterSize);
}

} // namespace kvel
