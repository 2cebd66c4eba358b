// The one behaviour of every edit box tied to a unit register: entering holds the refresh off
// it, Enter leaves it, a key filter discards characters, and leaving writes the value or shows
// the field's message.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

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

// One row of a window's field table.
struct BoundFieldRow {
    QLineEdit* edit = nullptr;
    RefreshHold* hold = nullptr;
    std::uint16_t reg = 0;
    std::function<bool(QChar)> accepts;                                 // key filter
    std::function<std::optional<std::uint16_t>(const QString&)> toWord; // parse and scale
    QString message;                                                    // when it does not read
};

using RegisterWriter = std::function<void(std::uint16_t reg, std::uint16_t value)>;

class BoundField : public QObject {
    Q_OBJECT
public:
    BoundField(BoundFieldRow row, QWidget* focusSink, RegisterWriter write, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Enter();
    bool KeyDown(int key);
    bool KeyPress(const QString& text);
    void Exit();

    BoundFieldRow row_;
    QWidget* focusSink_;
    RegisterWriter write_;
    bool exiting_ = false;
};

// Character filters of the field tables.
bool IsDigitCommaOrBackspace(QChar c);
bool IsDigitFullStopOrBackspace(QChar c);
// The calibration window's temperature: never a full stop; digits; any other character whose
// Windows-1251 code, read as a signed byte, is at most that of "-". That lets the minus sign,
// the comma, control characters and the code page's whole upper half through.
bool IsTemperatureKey(QChar c);

} // namespace kvel
