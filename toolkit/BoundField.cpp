// The behaviour of an edit box tied to a unit register.
#include "BoundField.h"

#include "Cp1251.h"
#include "MessageBox.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace kvel {

bool MayRefreshEdited(RefreshHold& hold) {
    if (hold == 0) return true;
    if (hold < kHoldEditing) --hold;
    return false;
}

bool MayRefreshClicked(RefreshHold& hold) {
    if (hold == 0) return true;
    --hold;
    return false;
}

namespace {
constexpr QChar kBackspace(8);
bool IsDigit(QChar c) { return c >= '0' && c <= '9'; }
} // namespace

bool IsDigitCommaOrBackspace(QChar c) { return IsDigit(c) || c == ',' || c == kBackspace; }

bool IsDigitFullStopOrBackspace(QChar c) { return IsDigit(c) || c == '.' || c == kBackspace; }

bool IsTemperatureKey(QChar c) {
    if (c == '.') return false;
    if (IsDigit(c)) return true;
    const std::optional<std::uint8_t> code = Cp1251Code(c);
    return code && static_cast<std::int8_t>(*code) <= '-';
}

BoundField::BoundField(BoundFieldRow row, QWidget* focusSink, RegisterWriter write, QObject* parent)
    : QObject(parent), row_(std::move(row)), focusSink_(focusSink), write_(std::move(write)) {
    row_.edit->installEventFilter(this);
}

bool BoundField::eventFilter(QObject* watched, QEvent* event) {
    if (watched != row_.edit) return false;
    switch (event->type()) {
    case QEvent::FocusIn:
        Enter();
        return false;
    case QEvent::FocusOut: {
        // The focus only moved to another program or a menu: the old toolkit leaves the field
        // when the window is activated again, which moves the focus to the sink.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) Exit();
        return false;
    }
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        return KeyDown(key->key()) || KeyPress(key->text());
    }
    default:
        return false;
    }
}

void BoundField::Enter() { *row_.hold = kHoldEditing; }

bool BoundField::KeyDown(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    focusSink_->setFocus(Qt::OtherFocusReason);
    return true;
}

// Keys that type nothing (arrows, Delete) are not characters and pass untouched; control
// characters such as Ctrl+V's are characters and are discarded like any other.
bool BoundField::KeyPress(const QString& text) {
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (!row_.accepts(c)) return true;
    return false;
}

void BoundField::Exit() {
    if (exiting_) return;
    exiting_ = true;
    const std::optional<std::uint16_t> word = row_.toWord(row_.edit->text());
    *row_.hold = kHoldSettling;
    if (word) {
        write_(row_.reg, *word);
    } else {
        // A modal box opened inside the focus change would re-enter it; let the move finish.
        QMetaObject::invokeMethod(
            this, [message = row_.message] { ShowMessage(message); }, Qt::QueuedConnection);
    }
    exiting_ = false;
}

} // namespace kvel
