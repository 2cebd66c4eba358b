// What window tests ask of the link: a read reply taken in as if just asked for, and the
// requests the windows have queued.
#pragma once

#include "FakeSerialChannel.h"
#include "Hex.h"
#include "ModbusLink.h"

#include <QCoreApplication>

#include <cstdint>
#include <vector>

namespace kvel::test {

// The unit answers a read from register 0 with `words`; one receive tick takes it in, and what
// the tick left for the event loop runs, as it would the moment the tick returns.
inline void DeliverReadReply(kvel::ModbusLink& link, FakeSerialChannel& channel,
                             std::uint8_t function, const std::vector<std::uint16_t>& words) {
    kvel::LinkState& state = link.State();
    state.ExpectedReplyLength = static_cast<std::uint16_t>(2 * words.size() + 5);
    state.LastRequestRegister = 0;
    channel.Feed(ReadReply(state.DeviceAddress, function, words));
    link.Timer3Timer();
    QCoreApplication::sendPostedEvents();
}

inline std::vector<kvel::ModbusRequest> QueuedRequests(const kvel::LinkState& state) {
    return {state.RequestQueue.begin() + 1, state.RequestQueue.begin() + 1 + state.QueueCount};
}

} // namespace kvel::test
