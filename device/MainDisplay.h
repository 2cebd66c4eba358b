// The main window's readings, lamps, battery bar and setpoint boxes.
#pragma once

#include "BoundField.h"
#include "FormControls.h"
#include "LinkState.h"

#include <QObject>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kvel {

extern const QColor kOrange;
extern const QColor kRed;

// A lamp of the main window: the status bit it shows, its colour when lit (dark is black), and
// its caption.
struct LampLook {
    std::uint16_t bit;
    const QColor& lit;
    const char* caption;
};
// Top to bottom as the main window shows them.
extern const std::array<LampLook, 4> kLampLooks;

class MainDisplay : public QObject {
    Q_OBJECT
public:
    // Places the controls on `form`; leaving a setpoint box queues its write through `write`.
    // A setpoint outside the unit's own limits, as `holding` last reported them, is refused.
    MainDisplay(QWidget* form, QWidget* focusSink, const RegisterImage& holding,
                RegisterWriter write);

    void filling_out3(const LinkState& state);
    // Labels back to their captions, setpoint boxes empty, bar at 0, lamps black.
    void BlankReadings();

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label11;
    ProgressBar* ProgressBar1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QPushButton* Button1;
    QPushButton* Button2;

    RefreshHold Edit2Hold = 0;
    RefreshHold Edit3Hold = 0;

private:
    void PlaceReadings(QWidget* form);
    void PlaceLamps(QWidget* form);
    void PlaceSetpoints(QWidget* form, QWidget* focusSink, const RegisterImage& holding,
                        const RegisterWriter& write);
    void ShowBattery(std::uint16_t status);
    void ShowLamps(std::uint16_t status);
    void ShowSetpoint(QLineEdit* edit, RefreshHold& hold, std::uint16_t tenths);
};

} // namespace kvel
