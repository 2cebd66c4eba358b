// The system serial channel on a pseudo-terminal reached through a dosdevices link, the way the
// program finds its port on Linux. No event loop runs unless a test says so: the link writes and
// polls from inside timer handlers that block the thread.
#include "SystemSerialChannel.h"
#include "Hex.h"
#include "LinkWords.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace kvel::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string ComName(int number) {
    return R"(\\.\COM)" + std::to_string(number);
}

class SystemSerialChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        OpenMaster();

        char pattern[] = "/tmp/kvel-serial-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        workDir_ = pattern;
        previousDir_ = fs::current_path();
        fs::create_directory(workDir_ / "dosdevices");
        fs::current_path(workDir_);
        Link(7, slavePath_);
    }

    // A fresh pseudo-terminal behind the same COM number, as after pulling and replugging.
    void ReplugAs(int number) {
        OpenMaster();
        fs::remove(fs::path("dosdevices") / ("com" + std::to_string(number)));
        Link(number, slavePath_);
    }

    void OpenMaster() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(::grantpt(master_), 0);
        ASSERT_EQ(::unlockpt(master_), 0);
        const char* slave = ::ptsname(master_);
        ASSERT_NE(slave, nullptr);
        slavePath_ = slave;
    }

    void TearDown() override {
        CloseMaster();
        if (!previousDir_.empty()) fs::current_path(previousDir_);
        std::error_code ignored;
        if (!workDir_.empty()) fs::remove_all(workDir_, ignored);
    }

    void Link(int number, const fs::path& target) {
        fs::create_symlink(target, fs::path("dosdevices") / ("com" + std::to_string(number)));
    }

    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    void WriteFromOtherEnd(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // What reaches the other end within `timeout`, up to `count` bytes.
    std::vector<std::uint8_t> ReadAtOtherEnd(std::size_t count, std::chrono::milliseconds timeout) {
        std::vector<std::uint8_t> bytes;
        const auto deadline = Clock::now() + timeout;
        while (bytes.size() < count && Clock::now() < deadline) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0 || !(fd.revents & POLLIN)) continue;
            std::uint8_t buffer[256];
            const ssize_t got =
                ::read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (got <= 0) break;
            bytes.insert(bytes.end(), buffer, buffer + got);
        }
        return bytes;
    }

    // Polls the channel, without an event loop, until it reports `count` bytes or time runs out.
    static std::uint32_t WaitForPending(kvel::SystemSerialChannel& channel, std::uint32_t count) {
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        std::uint32_t pending = channel.PendingInputCount();
        while (pending < count && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            pending = channel.PendingInputCount();
        }
        return pending;
    }

    // The output speed the far side sees, read through the pty master.
    speed_t LineSpeed() {
        termios2 settings{};
        if (::ioctl(master_, TCGETS2, &settings) != 0) return 0;
        return settings.c_ospeed;
    }

    int master_ = -1;
    std::string slavePath_;
    fs::path workDir_;
    fs::path previousDir_;
};

TEST_F(SystemSerialChannelTest, OpensThePortNamedByTheDosdevicesLink) {
    kvel::SystemSerialChannel channel;
    EXPECT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    EXPECT_TRUE(channel.IsOpen());
    EXPECT_EQ(LineSpeed(), 9600u);
}

TEST_F(SystemSerialChannelTest, OpensAtRatesOutsideTheStandardSet) {
    for (std::int32_t rate : {14400, 56000}) {
        kvel::SystemSerialChannel channel;
        ASSERT_EQ(channel.OpenComPort(ComName(7), rate), kvel::kOpenOk) << rate;
        EXPECT_EQ(LineSpeed(), static_cast<speed_t>(rate));
        channel.CloseComPort();
    }
}

TEST_F(SystemSerialChannelTest, WriteReachesTheOtherEndBeforeAnyEventLoopRuns) {
    kvel::SystemSerialChannel channel;
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    const auto frame = Hex("01 03 00 00 00 1B 05 C1");
    EXPECT_EQ(channel.WriteComPort(frame.data(), static_cast<int>(frame.size())), kvel::kWriteDone);
    EXPECT_EQ(ReadAtOtherEnd(frame.size(), std::chrono::seconds(2)), frame);
}

