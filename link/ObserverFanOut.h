// Lets several observers watch through the link's single observer seam.
#pragma once

#include "LinkObserver.h"

#include <vector>

namespace kvel {

class ObserverFanOut : public LinkObserver {
public:
    void Add(LinkObserver* observer);
    void Remove(LinkObserver* observer);

    void BytesWritten(LinkClock::time_point when, const std::uint8_t* bytes,
                      std::size_t length) override;
    void ByteRead(LinkClock::time_point when, std::uint8_t byte, ReceiverContext context) override;
    void ReplyAccepted(LinkClock::time_point when, ReplyKind kind) override;
    void LinkLost(LinkClock::time_point when, bool portOpen) override;
    void PortOpened(LinkClock::time_point when, bool opened) override;
    void ImagesZeroed(LinkClock::time_point when) override;
    void NetworkNoted(LinkClock::time_point when, const NetworkNote& note) override;

private:
    template <class... Parameters, class... Arguments>
    void Each(void (LinkObserver::*event)(Parameters...), const Arguments&... arguments) {
        for (LinkObserver* observer : observers_)
            (observer->*event)(arguments...);
    }

    std::vector<LinkObserver*> observers_;
};

} // namespace kvel
