// A main window stand-in for the link core.
#include "FakeLinkHost.h"

namespace kvel::test {

void ModelledTimer::SetInterval(int ms, std::int64_t nowMs) {
    if (ms <= 0) {
        intervalMs_ = 0;
        return;
    }
    if (intervalMs_ == ms) return;
    intervalMs_ = ms;
    nextDueMs_ = nowMs + ms;
}

void FakeLinkHost::SetStatusPanel(int panel, const std::string& utf8Text) {
    panels[panel] = utf8Text;
    panelHistory.push_back({panel, utf8Text, nowMs_});
    Log("Panel " + std::to_string(panel) + " " + utf8Text);
}

void FakeLinkHost::ShowLinkStatus(LinkStatus status) {
    SetStatusPanel(kPanelLink, LinkStatusText(status));
}

void FakeLinkHost::ShowDeviceAddress(std::uint8_t address, AddressNews news) {
    SetStatusPanel(kPanelAddress, AddressPanelText(address, news));
}

void FakeLinkHost::SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) {
    linkTimerCalls.push_back({timer1Ms, timer2Ms, timer3Ms});
    Log("Timers " + std::to_string(timer1Ms) + " " + std::to_string(timer2Ms) + " " +
        std::to_string(timer3Ms));
}

void FakeLinkHost::SetTimer5Interval(int ms) {
    timer5Intervals.push_back(ms);
    timer5.SetInterval(ms, nowMs_);
    Log("Timer5 " + std::to_string(ms));
}

void FakeLinkHost::ReopenAtNewRateFailed(const OpenFailure& failure) {
    const std::string text = ReopenAtNewRateMessage(failure);
    messages.push_back(text);
    Log("Message " + text);
}

void FakeLinkHost::Pause(int ms) {
    pauses.push_back(ms);
    Log("Pause " + std::to_string(ms));
}

void FakeLinkHost::HoldingRegistersStored() {
    ++fillingOut3Calls;
    Log("filling_out3");
    if (onFillingOut3) onFillingOut3();
}

void FakeLinkHost::InputRegistersStored() {
    ++fillingOut4Calls;
    Log("filling_out4");
    if (onFillingOut4) onFillingOut4();
}

void FakeLinkHost::SettingsSessionEnded() {
    ++settingsWindowCloses;
    Log("CloseSettingsWindow");
}

void FakeLinkHost::CalibrationSessionEnded() {
    ++calibrationWindowCloses;
    Log("CloseCalibrationWindow");
}

void FakeLinkHost::BlankReadings() {
    ++blankReadingsCalls;
    Log("BlankReadings");
}

std::string FakeLinkHost::Panel(int panel) const {
    const auto found = panels.find(panel);
    return found == panels.end() ? std::string() : found->second;
}

std::vector<std::string> FakeLinkHost::PanelTexts(int panel) const {
    std::vector<std::string> texts;
    for (const PanelWrite& write : panelHistory)
        if (write.panel == panel) texts.push_back(write.text);
    return texts;
}

void FakeLinkHost::AdvanceClock(std::int64_t ms) {
    const std::int64_t target = nowMs_ + ms;
    while (timer5.IsRunning() && timer5.NextDueMs() <= target) {
        nowMs_ = timer5.NextDueMs();
        timer5.Fired();
        if (onTimer5) onTimer5();
    }
    nowMs_ = target;
}

} // namespace kvel::test
