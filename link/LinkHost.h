// What the link core needs from the main window; the main window implements it.
#pragma once

#include <string>

namespace kvel {

constexpr int kPanelLink = 0;
constexpr int kPanelPort = 1;
constexpr int kPanelRate = 2;
constexpr int kPanelAddress = 3;

class LinkHost {
public:
    virtual ~LinkHost() = default;

    virtual void SetStatusPanel(int panel, const std::string& utf8Text) = 0;
    // Intervals of Timer1, Timer2 and Timer3; 0 stops a timer.
    virtual void SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) = 0;
    virtual void SetTimer5Interval(int ms) = 0;
    virtual void ShowMessage(const std::string& utf8Text) = 0;
    // Blocks the whole program: nothing else runs meanwhile.
    virtual void Pause(int ms) = 0;

    // Run inside the receiver, before the reply counts as received: they must return without
    // opening a modal loop, or the receiver stalls and the unit looks lost.
    virtual void filling_out3() = 0;
    virtual void filling_out4() = 0;
    virtual void CloseSettingsWindow() = 0;
    virtual void CloseCalibrationWindow() = 0;
    // Labels back to their captions, setpoint boxes empty, bar at 0, lamps black.
    virtual void BlankReadings() = 0;
};

} // namespace kvel
