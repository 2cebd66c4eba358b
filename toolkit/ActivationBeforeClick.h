// In the old toolkit a click into an inactive window activates it first; the window's activation
// handler runs (committing the box that held the focus) and then the click puts the focus and
// the caret where it was aimed. Qt hands the press to the control first and activates after, so
// an activation handler that moves the focus takes the click's focus away again.
#pragma once

#include <QObject>

class QWidget;

namespace kvel {

// Gives `window` the old order for as long as it lives (it is the window's child).
class ActivationBeforeClick : public QObject {
public:
    explicit ActivationBeforeClick(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WatchWindowHandle();

    QWidget& window_;
    QObject* watchedHandle_ = nullptr;
};

} // namespace kvel
