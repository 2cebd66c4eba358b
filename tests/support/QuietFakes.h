// Stand-ins that do nothing, for benchmarks and fuzzers that measure or check the link alone:
// a line with nothing on it, and a main window that only counts its refreshes.
#pragma once

#include "LinkHost.h"
#include "SerialChannel.h"

#include <cstdint>
#include <string>

namespace kvel::test {

// Opens at any rate, takes every write, never answers.
class QuietChannel : public kvel::SerialChannel {
public:
    int OpenComPort(const std::string&, std::int32_t) override {
        ++opens;
        open = true;
        return kvel::kOpenOk;
    }
    void CloseComPort() override { open = false; }
    void PurgeComPort() override {}
    bool IsOpen() const override { return open; }
    int WriteComPort(const std::uint8_t*, int) override { return kvel::kWriteDone; }
    std::uint32_t PendingInputCount() override { return 0; }
    std::uint8_t ReadComByte() override { return 0; }

    int opens = 0;
    bool open = false;
};

class QuietHost : public kvel::LinkHost {
public:
    void ShowLinkStatus(kvel::LinkStatus) override {}
    void ShowDeviceAddress(std::uint8_t, kvel::AddressNews) override {}
    void SetLinkTimerIntervals(int, int, int) override {}
    void SetTimer5Interval(int) override {}
    void Pause(int) override {}
    void ReopenAtNewRateFailed(const kvel::OpenFailure&) override {}
    void HoldingRegistersStored() override { ++holdingRefreshes; }
    void InputRegistersStored() override { ++inputRefreshes; }
    void SettingsSessionEnded() override {}
    void CalibrationSessionEnded() override {}
    void BlankReadings() override {}

    std::int64_t holdingRefreshes = 0;
    std::int64_t inputRefreshes = 0;
};

} // namespace kvel::test
