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
    for (LinkObserver* observer : observers_)
        observer->BytesWritten(when, bytes, length);
}

void ObserverFanOut::ByteRead(LinkClock::time_point when, std::uint8_t byte,
                              ReceiverContext context) {
    for (LinkObserver* observer : observers_)
        observer->ByteRead(when, byte, context);
}

void ObserverFanOut::ReplyAccepted(LinkClock::time_point when, ReplyKind kind) {
    for (LinkObserver* observer : observers_)
        observer->ReplyAccepted(when, kind);
}

void ObserverFanOut::LinkLost(LinkClock::time_point when, bool portOpen) {
    for (LinkObserver* observer : observers_)
        observer->LinkLost(when, portOpen);
}

void ObserverFanOut::PortOpened(LinkClock::time_point when, bool opened) {
    for (LinkObserver* observer : observers_)
        observer->PortOpened(when, opened);
}

void ObserverFanOut::NetworkNoted(LinkClock::time_point when, const NetworkNote& note) {
    for (LinkObserver* observer : observers_)
        observer->NetworkNoted(when, note);
}

} // namespace kvel
