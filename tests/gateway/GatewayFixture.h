// The line scheduler on a fake line with a clock of the test's own, and what it answered each
// client.
#pragma once

#include "FakeSerialChannel.h"
#include "Hex.h"
#include "LineScheduler.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace kvel::test {

using gateway::ClientId;

class RecordingEvents : public gateway::SchedulerEvents {
public:
    void Answer(ClientId client, std::vector<std::uint8_t> bytes) override {
        answers[client].push_back(ToHex(bytes));
    }
    void UnitSilent(std::uint8_t unit) override { silent.push_back(unit); }
    void UnitBack(std::uint8_t unit) override { back.push_back(unit); }

    std::map<ClientId, std::vector<std::string>> answers;
    std::vector<std::uint8_t> silent;
    std::vector<std::uint8_t> back;
};

// "03 0000 0002" as a client's MBAP frame for `unit`.
inline MbapFrame Asking(std::uint16_t transaction, std::uint8_t unit, const char* pdu) {
    return {transaction, 0, unit, Hex(pdu), {}};
}

// The MBAP frame the client should get: header with the PDU's length, then the PDU.
inline std::string Mbap(std::uint16_t transaction, std::uint8_t unit, const char* pdu) {
    const std::vector<std::uint8_t> body = Hex(pdu);
    return ToHex(MbapBytes(transaction, unit, body.data(), body.size()));
}

class GatewayFixture : public ::testing::Test {
protected:
    static constexpr auto kTimeout = std::chrono::milliseconds(300);
    static constexpr std::size_t kQueueLimit = 2;

    GatewayFixture() {
        settings_.timing.bitRate = 115200;
        settings_.timing.replyTimeout = kTimeout;
        settings_.queueLimit = kQueueLimit;
        settings_.outstandingLimit = 4 * kQueueLimit;
        channel.OpenComPort("COM1", 115200);
        scheduler = std::make_unique<gateway::LineScheduler>(channel, settings_, events);
    }

    void Submit(ClientId client, const MbapFrame& frame) {
        ASSERT_TRUE(scheduler->Submit(client, frame, now));
    }
    // Time passes; the scheduler looks at the line.
    void Advance(std::chrono::milliseconds by) {
        now += by;
        scheduler->Poll(now);
    }
    // The unit's reply arrives a little after the request, and the line goes quiet again.
    void Reply(const std::vector<std::uint8_t>& frame) {
        channel.Feed(frame);
        Advance(std::chrono::milliseconds(2));
        Advance(std::chrono::milliseconds(3));
    }
    // The unit and register of every request that went on the line, in order.
    std::vector<std::string> LineRequests() const {
        std::vector<std::string> requests;
        for (const auto& frame : channel.writes)
            requests.push_back(std::to_string(frame[0]) + ":" + std::to_string(WordAt(&frame[2])));
        return requests;
    }

    gateway::SchedulerSettings settings_;
    FakeSerialChannel channel;
    RecordingEvents events;
    std::unique_ptr<gateway::LineScheduler> scheduler;
    LinkClock::time_point now = LinkClock::time_point{} + std::chrono::hours(1);
};

} // namespace kvel::test
