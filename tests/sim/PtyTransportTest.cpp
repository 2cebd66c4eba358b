// The unit on a real pseudo-terminal, reached through its link as a client program would.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <termios.h>
#include <unistd.h>

#include "PtyTransport.h"
#include "SimTestSupport.h"
#include "UnitServer.h"

namespace kvel::sim::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class PtyTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kvel-sim-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        linkPath = (directory / "dosdevices" / "com1").string();
    }
    void TearDown() override {
        if (client >= 0) close(client);
        fs::remove_all(directory);
    }

    void OpenClient(speed_t speed) {
        client = open(linkPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(client, 0);
        termios settings{};
        ASSERT_EQ(tcgetattr(client, &settings), 0);
        cfmakeraw(&settings);
        cfsetspeed(&settings, speed);
        ASSERT_EQ(tcsetattr(client, TCSANOW, &settings), 0);
    }

    // Serves the line in short slices until `expected` bytes came back or a second passed.
    std::vector<std::uint8_t> Exchange(UnitServer& server, const std::string& request,
                                       std::size_t expected) {
        const std::vector<std::uint8_t> bytes = Hex(request);
        EXPECT_EQ(write(client, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        std::vector<std::uint8_t> reply;
        const auto giveUp = std::chrono::steady_clock::now() + 1s;
        while (reply.size() < expected && std::chrono::steady_clock::now() < giveUp) {
            server.ServeFor(10ms);
            std::uint8_t chunk[256];
            const ssize_t count = read(client, chunk, sizeof chunk);
            if (count > 0) reply.insert(reply.end(), chunk, chunk + count);
        }
        return reply;
    }

    fs::path directory;
    std::string linkPath;
    int client = -1;
    UnitSimulator unit{UnitSetup{}};
};

TEST_F(PtyTransportTest, AnswersReadThroughTheLink) {
    PtyTransport port(linkPath, unit.BitRate());
    UnitServer server(unit, port);
    ASSERT_TRUE(fs::is_symlink(linkPath));
    OpenClient(B9600);

    const std::vector<std::uint8_t> reply = Exchange(server, "01 03 00 00 00 1B 05 C1", 59);
    ASSERT_EQ(reply.size(), 59u);
    EXPECT_EQ(HexOf({reply.begin(), reply.begin() + 3}), "01 03 36");
    EXPECT_TRUE(CrcHolds(reply));
}

TEST_F(PtyTransportTest, StaysQuietWhenClientRunsAtAnotherRate) {
    PtyTransport port(linkPath, unit.BitRate());
    UnitServer server(unit, port);
    OpenClient(B19200);
    EXPECT_EQ(port.PeerBitRate(), 19200);
    EXPECT_TRUE(Exchange(server, "01 03 00 10 00 01 85 CF", 7).empty());
}

TEST_F(PtyTransportTest, AnswersAgainAfterClientReopensTheLine) {
    PtyTransport port(linkPath, unit.BitRate());
    UnitServer server(unit, port);
    OpenClient(B9600);
    ASSERT_EQ(HexOf(Exchange(server, "01 03 00 10 00 01 85 CF", 7)), "01 03 02 02 21 79 3C");
    close(client);
    client = -1;

    const auto before = std::chrono::steady_clock::now();
    server.ServeFor(200ms);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 200ms);

    OpenClient(B9600);
    EXPECT_EQ(HexOf(Exchange(server, "01 03 00 10 00 01 85 CF", 7)), "01 03 02 02 21 79 3C");
}

TEST_F(PtyTransportTest, ReplacesStaleLinkAndRemovesItOnExit) {
    fs::create_directories(fs::path(linkPath).parent_path());
    fs::create_symlink("/nonexistent/pts", linkPath);
    {
        PtyTransport port(linkPath, unit.BitRate());
        EXPECT_EQ(fs::read_symlink(linkPath), port.TerminalPath());
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(linkPath)));
}

TEST_F(PtyTransportTest, RefusesToReplaceAnOrdinaryFile) {
    fs::create_directories(fs::path(linkPath).parent_path());
    { std::ofstream(linkPath) << "not a link"; }
    EXPECT_THROW(PtyTransport(linkPath, unit.BitRate()), std::runtime_error);
    EXPECT_TRUE(fs::is_regular_file(linkPath));
}

TEST_F(PtyTransportTest, SeveralUnitsShareTheLineAndEachAnswersItsOwnAddress) {
    UnitSimulator third{UnitSetup{3, 6, 1}};
    UnitSimulator seventh{UnitSetup{7, 6, 2}};
    PtyTransport port(linkPath, third.BitRate());
    UnitServer server({&third, &seventh}, port);
    OpenClient(B38400);
    EXPECT_EQ(HexOf(Exchange(server, "03 03 00 0E 00 01 E4 2B", 7)), "03 03 02 00 03 81 85");
    EXPECT_EQ(HexOf(Exchange(server, "07 03 00 0E 00 01 E5 AF", 7)), "07 03 02 00 07 71 86");
    EXPECT_TRUE(Exchange(server, "05 03 00 0E 00 01 E4 4D", 7).empty());
}

TEST_F(PtyTransportTest, PulledLineLeavesTheLinkDanglingAndComesBackAtTheSamePath) {
    PtyTransport port(linkPath, unit.BitRate());
    UnitServer server(unit, port);
    OpenClient(B9600);
    ASSERT_EQ(HexOf(Exchange(server, "01 03 00 10 00 01 85 CF", 7)), "01 03 02 02 21 79 3C");

    port.Pull();
    EXPECT_EQ(port.Descriptor(), -1);
    EXPECT_TRUE(fs::is_symlink(linkPath));
    EXPECT_FALSE(fs::exists(linkPath)) << "a pulled adapter's device is gone";
    std::uint8_t byte = 0;
    EXPECT_LE(read(client, &byte, 1), 0) << "the client's end sees the line go";
    close(client);
    client = -1;

    port.Reappear(unit.BitRate());
    server.LineRenewed();
    EXPECT_EQ(fs::read_symlink(linkPath), port.TerminalPath());
    OpenClient(B9600);
    EXPECT_EQ(HexOf(Exchange(server, "01 03 00 10 00 01 85 CF", 7)), "01 03 02 02 21 79 3C");
}

TEST(TransmissionTimeTest, CountsTenBitsPerByte) {
    EXPECT_EQ(TransmissionTime(59, 9600), std::chrono::microseconds(61458));
    EXPECT_EQ(TransmissionTime(8, 115200), std::chrono::microseconds(694));
    EXPECT_EQ(TransmissionTime(8, 0), std::chrono::microseconds(0));
}

} // namespace
} // namespace kvel::sim::test
