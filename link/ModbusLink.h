// Request queue, poll schedule, transmit scheduler and receiver: the whole link, driven by the
// main window's timers.
#pragma once

#include "LinkHost.h"
#include "LinkObserver.h"
#include "LinkState.h"
#include "SerialChannel.h"

namespace kvel {

constexpr int kPollIntervalMs = 500;
constexpr int kSendIntervalMs = 100;
constexpr int kReceiveIntervalMs = 100;
constexpr int kIndicationMs = 800;
constexpr int kBaudSwitchPauseMs = 500;
constexpr std::uint8_t kLinkTimeoutTicks = 50;
constexpr std::uint16_t kMaxReadCount = 125;

// Registers whose writes change the program's own link settings.
constexpr std::uint16_t kAddressRegister = 14;
constexpr std::uint16_t kBaudRegister = 15;

// Every unit on the line takes a write sent here and none answers it; a unit given this address
// can no longer be reached.
constexpr std::uint8_t kBroadcastAddress = 0;
constexpr bool IsBroadcast(std::uint8_t deviceAddress) {
    return deviceAddress == kBroadcastAddress;
}

enum class Enqueued { Queued, Dropped, RefusedAsBroadcast };

constexpr std::uint16_t kPolledInputCount = 21;
constexpr std::uint16_t kPolledHoldingCount = 27;

class ModbusLink {
public:
    ModbusLink(LinkState& state, SerialChannel& channel, LinkHost& host)
        : state_(state), channel_(channel), host_(host) {}

    LinkState& State() { return state_; }
    SerialChannel& Channel() { return channel_; }
    // One observer or none; fan out elsewhere when more must watch.
    void SetObserver(LinkObserver* observer) {
        observer_ = observer;
        channel_.SetObserver(observer);
    }

    // Drops the request when the queue is full or a read asks for more than 125, and refuses a
    // write while the device address is the broadcast one. Whoever asked decides whether the
    // operator hears of a refusal: a write the program queues on its own goes without a word.
    Enqueued EnqueueRequest(std::uint8_t function, std::uint16_t reg, std::uint16_t countOrValue);

    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    void Timer5Timer();

    void ReadComBuff(std::uint8_t byte);
    void priem_end();
    void netu_svyasi();
    // The unit is gone (silent too long, or its port vanished): observers hear of it, then
    // netu_svyasi shows it. An address change runs netu_svyasi alone; nothing was lost.
    void DeclareLinkLost();
    // DeviceAddress to the low byte of `value`, then the readings blank until it answers.
    void SwitchDeviceAddress(std::uint16_t value);

    // The reply awaited can no longer come (its port was closed under it): the scheduler sends
    // again at once instead of waiting out the link time-out.
    void ForgetAwaitedReply();

    // Opens the network line in use, else "\\.\COM<port word>", at the rate of the baud index
    // word; 0 or 100.
    int OpenStoredPort();
    // Moves the open line to the stored rate without closing it, where its channel can (an
    // RFC 2217 server); false when the caller must close and open it again.
    bool MoveLineToStoredRate();
    std::string StoredPortName() const;
    // Opens again, at the stored rate, the very device whose port vanished; 0 or 100.
    int ReopenVanishedPort();
    // After an open that failed, nothing may look live: polling stops and the readings go as on
    // a link loss. Whoever opened then tells the operator why.
    void PortNotOpened();
    void StartLinkTimers() {
        host_.SetLinkTimerIntervals(kPollIntervalMs, kSendIntervalMs, kReceiveIntervalMs);
    }
    void StopLinkTimers() { host_.SetLinkTimerIntervals(0, 0, 0); }

private:
    std::int32_t StoredBitRate() const;
    int ReportOpen(int result);
    void SendNextRequest();
    void SwitchBaudRate();
    void StoreRegisters(RegisterImage& image, const std::uint8_t* frame);

    LinkState& state_;
    SerialChannel& channel_;
    LinkHost& host_;
    LinkObserver* observer_ = nullptr;
};

} // namespace kvel
