// The behaviour of an edit box tied to a unit register.
#include "BoundField.h"

#include "Cp1251.h"
#include "MessageBox.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

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
bool IsDigit(QChar c) {
    return c >= '0' && c <= '9';
}

// Keys that move the focus or edit the text (Tab, Delete, Backspace, arrows) carry no printable
// character, and Ctrl shortcuts such as select-all, copy and paste are not typing: both keep their
// usual action. Ctrl+Alt is AltGr on Windows keyboards, which types.
bool TypesCharacters(const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers();
    if (modifiers & Qt::MetaModifier) return false;
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier)) return false;
    const QString text = key.text();
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
}
} // namespace

std::optional<QChar> DecimalCommaKey(QChar typed) {
    if (typed == '.' || typed == ',') return QChar(',');
    if (IsDigit(typed) || typed == kBackspace) return typed;
    return std::nullopt;
}

std::optional<QChar> WholeNumberKey(QChar typed) {
    if (IsDigit(typed) || typed == '.' || typed == kBackspace) return typed;
    return std::nullopt;
}

bool IsTemperatureKey(QChar c) {
    if (c == '.') return false;
    if (IsDigit(c)) return true;
    const std::optional<std::uint8_t> code = Cp1251Code(c);
    return code && static_cast<std::int8_t>(*code) <= '-';
}

std::optional<QChar> TemperatureKey(QChar typed) {
    if (!IsTemperatureKey(typed)) return std::nullopt;
    return typed;
}

BoundField::BoundField(BoundFieldRow row, QWidget* focusSink, RegisterWriter write, QObject* parent)
    : QObject(parent), row_(std::move(row)), edit_(row_.edit), focusSink_(focusSink),
      write_(std::move(write)) {
    row_.edit->installEventFilter(this);
    // The focus can leave by Tab, a click, Enter, or by the window giving it to its focus sink
    // when it is activated again; Qt sends no focus-out for that last move, so the field
    // watches where the focus lands instead.
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { FocusMoved(now); });
    // Pasted or dropped text never passes the key filter.
    connect(row_.edit, &QLineEdit::textEdited, this, &BoundField::KeepAcceptedCharacters);
}

bool BoundField::eventFilter(QObject* watched, QEvent* event) {
    if (watched != edit_) return false;
    switch (event->type()) {
    case QEvent::FocusIn:
        Enter();
        return false;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        return KeyDown(key->key()) || KeyPress(*key);
    }
    default:
        return false;
    }
}

void BoundField::Enter() {
    entered_ = true;
    *row_.hold = kHoldEditing;
}

bool BoundField::KeyDown(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    focusSink_->setFocus(Qt::OtherFocusReason);
    return true;
}

bool BoundField::KeyPress(const QKeyEvent& key) {
    if (!TypesCharacters(key)) return false;
    const QString kept = Filtered(key.text());
    if (kept == key.text()) return false;
    if (!kept.isEmpty()) edit_->insert(kept);
    return true;
}

// Moving to another program or to a menu is not leaving: the field is still being edited when
// the focus comes back to it, and is left when the focus lands on another control of its window.
void BoundField::FocusMoved(QWidget* now) {
    if (!entered_ || !edit_ || !now || now == edit_) return;
    if (now->window() != edit_->window()) return;
    Exit();
}

void BoundField::KeepAcceptedCharacters(const QString& text) {
    const QString kept = Filtered(text);
    if (kept == text) return;
    const int cursor = edit_->cursorPosition() - static_cast<int>(text.size() - kept.size());
    edit_->setText(kept);
    edit_->setCursorPosition(std::max(cursor, 0));
}

QString BoundField::Filtered(const QString& text) const {
    QString kept;
    for (QChar c : text)
        if (const std::optional<QChar> accepted = row_.filter(c)) kept += *accepted;
    return kept;
}

void BoundField::Exit() {
    if (exiting_) return;
    exiting_ = true;
    entered_ = false;
    *row_.hold = kHoldSettling;
    const std::optional<std::uint16_t> word = row_.toWord(edit_->text());
    const std::optional<QString> refusal =
        word && row_.refusal ? row_.refusal(*word) : std::nullopt;
    if (!word)
        ShowMessageLater(row_.message, edit_);
    else if (refusal)
        ShowMessageLater(*refusal, edit_);
    else
        write_(row_.reg, *word, WriteOrigin::Operator);
    exiting_ = false;
}

} // namespace kvel
