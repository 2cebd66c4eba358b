// The link's host without windows: the same three link timers, status texts on stderr, the
// pause as a real sleep, and counters of the replies the link accepted.
#pragma once

#include "FormTimer.h"
#include "LinkHost.h"

#include <functional>
#include <string>

namespace kvel {
class ModbusLink;
}

namespace kvel::cli {

class HeadlessHost : public LinkHost {
public:
    explicit HeadlessHost(bool verbose);

    // The link the timers drive; set once it exists, as it is built on this host.
    void Drive(ModbusLink& link);

    int HoldingReplies() const { return holdingReplies_; }
    int InputReplies() const { return inputReplies_; }
    // Runs after every accepted holding-register reply.
    std::function<void()> onHoldingReply;

    void SetStatusPanel(int panel, const std::string& utf8Text) override;
    void SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) override;
    // The receive indication only blanks the status text again, which a terminal does not need.
    void SetTimer5Interval(int) override {}
    void ShowMessage(const std::string& utf8Text) override;
    void Pause(int ms) override;
    void filling_out3() override;
    void filling_out4() override { ++inputReplies_; }
    void CloseSettingsWindow() override {}
    void CloseCalibrationWindow() override {}
    void BlankReadings() override {}

    // The poll and transmit timers alone, as the firmware upload stops and restarts them.
    void SetPollAndSendIntervals(int timer1Ms, int timer2Ms);

private:
    bool verbose_;
    std::string linkText_;
    ModbusLink* link_ = nullptr;
    FormTimer timer1_;
    FormTimer timer2_;
    FormTimer timer3_;
    int holdingReplies_ = 0;
    int inputReplies_ = 0;
};

} // namespace kvel::cli
