// Bit-rate table and port names shared by every serial channel.
#include "SerialChannel.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <thread>

namespace kvel {

namespace {
const std::string kPortPrefix = "\\\\.\\COM";
}

bool SerialChannel::WaitForInput(int ms) {
    if (PendingInputCount() > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(ms, 0, 1)));
    return PendingInputCount() > 0;
}

bool MoveOpenLineTo(SerialChannel& channel, std::int32_t bitRate) {
    return channel.IsOpen() && !channel.Connecting() && channel.SetBitRate(bitRate);
}

std::int32_t BaudRateFromIndex(std::uint8_t index) {
    return kLineRates[index < kLineRates.size() ? index : kDefaultBaudIndex].bitsPerSecond;
}

std::string ComPortName(std::uint16_t number) {
    return kPortPrefix + std::to_string(number);
}

long ComPortNumber(const std::string& name) {
    if (name.compare(0, kPortPrefix.size(), kPortPrefix) != 0) return -1;
    const std::string digits = name.substr(kPortPrefix.size());
    if (digits.empty() || digits.size() > 5) return -1;
    long number = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

} // namespace kvel
