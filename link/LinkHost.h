// What the link core tells the main window, as events and values; the main window implements it
// and decides what each means on screen and in words.
#pragma once

#include "SerialChannel.h"

#include <cstdint>

namespace kvel {

// Where the link stands, for the status bar.
enum class LinkStatus {
    Idle,
    Lost,
    // A reply was just taken in.
    Receiving,
};

// The address polled is shown every send tick; an address switch shows the new one.
enum class AddressNews { Polled, Switched };

class LinkHost {
public:
    virtual ~LinkHost() = default;

    virtual void ShowLinkStatus(LinkStatus status) = 0;
    virtual void ShowDeviceAddress(std::uint8_t address, AddressNews news) = 0;
    // Intervals of Timer1, Timer2 and Timer3; 0 stops a timer.
    virtual void SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) = 0;
    virtual void SetTimer5Interval(int ms) = 0;
    // Blocks the whole program: nothing else runs meanwhile.
    virtual void Pause(int ms) = 0;
    // After a rate switch the port would not open at the new rate; polling has stopped.
    virtual void ReopenAtNewRateFailed(const OpenFailure& failure) = 0;

    // Run inside the receiver, before the reply counts as received: they must return without
    // opening a modal loop, or the receiver stalls and the unit looks lost.
    virtual void HoldingRegistersStored() = 0;
    virtual void InputRegistersStored() = 0;
    // The link was lost while the settings or the calibration session relied on it.
    virtual void SettingsSessionEnded() = 0;
    virtual void CalibrationSessionEnded() = 0;
    // Labels back to their captions, setpoint boxes empty, bar at 0, lamps black.
    virtual void BlankReadings() = 0;
};

} // namespace kvel
