// The secondary windows' typeface.
#pragma once

#include <QFont>

namespace kvel {

// The old toolkit's default of 8 points, for a form's controls.
constexpr int kFormFontPixels = 11;

// MS Sans Serif where the system has it. Elsewhere Liberation Sans, with Arial's metrics, comes
// nearer its widths than the default sans serif, whose wider letters cut off the ends of
// texts in fixed-size labels.
inline QFont MsSansSerif(int pixelSize = kFormFontPixels) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(pixelSize);
    return font;
}

} // namespace kvel
