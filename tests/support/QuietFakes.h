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
    void SetStatusPanel(int, const std::string&) override {}
    void SetLinkTimerIntervals(int, int, int) override {}
    void SetTimer5Interval(int) override {}
    void ShowMessage(const std::string&) override {}
    void Pause(int) override {}
    void filling_out3() override { ++holdingRefreshes; }
    void filling_out4() override { ++inputRefreshes; }
    void CloseSettingsWindow() override {}
    void CloseCalibrationWindow() override {}
    void BlankReadings() override {}

    std::int64_t holdingRefreshes = 0;
    std::int64_t inputRefreshes = 0;
};

} // namespace kvel::test
