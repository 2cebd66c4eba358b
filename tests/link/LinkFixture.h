// A link wired to a fake channel and a fake host that share one event log, with the unit at
// address 1 unless a test says otherwise.
#pragma once

#include "Crc16.h"
#include "EventLog.h"
#include "FakeLinkHost.h"
#include "FakeSerialChannel.h"
#include "Hex.h"
#include "ModbusLink.h"
#include "RecordingObserver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kvel::test {

class LinkTest : public ::testing::Test {
protected:
    LinkTest() : channel(&events), host(&events), link(state, channel, host) {
        host.onTimer5 = [this] { link.Timer5Timer(); };
        state.DeviceAddress = 1;
        if (ObserveLink()) link.SetObserver(&observer);
    }
    ~LinkTest() override {
        if (ObserveLink()) {
            EXPECT_EQ(observer.writes, channel.writes) << "the tap missed a write";
        }
    }

    // One Timer2 tick; returns the frame it wrote, empty when it wrote none.
    std::vector<std::uint8_t> Tick() {
        const std::size_t before = channel.writes.size();
        link.Timer2Timer();
        if (channel.writes.size() == before) return {};
        EXPECT_EQ(channel.writes.size(), before + 1) << "more than one frame in one tick";
        return channel.writes.back();
    }

    void Ticks(int count) {
        for (int i = 0; i < count; ++i)
            link.Timer2Timer();
    }

    // The bytes arrive and one Timer3 tick takes them in.
    void Receive(const std::vector<std::uint8_t>& bytes) {
        channel.Feed(bytes);
        link.Timer3Timer();
    }

    // Words 0x0101 * (i + 1) + offset: distinct and easy to tell apart.
    static std::vector<std::uint16_t> DistinctWords(std::size_t count, std::uint16_t offset = 0) {
        std::vector<std::uint16_t> words;
        for (std::size_t i = 0; i < count; ++i)
            words.push_back(static_cast<std::uint16_t>(0x0101 * (i + 1) + offset));
        return words;
    }

    EventLog events;
    kvel::LinkState state;
    FakeSerialChannel channel;
    FakeLinkHost host;
    kvel::ModbusLink link;
    RecordingObserver observer;
};

} // namespace kvel::test
