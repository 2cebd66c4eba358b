// Activation before the click that caused it.
#include "ActivationBeforeClick.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace kvel {

ActivationBeforeClick::ActivationBeforeClick(QWidget& window) : QObject(&window), window_(window) {
    window_.installEventFilter(this);
    WatchWindowHandle();
}

// The press reaches the window system's window before Qt hands it to a control and gives that
// control the focus; the platform window exists only once the widget has been shown.
void ActivationBeforeClick::WatchWindowHandle() {
    QWindow* handle = window_.windowHandle();
    if (!handle || handle == watchedHandle_) return;
    handle->installEventFilter(this);
    watchedHandle_ = handle;
}

bool ActivationBeforeClick::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_) {
        if (event->type() == QEvent::Show || event->type() == QEvent::WinIdChange)
            WatchWindowHandle();
        return false;
    }
    if (watched != watchedHandle_ || event->type() != QEvent::MouseButtonPress) return false;
    // A modal box blocks the click; the window is not to be activated under it.
    if (window_.isActiveWindow() || QApplication::activeModalWidget()) return false;
    QApplication::setActiveWindow(&window_);
    window_.activateWindow();
    return false;
}

} // namespace kvel
