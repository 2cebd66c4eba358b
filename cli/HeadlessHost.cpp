// The window link's host without windows.
#include "HeadlessHost.h"

#include "ModbusLink.h"
#include "Pause.h"

namespace kvel::cli {

HeadlessHost::HeadlessHost()
    : timer1_([this] { link_->Timer1Timer(); }), timer2_([this] { link_->Timer2Timer(); }),
      timer3_([this] { link_->Timer3Timer(); }) {}

void HeadlessHost::SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) {
    timer1_.SetInterval(timer1Ms);
    timer2_.SetInterval(timer2Ms);
    timer3_.SetInterval(timer3Ms);
}

void HeadlessHost::Pause(int ms) {
    BlockingPause(ms);
}

} // namespace kvel::cli
