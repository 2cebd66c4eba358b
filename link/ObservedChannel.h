// A serial channel that tells a link observer what passes through it, for whatever drives the
// port besides the window link's scheduler and receiver (the unit finder): the monitor then
// shows every byte on the line, whoever sent it.
#pragma once

#include "LinkObserver.h"
#include "SerialChannel.h"

#include <functional>

namespace kvel {

class ObservedChannel : public SerialChannel {
public:
    // `listening` says whom the bytes read are taken to come from; a null `observer` watches
    // nothing and the channel only passes through.
    ObservedChannel(SerialChannel& inner, LinkObserver* observer,
                    std::function<ReceiverContext()> listening)
        : inner_(inner), observer_(observer), listening_(std::move(listening)) {}

    int OpenComPort(const std::string& name, std::int32_t bitRate) override {
        return inner_.OpenComPort(name, bitRate);
    }
    void CloseComPort() override { inner_.CloseComPort(); }
    void PurgeComPort() override { inner_.PurgeComPort(); }
    bool IsOpen() const override { return inner_.IsOpen(); }
    bool Connecting() const override { return inner_.Connecting(); }
    bool WaitUntilConnected(int ms) override { return inner_.WaitUntilConnected(ms); }
    bool SetBitRate(std::int32_t bitRate) override { return inner_.SetBitRate(bitRate); }
    int WriteComPort(const std::uint8_t* bytes, int length) override;
    std::uint32_t PendingInputCount() override { return inner_.PendingInputCount(); }
    std::uint8_t ReadComByte() override;
    bool WaitForInput(int ms) override { return inner_.WaitForInput(ms); }
    OpenFailure LastOpenFailure() const override { return inner_.LastOpenFailure(); }
    bool PortVanished() const override { return inner_.PortVanished(); }
    int ReopenVanishedPort(std::int32_t bitRate) override {
        return inner_.ReopenVanishedPort(bitRate);
    }
    void SetObserver(LinkObserver* observer) override { inner_.SetObserver(observer); }

private:
    SerialChannel& inner_;
    LinkObserver* observer_;
    std::function<ReceiverContext()> listening_;
};

} // namespace kvel
