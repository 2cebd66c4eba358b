// How a window opens: at its designed size, centred on the screen, shown and active.
#pragma once

#include <QScreen>
#include <QSize>
#include <QWidget>

namespace kvel {

// The forms are designed by their outer size, title bar and borders included; Qt sizes the
// client area under them, 8 pixels narrower and 31 lower (415 x 312 outer is 407 x 281).
inline QSize ClientSizeOf(QSize outerSize) {
    return outerSize - QSize(8, 31);
}

inline void CentreAtDesignedSize(QWidget& form, QSize outerSize) {
    const QSize client = ClientSizeOf(outerSize);
    form.resize(client);
    if (const QScreen* screen = form.screen())
        form.move(screen->availableGeometry().center() -
                  QPoint(client.width() / 2, client.height() / 2));
}

// Without a window manager (Xvfb) show() does not activate, and the activation is what fills
// some windows, so it is asked for explicitly.
inline void ShowCentred(QWidget& form, QSize outerSize) {
    CentreAtDesignedSize(form, outerSize);
    form.show();
    form.activateWindow();
}

} // namespace kvel
