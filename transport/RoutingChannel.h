// The channel the programs talk through: a serial port or a network line, whichever the name
// given to OpenComPort asks for.
#pragma once

#include "NetworkChannel.h"
#include "SystemSerialChannel.h"

namespace kvel {

class RoutingChannel : public SerialChannel {
public:
    // A network port name opens the network line, any other the serial port; the one not
    // asked for is closed first.
    int OpenComPort(const std::string& name, std::int32_t bitRate) override;
    void CloseComPort() override { current_->CloseComPort(); }
    void PurgeComPort() override { current_->PurgeComPort(); }
    bool IsOpen() const override { return current_->IsOpen(); }
    bool Connecting() const override { return current_->Connecting(); }
    bool WaitUntilConnected(int ms) override { return current_->WaitUntilConnected(ms); }
    bool SetBitRate(std::int32_t bitRate) override { return current_->SetBitRate(bitRate); }
    int WriteComPort(const std::uint8_t* bytes, int length) override {
        return current_->WriteComPort(bytes, length);
    }
    std::uint32_t PendingInputCount() override { return current_->PendingInputCount(); }
    std::uint8_t ReadComByte() override { return current_->ReadComByte(); }
    bool WaitForInput(int ms) override { return current_->WaitForInput(ms); }
    OpenFailure LastOpenFailure() const override { return current_->LastOpenFailure(); }
    bool PortVanished() const override { return current_->PortVanished(); }
    int ReopenVanishedPort(std::int32_t bitRate) override {
        return current_->ReopenVanishedPort(bitRate);
    }
    void SetObserver(LinkObserver* observer) override { network_.SetObserver(observer); }
    bool SetReadinessHandler(std::function<void(ChannelEvent)> handler) override {
        const bool serialTells = serial_.SetReadinessHandler(handler);
        return network_.SetReadinessHandler(std::move(handler)) && serialTells;
    }

private:
    SystemSerialChannel serial_;
    NetworkChannel network_;
    SerialChannel* current_ = &serial_;
};

} // namespace kvel