TEST_F(SystemSerialChannelTest, CountsAndReadsIncomingBytesInOrderWithoutAnEventLoop) {
    kvel::SystemSerialChannel channel;
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    const auto reply = Hex("01 06 00 0F 00 03 F9 C8 00 FF 0A 0D");
    WriteFromOtherEnd(reply);

    ASSERT_EQ(WaitForPending(channel, static_cast<std::uint32_t>(reply.size())), reply.size());
    std::vector<std::uint8_t> read;
    for (std::size_t i = 0; i < reply.size(); ++i)
        read.push_back(channel.ReadComByte());
    EXPECT_EQ(read, reply);
    EXPECT_EQ(channel.PendingInputCount(), 0u);
}

TEST_F(SystemSerialChannelTest, SecondChannelCannotOpenAPortInUseUnderAnyName) {
    Link(8, slavePath_);
    kvel::SystemSerialChannel first;
    ASSERT_EQ(first.OpenComPort(ComName(7), 9600), kvel::kOpenOk);

    kvel::SystemSerialChannel second;
    EXPECT_EQ(second.OpenComPort(ComName(7), 9600), kvel::kOpenFailed);
    EXPECT_EQ(second.OpenComPort(ComName(8), 9600), kvel::kOpenFailed);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(first.IsOpen());

    first.CloseComPort();
    EXPECT_EQ(second.OpenComPort(ComName(8), 9600), kvel::kOpenOk);
}

TEST_F(SystemSerialChannelTest, RefusesLinksThatLeadToNoTerminal) {
    { std::ofstream("plain.txt") << "not a port"; }
    fs::create_directory("folder");
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    Link(9, workDir_ / "plain.txt");
    Link(10, workDir_ / "folder");
    Link(11, workDir_ / "missing");
    Link(12, workDir_ / "pipe");

    for (int number : {9, 10, 11, 12}) {
        kvel::SystemSerialChannel channel;
        EXPECT_EQ(channel.OpenComPort(ComName(number), 9600), kvel::kOpenFailed) << "COM" << number;
        EXPECT_FALSE(channel.IsOpen()) << "COM" << number;
    }
}

TEST_F(SystemSerialChannelTest, RefusesPortNumbersThatNameNoPort) {
    kvel::SystemSerialChannel channel;
    EXPECT_EQ(channel.OpenComPort(ComName(0), 9600), kvel::kOpenFailed);
    EXPECT_EQ(channel.OpenComPort(ComName(65535), 9600), kvel::kOpenFailed);
    EXPECT_FALSE(channel.IsOpen());
}

TEST_F(SystemSerialChannelTest, ClosingAClosedChannelIsHarmless) {
    kvel::SystemSerialChannel channel;
    channel.CloseComPort();
    channel.PurgeComPort();
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(channel.PendingInputCount(), 0u);
    const auto frame = Hex("01 03 00 00 00 1B 05 C1");
    EXPECT_EQ(channel.WriteComPort(frame.data(), static_cast<int>(frame.size())),
              kvel::kWritePending);
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    channel.CloseComPort();
    channel.CloseComPort();
    EXPECT_FALSE(channel.IsOpen());
}

// A pseudo-terminal takes any positive rate, so the rate 0 is what it refuses.
TEST_F(SystemSerialChannelTest, ARateThePortRefusesIsAnOpenFailureWithTheSystemsWords) {
    kvel::SystemSerialChannel channel;
    EXPECT_EQ(channel.OpenComPort(ComName(7), 0), kvel::kOpenFailed);
    EXPECT_FALSE(channel.IsOpen());
    const kvel::OpenFailure failure = channel.LastOpenFailure();
    EXPECT_EQ(failure.reason, kvel::OpenFailureReason::SettingsRefused);
    EXPECT_EQ(failure.device, slavePath_);
    EXPECT_EQ(kvel::OpenFailureText(failure),
              slavePath_ + ": порт не принял настройки: Invalid baud rate value");
    EXPECT_FALSE(channel.PortVanished()) << "nothing to bring back";
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk) << "the port was let go";
    EXPECT_EQ(LineSpeed(), 9600u);
}

