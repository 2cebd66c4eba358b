// A main window stand-in for the link core: records every request the link makes of it and
// runs Timer5 on a virtual clock by the form toolkit's interval rules.
#pragma once

#include "EventLog.h"
#include "LinkHost.h"
#include "LinkWords.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kvel::test {

// The form toolkit's timer rules: 0 stops; the interval it already runs with leaves the period
// undisturbed; any other interval restarts the period from now.
class ModelledTimer {
public:
    void SetInterval(int ms, std::int64_t nowMs);
    // Moves the next due time one period on; call when the timer fires.
    void Fired() { nextDueMs_ += intervalMs_; }

    bool IsRunning() const { return intervalMs_ > 0; }
    int Interval() const { return intervalMs_; }
    std::int64_t NextDueMs() const { return nextDueMs_; }

private:
    int intervalMs_ = 0;
    std::int64_t nextDueMs_ = 0;
};

class FakeLinkHost : public kvel::LinkHost {
public:
    struct PanelWrite {
        int panel;
        std::string text;
        std::int64_t atMs;
    };
    struct LinkTimers {
        int timer1Ms;
        int timer2Ms;
        int timer3Ms;
        bool operator==(const LinkTimers& other) const {
            return timer1Ms == other.timer1Ms && timer2Ms == other.timer2Ms &&
                   timer3Ms == other.timer3Ms;
        }
    };

    explicit FakeLinkHost(EventLog* log = nullptr) : log_(log) {}

    // Each event as the main window shows it: its panel text, message, or window call.
    void ShowLinkStatus(LinkStatus status) override;
    void ShowDeviceAddress(std::uint8_t address, AddressNews news) override;
    void SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) override;
    void SetTimer5Interval(int ms) override;
    void Pause(int ms) override;
    void ReopenAtNewRateFailed(const OpenFailure& failure) override;
    void HoldingRegistersStored() override;
    void InputRegistersStored() override;
    void SettingsSessionEnded() override;
    void CalibrationSessionEnded() override;
    void BlankReadings() override;

    // Current text of a panel; empty when never set.
    std::string Panel(int panel) const;
    // Texts written to one panel, oldest first.
    std::vector<std::string> PanelTexts(int panel) const;

    std::int64_t NowMs() const { return nowMs_; }
    // Moves the virtual clock on, firing Timer5 through onTimer5 each time it falls due.
    void AdvanceClock(std::int64_t ms);

    std::map<int, std::string> panels;
    std::vector<PanelWrite> panelHistory;
    std::vector<LinkTimers> linkTimerCalls;
    std::vector<int> timer5Intervals;
    ModelledTimer timer5;
    std::function<void()> onTimer5;
    std::vector<std::string> messages;
    std::vector<int> pauses;
    int fillingOut3Calls = 0;
    int fillingOut4Calls = 0;
    // Run inside filling_out3 / filling_out4, so a test can look at the link state right then.
    std::function<void()> onFillingOut3;
    std::function<void()> onFillingOut4;
    int settingsWindowCloses = 0;
    int calibrationWindowCloses = 0;
    int blankReadingsCalls = 0;

private:
    void SetStatusPanel(int panel, const std::string& utf8Text);
    void Log(std::string entry) {
        if (log_) log_->Add(std::move(entry));
    }

    EventLog* log_;
    std::int64_t nowMs_ = 0;
};

} // namespace kvel::test
