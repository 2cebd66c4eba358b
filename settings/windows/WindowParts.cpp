// Pieces the settings-file windows share.
#include "WindowParts.h"

#include "DifferenceTable.h"
#include "FormPlacement.h"
#include "VersionInfo.h"

#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace kvel {

namespace {
constexpr QSize kOuterSize(520, 380);

bool AnyWord(const RegisterImage& image) {
    return std::any_of(image.begin(), image.end(), [](std::uint16_t word) { return word != 0; });
}
} // namespace

bool HasUnitData(const LinkState& state) {
    return AnyWord(state.HoldingImage) && AnyWord(state.InputImage);
}

QString NoUnitDataText() {
    return QStringLiteral("Нет данных от ЗУЛ: дождитесь связи");
}

QLabel* AddFirmwareLabel(QVBoxLayout& layout, const LinkState& state,
                         const SettingsSnapshot& file) {
    auto* label = new QLabel;
    label->setStyleSheet(QStringLiteral("color: red"));
    ShowFirmwareMismatch(*label, state, file);
    layout.addWidget(label);
    return label;
}

void ShowFirmwareMismatch(QLabel& label, const LinkState& state, const SettingsSnapshot& file) {
    label.setText(HasUnitData(state)
                      ? FirmwareMismatch(VersionFromInputs(state.InputImage), file.firmware)
                      : QString());
    label.setVisible(!label.text().isEmpty());
}

void ShowServiceWindow(QWidget& window) {
    ShowCentred(window, kOuterSize);
}

} // namespace kvel