TEST_F(SystemSerialChannelTest, ReopensAfterClose) {
    kvel::SystemSerialChannel channel;
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    channel.CloseComPort();
    ASSERT_EQ(channel.OpenComPort(ComName(7), 19200), kvel::kOpenOk);
    EXPECT_EQ(LineSpeed(), 19200u);
    const auto frame = Hex("01 04 00 00 00 15 31 C5");
    channel.WriteComPort(frame.data(), static_cast<int>(frame.size()));
    EXPECT_EQ(ReadAtOtherEnd(frame.size(), std::chrono::seconds(2)), frame);
}

TEST_F(SystemSerialChannelTest, OpeningAgainMovesToTheNewRate) {
    kvel::SystemSerialChannel channel;
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    ASSERT_EQ(channel.OpenComPort(ComName(7), 115200), kvel::kOpenOk);
    EXPECT_EQ(LineSpeed(), 115200u);
}

TEST_F(SystemSerialChannelTest, ClosesItselfWhenTheOtherEndVanishes) {
    kvel::SystemSerialChannel channel;
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    CloseMaster();

    const auto frame = Hex("01 03 00 00 00 1B 05 C1");
    const auto started = Clock::now();
    const std::uint32_t pending = channel.PendingInputCount();
    for (std::uint32_t i = 0; i < pending; ++i)
        channel.ReadComByte();
    channel.WriteComPort(frame.data(), static_cast<int>(frame.size()));
    channel.PendingInputCount();
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(1));

    for (int i = 0; i < 10 && channel.IsOpen(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        channel.PendingInputCount();
    }
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(channel.PendingInputCount(), 0u);
    EXPECT_EQ(channel.WriteComPort(frame.data(), static_cast<int>(frame.size())),
              kvel::kWritePending);
}

TEST_F(SystemSerialChannelTest, PortReopenedAfterAnErrorStaysOpen) {
    kvel::SystemSerialChannel channel;
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    CloseMaster();
    channel.PendingInputCount(); // sees the failure and schedules the close
    ReplugAs(7);
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(channel.IsOpen());
}

TEST_F(SystemSerialChannelTest, SaysWhichDeviceIsMissing) {
    Link(11, workDir_ / "missing");
    kvel::SystemSerialChannel channel;
    ASSERT_EQ(channel.OpenComPort(ComName(11), 9600), kvel::kOpenFailed);
    EXPECT_EQ(channel.LastOpenFailure().reason, kvel::OpenFailureReason::NoSuchDevice);
    EXPECT_EQ(channel.LastOpenFailure().device, (workDir_ / "missing").string());

    ASSERT_EQ(channel.OpenComPort(ComName(0), 9600), kvel::kOpenFailed);
    EXPECT_EQ(channel.LastOpenFailure().reason, kvel::OpenFailureReason::NoSuchDevice);
    EXPECT_EQ(channel.LastOpenFailure().device, "COM0");

    ASSERT_EQ(channel.OpenComPort(ComName(65535), 9600), kvel::kOpenFailed);
    EXPECT_EQ(channel.LastOpenFailure().reason, kvel::OpenFailureReason::NoSuchDevice);
    EXPECT_EQ(channel.LastOpenFailure().device, "/dev/ttyS65534");
}

TEST_F(SystemSerialChannelTest, SaysWhenTheLinkLeadsToSomethingElseThanAPort) {
    { std::ofstream("plain.txt") << "not a port"; }
    fs::create_directory("folder");
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    Link(9, workDir_ / "plain.txt");
    Link(10, workDir_ / "folder");
    Link(12, workDir_ / "pipe");
    Link(13, "/dev/null");
    const std::map<int, fs::path> devices{{9, workDir_ / "plain.txt"},
                                          {10, workDir_ / "folder"},
                                          {12, workDir_ / "pipe"},
                                          {13, "/dev/null"}};
    for (const auto& [number, device] : devices) {
        kvel::SystemSerialChannel channel;
        ASSERT_EQ(channel.OpenComPort(ComName(number), 9600), kvel::kOpenFailed) << "COM" << number;
        EXPECT_EQ(channel.LastOpenFailure().reason, kvel::OpenFailureReason::NotSerialPort)
            << "COM" << number;
        EXPECT_EQ(channel.LastOpenFailure().device, device.string());
    }
}

