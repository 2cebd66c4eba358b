// The program-wide state of the Modbus link, in one place; a fresh instance is all zeros.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kvel {

constexpr int kQueueSlots = 50;
constexpr int kImageWords = 100;
constexpr int kReceiveWindowSize = 256;

// The last 256 bytes received, never cleared. Every byte is stored twice, 256 apart, so the
// newest L bytes always lie side by side and the CRC can run over them in place.
class ReceiveWindow {
public:
    void Push(std::uint8_t byte) {
        bytes_[head_] = byte;
        bytes_[head_ + kReceiveWindowSize] = byte;
        head_ = static_cast<std::uint8_t>(head_ + 1);
    }
    // The newest `length` bytes, oldest first; `length` must be 1..256.
    const std::uint8_t* Newest(std::uint16_t length) const {
        return bytes_.data() + head_ + kReceiveWindowSize - length;
    }

private:
    std::array<std::uint8_t, 2 * kReceiveWindowSize> bytes_{};
    std::uint8_t head_ = 0;
};

struct ModbusRequest {
    std::uint8_t function = 0;
    std::uint16_t reg = 0;
    std::uint16_t countOrValue = 0;
};

// The file the window program keeps them in, in its working folder; a service report takes it.
constexpr const char* kDataInfName = "data.inf";

// The three words of data.inf.
struct ConnectionSettings {
    std::uint16_t addressWord = 0;
    std::uint16_t baudIndexWord = 0;
    std::uint16_t comPortWord = 0;

    // The rate index is the low byte of its word.
    std::uint8_t BaudIndex() const { return static_cast<std::uint8_t>(baudIndexWord & 0xFF); }
};

using RegisterImage = std::array<std::uint16_t, kImageWords>;

struct LinkState {
    // Slots 1..50; slot 0 is never used.
    std::array<ModbusRequest, kQueueSlots + 1> RequestQueue{};
    std::uint8_t QueueCount = 0;
    std::uint8_t SendIndex = 0;
    bool ReplyAwaited = false;
    std::uint8_t LinkTimeoutTicks = 0;
    bool PollPhase = false;

    std::uint16_t ExpectedReplyLength = 0;
    std::uint16_t LastRequestRegister = 0;
    kvel::ReceiveWindow ReceiveWindow;

    RegisterImage HoldingImage{};
    RegisterImage InputImage{};
    std::uint16_t ReadReplyWord = 0;
    std::uint16_t WriteReplyWord = 0;

    ConnectionSettings Settings{};
    // The network line in use instead of the COM port of Settings, as a network port name;
    // empty while the COM port is in use.
    std::string NetworkPort;
    std::uint8_t DeviceAddress = 0;

    bool SettingsWindowOpen = false;
    bool CalibrationWindowOpen = false;
};

} // namespace kvel
