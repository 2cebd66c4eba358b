// A fake serial line with units on it that answer the unit finder's reads, each at its own
// rate, and whatever else a test wants heard on the line.
#pragma once

#include "FakeSerialChannel.h"
#include "Hex.h"
#include "ModbusFrame.h"

#include <functional>
#include <map>
#include <optional>

namespace kvel::test {

// Units on one line, each answering at its own rate, the way a real line behaves: a request
// sent at another rate never reaches them.
class SimulatedLine : public FakeSerialChannel {
public:
    struct Unit {
        std::uint8_t baudIndex;
        std::optional<std::uint16_t> version;
    };

    int WriteComPort(const std::uint8_t* bytes, int length) override {
        const int result = FakeSerialChannel::WriteComPort(bytes, length);
        if (answer) answer(writes.back());
        const auto unit = units.find(bytes[0]);
        if (unit == units.end() || opens.empty() ||
            opens.back().bitRate != BaudRateFromIndex(unit->second.baudIndex))
            return result;
        if (bytes[1] == kReadHolding) Feed(ReadReply(bytes[0], kReadHolding, {bytes[0]}));
        if (bytes[1] == kReadInput && unit->second.version)
            Feed(ReadReply(bytes[0], kReadInput, {*unit->second.version}));
        return result;
    }

    std::map<std::uint8_t, Unit> units;
    // Anything else on the line, heard after each request.
    std::function<void(const std::vector<std::uint8_t>& request)> answer;
};

} // namespace kvel::test
