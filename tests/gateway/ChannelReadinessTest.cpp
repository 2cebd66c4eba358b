// The readiness the gateway waits on, told by the routing channel from either transport: bytes
// arrived, and the line gone (the other end of a pseudo-terminal closed, a server's connection
// cut).
#include "Hex.h"
#include "RoutingChannel.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace kvel::test {
namespace {

class ChannelReadiness : public ::testing::Test {
protected:
    void SetUp() override {
        channel.SetReadinessHandler([this](ChannelEvent event) { events.push_back(event); });
    }

    bool Told(ChannelEvent event) {
        return QTest::qWaitFor(
            [&] { return std::find(events.begin(), events.end(), event) != events.end(); }, 5000);
    }

    RoutingChannel channel;
    std::vector<ChannelEvent> events;
};

TEST_F(ChannelReadiness, ASerialPortTellsOfBytesAndOfItsOtherEndGoing) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    ASSERT_EQ(channel.OpenComPort(::ptsname(master), 9600), kOpenOk);
    const std::vector<std::uint8_t> bytes = Hex("01 03 02 00 05");
    ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    EXPECT_TRUE(Told(ChannelEvent::BytesArrived));
    EXPECT_EQ(channel.PendingInputCount(), bytes.size());
    ::close(master);
    EXPECT_TRUE(Told(ChannelEvent::ConnectionLost));
    EXPECT_FALSE(channel.IsOpen());
}

TEST_F(ChannelReadiness, ANetworkLineTellsOfBytesAndOfItsConnectionCut) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    ASSERT_EQ(channel.OpenComPort("tcp://127.0.0.1:" + std::to_string(server.serverPort()), 9600),
              kOpenOk);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 5000));
    QTcpSocket* peer = server.nextPendingConnection();
    EXPECT_TRUE(events.empty()) << "nothing arrived yet";
    peer->write("\x01\x06", 2);
    peer->flush();
    EXPECT_TRUE(Told(ChannelEvent::BytesArrived));
    peer->abort();
    EXPECT_TRUE(Told(ChannelEvent::ConnectionLost));
    EXPECT_TRUE(channel.PortVanished());
}

} // namespace
} // namespace kvel::test
