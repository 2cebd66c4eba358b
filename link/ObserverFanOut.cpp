// Each event goes to every observer in the order they were added.
#include "ObserverFanOut.h"

#include <algorithm>

namespace kvel {

void ObserverFanOut::Add(LinkObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void ObserverFanOut::Remove(LinkObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void ObserverFanOut::BytesWritten(LinkClock::time_point when, const std::uint8_t* bytes,
                                  std::size_t length) {
    Each(&LinkObserver::BytesWritten, when, bytes, length);
}

void ObserverFanOut::ByteRead(LinkClock::time_point when, std::uint8_t byte,
                              ReceiverContext context) {
    Each(&LinkObserver::ByteRead, when, byte, context);
}

void ObserverFanOut::ReplyAccepted(LinkClock::time_point when, ReplyKind kind) {
    Each(&LinkObserver::ReplyAccepted, when, kind);
}

void ObserverFanOut::LinkLost(LinkClock::time_point when, bool portOpen) {
    Each(&LinkObserver::LinkLost, when, portOpen);
}

void ObserverFanOut::PortOpened(LinkClock::time_point when, bool opened) {
    Each(&LinkObserver::PortOpened, when, opened);
}

void ObserverFanOut::ImagesZeroed(LinkClock::time_point when) {
    Each(&LinkObserver::ImagesZeroed, when);
}

void ObserverFanOut::NetworkNoted(LinkClock::time_point when, const NetworkNote& note) {
    Each(&LinkObserver::NetworkNoted, when, note);
}

} // namespace kvel
