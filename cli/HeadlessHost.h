// The window link's host without windows, for the firmware upload: the link's timers on the
// event loop, the pause as a real sleep, and nothing to show.
#pragma once

#include "FormTimer.h"
#include "LinkHost.h"

#include <cstdint>

namespace kvel {
class ModbusLink;
}

namespace kvel::cli {

class HeadlessHost : public LinkHost {
public:
    HeadlessHost();

    // The link the timers drive; set once it exists, as it is built on this host.
    void Drive(ModbusLink& link) { link_ = &link; }

    // The window texts stay unshown: kvel-cli words what it reports itself.
    void ShowLinkStatus(LinkStatus) override {}
    void ShowDeviceAddress(std::uint8_t, AddressNews) override {}
    void SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) override;
    void SetTimer5Interval(int) override {}
    void Pause(int ms) override;
    void ReopenAtNewRateFailed(const OpenFailure&) override {}
    void HoldingRegistersStored() override {}
    void InputRegistersStored() override {}
    void SettingsSessionEnded() override {}
    void CalibrationSessionEnded() override {}
    void BlankReadings() override {}

private:
    ModbusLink* link_ = nullptr;
    FormTimer timer1_;
    FormTimer timer2_;
    FormTimer timer3_;
};

} // namespace kvel::cli
