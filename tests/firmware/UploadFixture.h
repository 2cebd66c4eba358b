// A firmware upload wired to the real receiver, a fake port and a recording window, with
// firmware files made on the spot.
#pragma once

#include "Crc16.h"
#include "FakeLinkHost.h"
#include "FakeSerialChannel.h"
#include "FirmwareTransfer.h"
#include "Hex.h"
#include "ModbusLink.h"
#include "RecordingObserver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace kvel::test {

class RecordingView : public UploadView {
public:
    void ShowStatus(const std::string& utf8Text) override { statuses.push_back(utf8Text); }
    void OfferClose() override { ++closeOffers; }
    void StopTicks() override { ++tickStops; }
    // Nothing happens on the line in the pause unless the test holds it and acts meanwhile.
    void StartClosingPause(int ms) override {
        closingPauseMs = ms;
        if (!holdClosingPause) endClosingPause();
    }

    std::string Status() const { return statuses.empty() ? std::string() : statuses.back(); }

    std::vector<std::string> statuses;
    int closeOffers = 0;
    int tickStops = 0;
    int closingPauseMs = 0;
    bool holdClosingPause = false;
    std::function<void()> endClosingPause;
};

// Bytes that differ from block to block, so a block sent from the wrong offset shows.
inline std::vector<std::uint8_t> Firmware(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 2048);
    return bytes;
}

inline std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::size_t from,
                                       std::size_t count) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
            bytes.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

class UploadFixture : public ::testing::Test {
protected:
    UploadFixture() {
        link.DeviceAddress = 1;
        link.Settings.baudIndexWord = 9; // 115200 bit/s
        std::filesystem::create_directories(dir);
        view.endClosingPause = [this] { upload.ClosingPauseEnded(); };
        if (!ObserveLink()) return;
        receiver.SetObserver(&observer);
        transfer.observer = &observer;
    }
    ~UploadFixture() override {
        if (ObserveLink()) {
            EXPECT_EQ(observer.writes, channel.writes) << "the tap missed a write";
        }
        std::error_code ignored;
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(dir, ignored);
    }

    std::filesystem::path WriteFile(const std::string& name,
                                    const std::vector<std::uint8_t>& bytes) {
        const std::filesystem::path path = dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    FileVerdict Choose(const std::vector<std::uint8_t>& bytes) {
        return upload.ChooseFile(WriteFile("firmware.bin", bytes));
    }

    // The unit's answers arrive through the real receiver, as they would from the line.
    void Answer(const std::vector<std::uint8_t>& frame) {
        channel.Feed(frame);
        receiver.Timer3Timer();
    }
    void AnswerReady() { Answer(WithCrc("01 03 02 00 01")); }
    // The 7-byte acknowledgement of the frame last written: its CRC, high byte first.
    void AcknowledgeLastFrame() {
        const std::vector<std::uint8_t>& frame = channel.writes.back();
        Answer(WithCrc({0x01, 0x06, 0x00, frame[frame.size() - 1], frame[frame.size() - 2]}));
    }
    const std::vector<std::uint8_t>& LastWrite() const { return channel.writes.back(); }

    // Start, then the ticks up to and including the one that sends block 0.
    void StartAndSendFirstBlock() {
        upload.Start();
        upload.Timer1Timer();
        AnswerReady();
        upload.Timer1Timer();
    }
    // Every block acknowledged on the tick after it went out, until the closing frame.
    void RunToTheEnd() {
        StartAndSendFirstBlock();
        for (int guard = 0; guard < 70000 && transfer.fileOpen; ++guard) {
            AcknowledgeLastFrame();
            upload.Timer1Timer();
        }
    }

    const std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) /
        // The observed run of the same test may run beside this one.
        ((ObserveLink() ? "kvel-firmware-observed-" : "kvel-firmware-") +
         std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    RecordingObserver observer;
    LinkState link;
    FakeSerialChannel channel;
    FakeLinkHost host;
    ModbusLink receiver{link, channel, host};
    RecordingView view;
    FirmwareTransfer transfer;
    FirmwareUpload upload{transfer, link, channel, view};
};

} // namespace kvel::test
