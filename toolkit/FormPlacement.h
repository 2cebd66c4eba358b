// How a window opens: at its designed size, centred on the screen's free area and never
// beyond it, shown and active.
#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QSize>
#include <QWidget>

#include <algorithm>

namespace kvel {

// The forms are designed by their outer size, title bar and borders included; Qt sizes the
// client area under them, 8 pixels narrower and 31 lower (415 x 312 outer is 407 x 281).
inline QSize ClientSizeOf(QSize outerSize) {
    return outerSize - QSize(8, 31);
}

inline QSize OuterSizeOf(QSize clientSize) {
    return clientSize + QSize(8, 31);
}

// Where the window would open; before it is shown a window may have no screen of its own yet.
inline QRect FreeAreaFor(const QWidget& form) {
    const QScreen* screen = form.screen() ? form.screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// Centred on the free area; a window larger than the area (a scale factor makes a small screen
// of a large one) keeps its title bar and left edge on it, where it can still be moved.
inline void MoveIntoFreeArea(QWidget& form) {
    const QRect area = FreeAreaFor(form);
    if (area.isEmpty()) return;
    const QSize outer = OuterSizeOf(form.size());
    const QPoint centred = area.center() - QPoint(outer.width() / 2, outer.height() / 2);
    form.move(std::max(area.left(), centred.x()), std::max(area.top(), centred.y()));
}

inline void CentreAtDesignedSize(QWidget& form, QSize outerSize) {
    form.resize(ClientSizeOf(outerSize));
    MoveIntoFreeArea(form);
}

// Without a window manager (Xvfb) show() does not activate, and the activation is what fills
// some windows, so it is asked for explicitly.
inline void ShowActive(QWidget& form) {
    form.show();
    form.activateWindow();
}

inline void ShowCentred(QWidget& form, QSize outerSize) {
    CentreAtDesignedSize(form, outerSize);
    ShowActive(form);
}

// For the windows whose size is ours to choose: the designed size where the screen has room for
// it, the free area where it has not, whatever the scale factor makes of the pixels.
inline void ShowWithinScreen(QWidget& form, QSize outerSize) {
    const QRect area = FreeAreaFor(form);
    const QSize frame = outerSize - ClientSizeOf(outerSize);
    const QSize room = area.isEmpty() ? ClientSizeOf(outerSize) : area.size() - frame;
    form.resize(ClientSizeOf(outerSize).boundedTo(room).expandedTo(form.minimumSizeHint()));
    MoveIntoFreeArea(form);
    ShowActive(form);
}

} // namespace kvel
