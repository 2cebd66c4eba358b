// The link's host without windows.
#include "HeadlessHost.h"

#include "ModbusLink.h"
#include "Pause.h"

#include <cstdio>

namespace kvel::cli {

HeadlessHost::HeadlessHost(bool verbose)
    : verbose_(verbose), timer1_([this] { link_->Timer1Timer(); }),
      timer2_([this] { link_->Timer2Timer(); }), timer3_([this] { link_->Timer3Timer(); }) {}

void HeadlessHost::Drive(ModbusLink& link) {
    link_ = &link;
}

// Only the link panel says anything a user of the command line cares about, and only when it
// changes: "ПРИЕМ ДАННЫХ" once, "Нет связи" when the unit falls silent.
void HeadlessHost::SetStatusPanel(int panel, const std::string& utf8Text) {
    if (!verbose_ || panel != kPanelLink || utf8Text == " " || utf8Text == linkText_) return;
    linkText_ = utf8Text;
    std::fprintf(stderr, "kvel-cli: link: %s\n", utf8Text.c_str());
}

void HeadlessHost::SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) {
    SetPollAndSendIntervals(timer1Ms, timer2Ms);
    timer3_.SetInterval(timer3Ms);
}

void HeadlessHost::SetPollAndSendIntervals(int timer1Ms, int timer2Ms) {
    timer1_.SetInterval(timer1Ms);
    timer2_.SetInterval(timer2Ms);
}

void HeadlessHost::ShowMessage(const std::string& utf8Text) {
    std::fprintf(stderr, "kvel-cli: %s\n", utf8Text.c_str());
}

void HeadlessHost::Pause(int ms) {
    BlockingPause(ms);
}

void HeadlessHost::filling_out3() {
    ++holdingReplies_;
    if (onHoldingReply) onHoldingReply();
}

} // namespace kvel::cli
