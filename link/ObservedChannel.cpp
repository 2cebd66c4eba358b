// The tap on a channel: writes after they went to the port, reads as they are taken.
#include "ObservedChannel.h"

namespace kvel {

int ObservedChannel::WriteComPort(const std::uint8_t* bytes, int length) {
    const int result = inner_.WriteComPort(bytes, length);
    if (observer_ && length > 0 && result != kWriteNotSent)
        observer_->BytesWritten(LinkClock::now(), bytes, static_cast<std::size_t>(length));
    return result;
}

std::uint8_t ObservedChannel::ReadComByte() {
    const std::uint8_t byte = inner_.ReadComByte();
    if (observer_) observer_->ByteRead(LinkClock::now(), byte, listening_());
    return byte;
}

} // namespace kvel
