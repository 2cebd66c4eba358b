// A serial channel that records what the link asks of it and replays bytes the test queues.
#pragma once

#include "EventLog.h"
#include "SerialChannel.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace kvel::test {

class FakeSerialChannel : public kvel::SerialChannel {
public:
    struct OpenCall {
        std::string name;
        std::int32_t bitRate;
    };

    explicit FakeSerialChannel(EventLog* log = nullptr) : log_(log) {}

    int OpenComPort(const std::string& name, std::int32_t bitRate) override;
    void CloseComPort() override;
    void PurgeComPort() override;
    bool IsOpen() const override { return isOpen; }
    bool Connecting() const override { return isOpen && connecting; }
    int WriteComPort(const std::uint8_t* bytes, int length) override;
    std::uint32_t PendingInputCount() override;
    std::uint8_t ReadComByte() override;
    kvel::OpenFailure LastOpenFailure() const override { return openFailure; }
    bool PortVanished() const override { return vanished; }
    int ReopenVanishedPort(std::int32_t bitRate) override;
    bool SetReadinessHandler(std::function<void(kvel::ChannelEvent)> handler) override;

    // Bytes the "unit" sends; they become pending input at once.
    void Feed(const std::vector<std::uint8_t>& bytes);
    // The device or connection gone, as the system's channels close themselves when it goes.
    void Lose();

    // What OpenComPort and WriteComPort return.
    int openResult = kvel::kOpenOk;
    int writeResult = kvel::kWriteDone;
    // What LastOpenFailure reports.
    kvel::OpenFailure openFailure;
    // Set by a test as the device going away; cleared as the system channel clears it.
    bool vanished = false;

    bool isOpen = false;
    // An open port whose connection is still coming up, as a network line's.
    bool connecting = false;
    // Tells when bytes arrive and when the line is lost, as the system's channels do; a line
    // that cannot tell is the default.
    bool tellsReadiness = false;
    // ReopenVanishedPort calls too, under kReopened: the device of the last good open, whatever
    // its name would lead to now.
    std::vector<OpenCall> opens;
    static constexpr const char* kReopened = "(the vanished device)";
    int closes = 0;
    int purges = 0;
    // What went to the line; writes refused with kWriteNotSent are only counted.
    std::vector<std::vector<std::uint8_t>> writes;
    int unsent = 0;
    std::deque<std::uint8_t> input;
    // ReadComByte calls with nothing pending: the link broke the channel's contract.
    int readsPastInput = 0;

private:
    void Tell(kvel::ChannelEvent event) const;

    EventLog* log_;
    std::function<void(kvel::ChannelEvent)> readiness_;
};

} // namespace kvel::test
