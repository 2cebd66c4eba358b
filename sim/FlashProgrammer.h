// The controller's programming mode as the simulated unit plays it: ready after a while, block
// frames checked and kept in order, the closing frame ending it.
#pragma once

#include "FirmwareFrames.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kvel::sim {

struct ProgrammingSettings {
    int readyDelayMs = 1500;
    bool neverReady = false;
};

class FlashProgrammer {
public:
    enum class Outcome { Stored, Closed, Refused };

    explicit FlashProgrammer(const ProgrammingSettings& settings) : settings_(settings) {}

    // The programming-mode command: the flash is erased and the unit gets ready in its time.
    void Enter();
    bool Active() const { return active_; }
    // 1 once ready for blocks, 0 before and outside programming mode.
    std::uint16_t Status() const;
    void Tick(double seconds);

    // `frame` is a whole block or closing frame with a good CRC; `why` says what was refused.
    Outcome Take(const std::vector<std::uint8_t>& frame, std::string& why);
    // What the last closing frame left in flash.
    const std::vector<std::uint8_t>& Image() const { return image_; }
    ProgrammingSettings& Settings() { return settings_; }

private:
    bool Ready() const;
    Outcome Store(std::size_t block, const BlockFrame& frame, std::string& why);

    ProgrammingSettings settings_;
    bool active_ = false;
    double secondsActive_ = 0;
    std::vector<std::uint8_t> flash_;
    std::size_t blocksStored_ = 0;
    std::vector<std::uint8_t> image_;
};

} // namespace kvel::sim
