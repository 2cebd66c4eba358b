// The program-wide reference per window class: it names the newest window of that class, and
// goes empty when that window is destroyed.
#pragma once

#include <QPointer>

namespace kvel {

template <class Form> class NewestWindow {
public:
    static Form* Get() { return window_.data(); }
    static void Set(Form* form) { window_ = form; }

private:
    static inline QPointer<Form> window_;
};

} // namespace kvel
