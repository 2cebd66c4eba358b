// The one behaviour of every edit box tied to a unit register: entering holds the refresh off
// it, Enter leaves it, a key filter decides what typed or pasted characters go in, and leaving
// writes the value or shows the field's message.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class QKeyEvent;
class QLineEdit;
class QWidget;

namespace kvel {

// Holds the refresh off a field: 3 while edited, then counted down by the refresh.
using RefreshHold = std::uint8_t;
constexpr RefreshHold kHoldEditing = 3;
constexpr RefreshHold kHoldSettling = 2;

// Refresh rules. Each returns whether the refresh may write the control now.
// Edit rule: 0 writes; 1 or 2 count down; 3 and more wait for the operator to leave.
bool MayRefreshEdited(RefreshHold& hold);
// Click rule: 0 writes; anything else counts down.
bool MayRefreshClicked(RefreshHold& hold);

// The character that goes into the box for a typed one, or nothing when it is discarded.
using KeyFilter = std::optional<QChar> (*)(QChar typed);

// One row of a window's field table.
struct BoundFieldRow {
    QLineEdit* edit = nullptr;
    RefreshHold* hold = nullptr;
    std::uint16_t reg = 0;
    KeyFilter filter = nullptr;
    // Parse and scale; nothing when the text does not read or the value does not fit the register.
    std::function<std::optional<std::uint16_t>(const QString&)> toWord;
    QString message; // when it does not read
    // The message for a value the unit would not take, or nothing when it may be written.
    std::function<std::optional<QString>(std::uint16_t word)> refusal;
};

// Who wants the write: the operator's own action, or the program on its own (a window locking
// the unit as it closes). Only the operator is told of a write that could not go.
enum class WriteOrigin { Operator, Program };
using RegisterWriter =
    std::function<void(std::uint16_t reg, std::uint16_t value, WriteOrigin origin)>;

class BoundField : public QObject {
    Q_OBJECT
public:
    BoundField(BoundFieldRow row, QWidget* focusSink, RegisterWriter write, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Enter();
    bool KeyDown(int key);
    bool KeyPress(const QKeyEvent& key);
    void FocusMoved(QWidget* now);
    void KeepAcceptedCharacters(const QString& text);
    QString Filtered(const QString& text) const;
    void Exit();

    BoundFieldRow row_;
    QPointer<QLineEdit> edit_;
    QWidget* focusSink_;
    RegisterWriter write_;
    // From entering the box until its exit has run: an exit runs once per entry.
    bool entered_ = false;
    bool exiting_ = false;
};

// Key filters of the field tables.
// Decimal-comma fields: digits, the comma and Backspace; a full stop goes in as the comma, so
// "52.5" can neither run its digits together nor fail to read.
std::optional<QChar> DecimalCommaKey(QChar typed);
// Whole-number fields: digits, Backspace and the full stop (which then fails to read).
std::optional<QChar> WholeNumberKey(QChar typed);
// The calibration window's temperature: never a full stop; digits; any other character whose
// Windows-1251 code, read as a signed byte, is at most that of "-". That lets the minus sign,
// the comma, control characters and the code page's whole upper half through.
std::optional<QChar> TemperatureKey(QChar typed);
bool IsTemperatureKey(QChar c);

} // namespace kvel
