// The Modbus TCP adapter against frames written out by hand: the requests of the frame formats
// carried, replies returned as the RTU frames they stand for, and every way a reply is dropped.
#include "MbapFraming.h"
#include "Hex.h"
#include "NetworkPort.h"

#include <gtest/gtest.h>

namespace kvel {
namespace {

using test::Hex;
using test::ToHex;

struct Received {
    std::vector<std::uint8_t> rtu;
    std::vector<MbapDrop> drops;
};

Received Feed(MbapAdapter& adapter, const std::vector<std::vector<std::uint8_t>>& segments) {
    Received received;
    for (const auto& segment : segments)
        adapter.Receive(segment.data(), segment.size(), received.rtu, received.drops);
    return received;
}

std::vector<std::uint8_t> Ask(MbapAdapter& adapter, const char* rtu) {
    const std::vector<std::uint8_t> frame = Hex(rtu);
    return adapter.Request(frame.data(), frame.size());
}

TEST(MbapAdapterTest, CarriesTheRequestsWithATransactionIdEach) {
    MbapAdapter adapter;
    EXPECT_EQ(ToHex(Ask(adapter, "01 03 00 00 00 1B 05 C1")),
              "00 01 00 00 00 06 01 03 00 00 00 1B");
    EXPECT_EQ(ToHex(Ask(adapter, "01 04 00 00 00 15 31 C5")),
              "00 02 00 00 00 06 01 04 00 00 00 15");
    EXPECT_EQ(ToHex(Ask(adapter, "01 06 00 0F 00 03 F9 C8")),
              "00 03 00 00 00 06 01 06 00 0F 00 03");
}

TEST(MbapAdapterTest, RefusesWhatIsNoModbusRequest) {
    MbapAdapter adapter;
    EXPECT_TRUE(Ask(adapter, "01 03 00 00 00 1B C1 05").empty()) << "CRC high byte first";
    EXPECT_TRUE(Ask(adapter, "01 03 00").empty());
    std::vector<std::uint8_t> block(2060, 0x5A);
    EXPECT_TRUE(adapter.Request(block.data(), block.size()).empty()) << "a firmware block frame";
    // Nothing was awaited, so a reply to any of them is dropped.
    const Received received = Feed(adapter, {Hex("00 01 00 00 00 06 01 06 00 0F 00 03")});
    EXPECT_TRUE(received.rtu.empty());
    ASSERT_EQ(received.drops.size(), 1u);
    EXPECT_FALSE(received.drops[0].awaited.has_value());
}

TEST(MbapAdapterTest, ReturnsRepliesAsTheirRtuFrames) {
    struct Case {
        const char* request;
        const char* mbapReply;
        const char* rtuReply;
    };
    const Case cases[] = {
        {"01 06 00 0F 00 03 F9 C8", "00 01 00 00 00 06 01 06 00 0F 00 03",
         "01 06 00 0F 00 03 F9 C8"},
        {"01 03 00 00 00 01 84 0A", "00 01 00 00 00 05 01 03 02 00 01", "01 03 02 00 01 79 84"},
        // An exception reply reaches the receiver too, which turns it away by its own rules.
        {"01 03 00 00 00 01 84 0A", "00 01 00 00 00 03 01 83 02", "01 83 02 C0 F1"},
        // Another unit id comes as a frame from another address.
        {"01 06 00 0F 00 03 F9 C8", "00 01 00 00 00 06 02 06 00 0F 00 03",
         "02 06 00 0F 00 03 F9 FB"},
    };
    for (const Case& c : cases) {
        MbapAdapter adapter;
        Ask(adapter, c.request);
        const Received received = Feed(adapter, {Hex(c.mbapReply)});
        EXPECT_EQ(ToHex(received.rtu), c.rtuReply) << c.mbapReply;
        EXPECT_TRUE(received.drops.empty()) << c.mbapReply;
    }
}

TEST(MbapAdapterTest, DropsAndCountsAReplyToAnotherTransaction) {
    MbapAdapter adapter;
    Ask(adapter, "01 06 00 0F 00 03 F9 C8");
    Ask(adapter, "01 04 00 00 00 15 31 C5");
    // The late reply to the first request, then the one awaited, in one segment.
    const Received received = Feed(adapter, {Hex("00 01 00 00 00 06 01 06 00 0F 00 03"
                                                 "00 02 00 00 00 05 01 04 02 12 34")});
    ASSERT_EQ(received.drops.size(), 1u);
    EXPECT_EQ(received.drops[0].fault, MbapFault::WrongTransaction);
    EXPECT_EQ(received.drops[0].value, 1);
    EXPECT_EQ(received.drops[0].awaited, 2);
    EXPECT_EQ(received.drops[0].droppedBytes, 12u);
    ASSERT_EQ(received.rtu.size(), 7u);
    EXPECT_EQ(ToHex({received.rtu.begin(), received.rtu.begin() + 5}), "01 04 02 12 34");
    // A second copy of the awaited reply is no longer awaited.
    EXPECT_EQ(Feed(adapter, {Hex("00 02 00 00 00 05 01 04 02 12 34")}).drops.size(), 1u);
}

TEST(MbapAdapterTest, TakesRepliesHoweverTheSegmentsFall) {
    const std::vector<std::uint8_t> reply = Hex("00 01 00 00 00 06 01 06 00 0F 00 03");
    std::vector<std::vector<std::uint8_t>> oneByteEach;
    for (std::uint8_t byte : reply)
        oneByteEach.push_back({byte});
    const std::vector<std::vector<std::vector<std::uint8_t>>> splits = {
        oneByteEach,
        {{reply.begin(), reply.begin() + 3}, {reply.begin() + 3, reply.end()}},
        {{reply.begin(), reply.begin() + 7}, {reply.begin() + 7, reply.end()}},
        {{reply.begin(), reply.end() - 1}, {reply.end() - 1, reply.end()}},
    };
    for (const auto& segments : splits) {
        MbapAdapter adapter;
        Ask(adapter, "01 06 00 0F 00 03 F9 C8");
        const Received received = Feed(adapter, segments);
        EXPECT_EQ(ToHex(received.rtu), "01 06 00 0F 00 03 F9 C8") << segments.size() << " pieces";
        EXPECT_EQ(adapter.PendingCount(), 0u);
    }
}

TEST(MbapAdapterTest, DropsHeadersNoFrameHasAndHoldsNoMoreThanOneFrame) {
    struct Case {
        const char* reply;
        MbapFault fault;
        std::uint16_t value;
    };
    const Case cases[] = {
        {"00 01 00 05 00 06 01 06 00 0F 00 03", MbapFault::WrongProtocol, 5},
        {"00 01 00 00 00 00 01", MbapFault::WrongLength, 0},
        {"00 01 00 00 00 01 01", MbapFault::WrongLength, 1},
        {"00 01 00 00 00 FF 01", MbapFault::WrongLength, 255},
        {"00 01 00 00 FF FF 01", MbapFault::WrongLength, 0xFFFF},
    };
    for (const Case& c : cases) {
        MbapAdapter adapter;
        Ask(adapter, "01 06 00 0F 00 03 F9 C8");
        const Received received = Feed(adapter, {Hex(c.reply)});
        ASSERT_FALSE(received.drops.empty()) << c.reply;
        EXPECT_EQ(received.drops[0].fault, c.fault) << c.reply;
        EXPECT_EQ(received.drops[0].value, c.value) << c.reply;
        EXPECT_TRUE(received.rtu.empty()) << c.reply;
    }
    // A header claiming 64 KiB, then a megabyte of anything: nothing grows past one frame.
    MbapAdapter adapter;
    Ask(adapter, "01 06 00 0F 00 03 F9 C8");
    Received received = Feed(adapter, {Hex("00 01 00 00 FF FF 01")});
    const std::vector<std::uint8_t> flood(4096, 0x00);
    for (int i = 0; i < 256; ++i) {
        adapter.Receive(flood.data(), flood.size(), received.rtu, received.drops);
        EXPECT_LE(adapter.PendingCount(), kMbapHeaderBytes + kLongestMbapLength - 1);
    }
    EXPECT_TRUE(received.rtu.empty());
}

TEST(MbapAdapterTest, ANewConnectionForgetsTheHalfReceivedFrame) {
    MbapAdapter adapter;
    Ask(adapter, "01 06 00 0F 00 03 F9 C8");
    Feed(adapter, {Hex("00 01 00 00 00 06 01")});
    adapter.Reset();
    Ask(adapter, "01 06 00 0F 00 03 F9 C8");
    EXPECT_EQ(ToHex(Feed(adapter, {Hex("00 02 00 00 00 06 01 06 00 0F 00 03")}).rtu),
              "01 06 00 0F 00 03 F9 C8");
}

TEST(NetworkPortTest, ReadsTheAcceptedFormsAndRefusesTheRest) {
    struct Case {
        const char* name;
        bool valid;
        NetworkProtocol protocol;
        const char* host;
        std::uint16_t port;
    };
    const Case cases[] = {
        {"tcp://127.0.0.1:5020", true, NetworkProtocol::RtuOverTcp, "127.0.0.1", 5020},
        {"tcp://gw-3.plant.local:4001", true, NetworkProtocol::RtuOverTcp, "gw-3.plant.local",
         4001},
        {"modbus-tcp://10.0.0.7", true, NetworkProtocol::ModbusTcp, "10.0.0.7", 502},
        {"modbus-tcp://10.0.0.7:1502", true, NetworkProtocol::ModbusTcp, "10.0.0.7", 1502},
        {"tcp://[::1]:5020", true, NetworkProtocol::RtuOverTcp, "::1", 5020},
        {"tcp://127.0.0.1", false, {}, "", 0},
        {"tcp://:5020", false, {}, "", 0},
        {"tcp://", false, {}, "", 0},
        {"tcp://host:0", false, {}, "", 0},
        {"tcp://host:65536", false, {}, "", 0},
        {"tcp://host:50x", false, {}, "", 0},
        {"tcp://host:", false, {}, "", 0},
        {"modbus-tcp://host:", false, {}, "", 0},
        {"tcp://ho st:5020", false, {}, "", 0},
        {"tcp://host/path:5020", false, {}, "", 0},
        {"tcp://[::1:5020", false, {}, "", 0},
        {"udp://host:5020", false, {}, "", 0},
    };
    for (const Case& c : cases) {
        std::string error;
        const std::optional<NetworkPort> port = ParseNetworkPort(c.name, error);
        ASSERT_EQ(port.has_value(), c.valid) << c.name;
        if (!c.valid) {
            EXPECT_NE(error.find("tcp://HOST:PORT"), std::string::npos) << c.name;
            continue;
        }
        EXPECT_EQ(port->protocol, c.protocol) << c.name;
        EXPECT_EQ(port->host, c.host) << c.name;
        EXPECT_EQ(port->port, c.port) << c.name;
        EXPECT_EQ(ParseNetworkPort(NetworkPortName(*port), error)->port, c.port) << c.name;
    }
}

} // namespace
} // namespace kvel
