// The window link's host without windows, for the firmware upload: the link's timers on the
// event loop, the pause as a real sleep, and nothing to show.
#pragma once

#include "FormTimer.h"
#include "LinkHost.h"

#include <string>

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
    void SetStatusPanel(int, const std::string&) override {}
    void SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) override;
    void SetTimer5Interval(int) override {}
    void ShowMessage(const std::string&) override {}
    void Pause(int ms) override;
    void filling_out3() override {}
    void filling_out4() override {}
    void CloseSettingsWindow() override {}
    void CloseCalibrationWindow() override {}
    void BlankReadings() override {}

private:
    ModbusLink* link_ = nullptr;
    FormTimer timer1_;
    FormTimer timer2_;
    FormTimer timer3_;
};

} // namespace kvel::cli
