// Choosing the channel by the port's name.
#include "RoutingChannel.h"

#include "NetworkPort.h"

namespace kvel {

int RoutingChannel::OpenComPort(const std::string& name, std::int32_t bitRate) {
    SerialChannel* wanted = IsNetworkPortName(name) ? static_cast<SerialChannel*>(&network_)
                                                    : static_cast<SerialChannel*>(&serial_);
    if (wanted != current_) current_->CloseComPort();
    current_ = wanted;
    return current_->OpenComPort(name, bitRate);
}

} // namespace kvel
