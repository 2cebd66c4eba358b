// Checks of the forms' bitmap-face sizes, which are cell heights rather than pixel sizes.
#pragma once

#include <QFont>
#include <QFontMetrics>

#include <gtest/gtest.h>

namespace kvel::test {

// The largest size of the font's face whose cell, ascent and descent together, is no taller
// than `cellHeight`.
inline ::testing::AssertionResult HasCellHeight(const QFont& font, int cellHeight) {
    const int height = QFontMetrics(font).height();
    QFont larger = font;
    larger.setPixelSize(font.pixelSize() + 1);
    const int largerHeight = QFontMetrics(larger).height();
    if (height <= cellHeight && largerHeight > cellHeight) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "cell " << height << " px at size " << font.pixelSize() << ", " << largerHeight
           << " px one size up; wanted " << cellHeight;
}

} // namespace kvel::test
