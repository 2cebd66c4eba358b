// Reopening a vanished port, silently, at the stored rate, and only as the device it was.
#include "PortKeeper.h"

namespace kvel {

// Only a port the channel lost by itself is retried: one the operator closed or changed is not
// vanished, and a failed retry leaves it vanished for the next tick. An outage is shown once,
// however many retries it takes.
void PortKeeper::Tick(bool portHeldElsewhere) {
    SerialChannel& channel = link_.Channel();
    if (channel.Connecting()) return;
    if (connecting_) {
        connecting_ = false;
        if (channel.IsOpen() && !portHeldElsewhere) return ResumePolling();
    }
    if (!channel.PortVanished()) {
        lossShown_ = false;
        return;
    }
    // The first tick only shows the loss: the system may not have let go of the device yet,
    // and whatever takes its name next is not known to be it.
    if (!lossShown_) {
        // The receive indication ends first, or its timer would blank "Нет связи" a moment later.
        link_.Timer5Timer();
        link_.DeclareLinkLost();
        lossShown_ = true;
        return;
    }
    if (portHeldElsewhere || link_.ReopenVanishedPort() != kOpenOk) return;
    if (channel.Connecting()) return AwaitConnection();
    ResumePolling();
}

void PortKeeper::ResumePolling() {
    lossShown_ = false;
    link_.ForgetAwaitedReply();
    link_.StartLinkTimers();
}

} // namespace kvel
