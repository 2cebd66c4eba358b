// The secondary windows' typeface.
#pragma once

#include <QFont>
#include <QFontMetrics>

namespace kvel {

// The old toolkit's default of 8 points, for a form's controls.
constexpr int kFormFontPixels = 11;

// MS Sans Serif where the system has it, else Liberation Sans, whose Arial metrics come nearer
// its widths than the default sans serif. MS Sans Serif is a bitmap face whose size is its cell
// height, ascent and descent together; an outline face given that as its pixel size stands taller
// and wider, and cuts off the ends of texts in the forms' fixed-size boxes. So the face is sized
// down until its cell is no taller than `cellHeight`.
inline QFont MsSansSerif(int cellHeight = kFormFontPixels) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
    int pixels = cellHeight;
    do {
        font.setPixelSize(pixels);
    } while (QFontMetrics(font).height() > cellHeight && --pixels > 1);
    return font;
}

} // namespace kvel