TEST_F(SystemSerialChannelTest, SaysThePortIsBusyAndWhoHoldsIt) {
    Link(8, slavePath_);
    kvel::SystemSerialChannel first;
    ASSERT_EQ(first.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    kvel::SystemSerialChannel second;
    for (int number : {7, 8}) {
        ASSERT_EQ(second.OpenComPort(ComName(number), 9600), kvel::kOpenFailed);
        const kvel::OpenFailure failure = second.LastOpenFailure();
        EXPECT_EQ(failure.reason, kvel::OpenFailureReason::Busy) << "COM" << number;
        EXPECT_EQ(failure.device, slavePath_);
        EXPECT_NE(failure.holder.find("(pid " + std::to_string(::getpid()) + ")"),
                  std::string::npos)
            << failure.holder;
    }
    // A good open forgets the failure.
    first.CloseComPort();
    ASSERT_EQ(second.OpenComPort(ComName(8), 9600), kvel::kOpenOk);
    EXPECT_EQ(second.LastOpenFailure().reason, kvel::OpenFailureReason::None);
}

TEST_F(SystemSerialChannelTest, VanishedUntilTheProgramClosesOrReopensIt) {
    kvel::SystemSerialChannel channel;
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    EXPECT_FALSE(channel.PortVanished());
    CloseMaster();
    for (int i = 0; i < 10 && channel.IsOpen(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        channel.PendingInputCount();
    }
    ASSERT_FALSE(channel.IsOpen());
    EXPECT_TRUE(channel.PortVanished());

    fs::remove("dosdevices/com7");
    EXPECT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenFailed);
    EXPECT_TRUE(channel.PortVanished()) << "a failed retry keeps it vanished";
    ReplugAs(7);
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    EXPECT_FALSE(channel.PortVanished());
}

// With its link gone, COM7 would lead to /dev/ttyS6; the reopen waits for the link instead.
TEST_F(SystemSerialChannelTest, ReopensTheVanishedLinkAndNothingElse) {
    kvel::SystemSerialChannel channel;
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    CloseMaster();
    for (int i = 0; i < 10 && channel.IsOpen(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        channel.PendingInputCount();
    }
    ASSERT_TRUE(channel.PortVanished());

    fs::remove("dosdevices/com7");
    EXPECT_EQ(channel.ReopenVanishedPort(19200), kvel::kOpenFailed);
    EXPECT_EQ(channel.LastOpenFailure().reason, kvel::OpenFailureReason::NoSuchDevice);
    EXPECT_EQ(channel.LastOpenFailure().device, (workDir_ / "dosdevices/com7").string());
    EXPECT_TRUE(channel.PortVanished());

    ReplugAs(7);
    ASSERT_EQ(channel.ReopenVanishedPort(19200), kvel::kOpenOk);
    EXPECT_FALSE(channel.PortVanished());
    EXPECT_EQ(LineSpeed(), 19200u);
    const auto frame = Hex("01 03 00 00 00 1B 05 C1");
    channel.WriteComPort(frame.data(), static_cast<int>(frame.size()));
    EXPECT_EQ(ReadAtOtherEnd(frame.size(), std::chrono::seconds(1)), frame) << "the new terminal";
}

TEST_F(SystemSerialChannelTest, APortTheProgramClosedHasNotVanished) {
    kvel::SystemSerialChannel channel;
    ASSERT_EQ(channel.OpenComPort(ComName(7), 9600), kvel::kOpenOk);
    channel.CloseComPort();
    CloseMaster();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(channel.PortVanished());
}

} // namespace
} // namespace kvel::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Qt wants a private runtime directory; containers often have none.
    std::string runtimeDir;
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
        char pattern[] = "/tmp/kvel-runtime-XXXXXX";
        if (::mkdtemp(pattern) != nullptr) {
            runtimeDir = pattern;
            ::chmod(pattern, 0700);
            ::setenv("XDG_RUNTIME_DIR", pattern, 1);
        }
    }
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    if (!runtimeDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(runtimeDir, ignored);
    }
    return result;
}
