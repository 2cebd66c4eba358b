// A serial channel that records what the link asks of it and replays bytes the test queues.
#include "FakeSerialChannel.h"

#include "Hex.h"

namespace kvel::test {

int FakeSerialChannel::OpenComPort(const std::string& name, std::int32_t bitRate) {
    opens.push_back({name, bitRate});
    if (log_) log_->Add("Open " + name + " " + std::to_string(bitRate));
    isOpen = openResult == kvel::kOpenOk;
    if (isOpen) vanished = false;
    return openResult;
}

int FakeSerialChannel::ReopenVanishedPort(std::int32_t bitRate) {
    return OpenComPort(kReopened, bitRate);
}

void FakeSerialChannel::CloseComPort() {
    ++closes;
    vanished = false;
    if (log_) log_->Add("Close");
    isOpen = false;
}

void FakeSerialChannel::PurgeComPort() {
    ++purges;
    if (log_) log_->Add("Purge");
}

int FakeSerialChannel::WriteComPort(const std::uint8_t* bytes, int length) {
    if (writeResult == kvel::kWriteNotSent) {
        ++unsent;
        return writeResult;
    }
    writes.emplace_back(bytes, bytes + length);
    if (log_) log_->Add("Write " + ToHex(writes.back()));
    return writeResult;
}

std::uint32_t FakeSerialChannel::PendingInputCount() {
    return static_cast<std::uint32_t>(input.size());
}

std::uint8_t FakeSerialChannel::ReadComByte() {
    if (input.empty()) {
        ++readsPastInput;
        return 0;
    }
    const std::uint8_t byte = input.front();
    input.pop_front();
    return byte;
}

void FakeSerialChannel::Feed(const std::vector<std::uint8_t>& bytes) {
    input.insert(input.end(), bytes.begin(), bytes.end());
    Tell(kvel::ChannelEvent::BytesArrived);
}

void FakeSerialChannel::Lose() {
    isOpen = false;
    vanished = true;
    input.clear();
    Tell(kvel::ChannelEvent::ConnectionLost);
}

bool FakeSerialChannel::SetReadinessHandler(std::function<void(kvel::ChannelEvent)> handler) {
    if (!tellsReadiness) return false;
    readiness_ = std::move(handler);
    return true;
}

void FakeSerialChannel::Tell(kvel::ChannelEvent event) const {
    if (readiness_) readiness_(event);
}

} // namespace kvel::test
