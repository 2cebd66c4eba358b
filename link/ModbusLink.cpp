// Request queue, poll schedule, transmit scheduler and receiver.
#include "ModbusLink.h"

#include "ModbusFrame.h"

namespace kvel {

Enqueued ModbusLink::EnqueueRequest(std::uint8_t function, std::uint16_t reg,
                                    std::uint16_t countOrValue) {
    if (function == kWriteSingle && IsBroadcast(state_.DeviceAddress))
        return Enqueued::RefusedAsBroadcast;
    if (state_.QueueCount >= kQueueSlots) return Enqueued::Dropped;
    if (function != kWriteSingle && countOrValue > kMaxReadCount) return Enqueued::Dropped;
    ++state_.QueueCount;
    state_.RequestQueue[state_.QueueCount] = ModbusRequest{function, reg, countOrValue};
    return Enqueued::Queued;
}

void ModbusLink::Timer1Timer() {
    if (state_.ReplyAwaited) return;
    if (!state_.PollPhase) {
        EnqueueRequest(kReadInput, 0, kPolledInputCount);
        state_.PollPhase = true;
    } else {
        EnqueueRequest(kReadHolding, 0, kPolledHoldingCount);
        state_.PollPhase = false;
    }
}

void ModbusLink::Timer2Timer() {
    if (state_.ReplyAwaited) {
        if (++state_.LinkTimeoutTicks >= kLinkTimeoutTicks) {
            state_.LinkTimeoutTicks = 0;
            state_.ReplyAwaited = false;
            DeclareLinkLost();
        }
    } else {
        state_.LinkTimeoutTicks = 0;
        if (state_.QueueCount != 0) SendNextRequest();
    }
    host_.ShowDeviceAddress(state_.DeviceAddress, AddressNews::Polled);
}

void ModbusLink::SendNextRequest() {
    ++state_.SendIndex;
    // SendIndex never passes QueueCount, which is at most 50.
    const ModbusRequest request = state_.RequestQueue[state_.SendIndex];
    const RequestFrame frame = BuildRequestFrame(state_.DeviceAddress, request.function,
                                                 request.reg, request.countOrValue);
    state_.ExpectedReplyLength = ReplyLengthFor(request.function, request.countOrValue);
    state_.LastRequestRegister = request.reg;
    // The reply is awaited all the same: the link's pace does not depend on the write.
    const bool sent =
        channel_.WriteComPort(frame.data(), static_cast<int>(frame.size())) != kWriteNotSent;
    if (observer_ && sent) observer_->BytesWritten(LinkClock::now(), frame.data(), frame.size());

    if (request.function == kWriteSingle && request.reg == kBaudRegister) SwitchBaudRate();
    if (request.function == kWriteSingle && request.reg == kAddressRegister)
        SwitchDeviceAddress(request.countOrValue);

    if (state_.SendIndex >= state_.QueueCount) {
        state_.QueueCount = 0;
        state_.SendIndex = 0;
    }
    state_.ReplyAwaited = true;
}

std::int32_t ModbusLink::StoredBitRate() const {
    return BaudRateFromIndex(state_.Settings.BaudIndex());
}

int ModbusLink::OpenStoredPort() {
    return ReportOpen(channel_.OpenComPort(StoredPortName(), StoredBitRate()));
}

bool ModbusLink::MoveLineToStoredRate() {
    return MoveOpenLineTo(channel_, StoredBitRate());
}

int ModbusLink::ReopenVanishedPort() {
    return ReportOpen(channel_.ReopenVanishedPort(StoredBitRate()));
}

// A connection still coming up is neither: the channel tells how it ended.
int ModbusLink::ReportOpen(int result) {
    if (result == kOpenOk && channel_.Connecting()) return result;
    if (observer_) observer_->PortOpened(LinkClock::now(), result == kOpenOk);
    return result;
}

std::string ModbusLink::StoredPortName() const {
    if (!state_.NetworkPort.empty()) return state_.NetworkPort;
    return ComPortName(state_.Settings.comPortWord);
}

// The unit switches its rate after answering at the old one; we follow once the write is out.
void ModbusLink::SwitchBaudRate() {
    host_.Pause(kBaudSwitchPauseMs);
    if (MoveLineToStoredRate()) return StartLinkTimers();
    channel_.CloseComPort();
    if (OpenStoredPort() != kOpenFailed) return StartLinkTimers();
    PortNotOpened();
    host_.ReopenAtNewRateFailed(channel_.LastOpenFailure());
}

// The receive indication ends first, or its timer would blank "Нет связи" a moment later.
void ModbusLink::PortNotOpened() {
    StopLinkTimers();
    Timer5Timer();
    netu_svyasi();
}

void ModbusLink::ForgetAwaitedReply() {
    state_.ReplyAwaited = false;
    state_.LinkTimeoutTicks = 0;
}

void ModbusLink::SwitchDeviceAddress(std::uint16_t value) {
    state_.DeviceAddress = static_cast<std::uint8_t>(value & 0xFF);
    host_.ShowDeviceAddress(state_.DeviceAddress, AddressNews::Switched);
    netu_svyasi();
    host_.ShowLinkStatus(LinkStatus::Idle);
}

void ModbusLink::DeclareLinkLost() {
    if (observer_) observer_->LinkLost(LinkClock::now(), channel_.IsOpen());
    netu_svyasi();
}

void ModbusLink::netu_svyasi() {
    host_.ShowLinkStatus(LinkStatus::Lost);
    if (state_.SettingsWindowOpen) host_.SettingsSessionEnded();
    if (state_.CalibrationWindowOpen) host_.CalibrationSessionEnded();
    host_.BlankReadings();
    state_.HoldingImage.fill(0);
    state_.InputImage.fill(0);
    if (observer_) observer_->ImagesZeroed(LinkClock::now());
}

void ModbusLink::Timer3Timer() {
    const std::uint32_t pending = channel_.PendingInputCount();
    for (std::uint32_t i = 0; i < pending; ++i)
        ReadComBuff(channel_.ReadComByte());
}

void ModbusLink::StoreRegisters(RegisterImage& image, const std::uint8_t* frame) {
    const int count = frame[2] / 2;
    for (int i = 0; i < count; ++i) {
        const int index = state_.LastRequestRegister + i;
        // Only the queue's own requests are answered here, but a stray reply must not reach
        // past the image whatever register it claims to start at.
        if (index >= kImageWords) break;
        image[index] = WordAt(frame + 3 + 2 * i);
    }
}

void ModbusLink::ReadComBuff(std::uint8_t byte) {
    if (observer_)
        observer_->ByteRead(LinkClock::now(), byte,
                            ReceiverContext{state_.DeviceAddress, state_.ExpectedReplyLength});
    state_.ReceiveWindow.Push(byte);
    const std::uint16_t length = state_.ExpectedReplyLength;
    if (length < 5 || length > kReceiveWindowSize) return;
    const std::uint8_t* frame = state_.ReceiveWindow.Newest(length);

    const ReplyKind kind = ClassifyReply(frame, length, state_.DeviceAddress);
    switch (kind) {
    case ReplyKind::Holding:
        StoreRegisters(state_.HoldingImage, frame);
        host_.HoldingRegistersStored();
        state_.ReadReplyWord = WordAt(frame + 3);
        priem_end();
        break;
    case ReplyKind::Input:
        StoreRegisters(state_.InputImage, frame);
        host_.InputRegistersStored();
        priem_end();
        break;
    case ReplyKind::Write:
        state_.WriteReplyWord = WordAt(frame + 3);
        priem_end();
        break;
    case ReplyKind::Rejected:
        return;
    }
    if (observer_) observer_->ReplyAccepted(LinkClock::now(), kind);
}

void ModbusLink::priem_end() {
    host_.ShowLinkStatus(LinkStatus::Receiving);
    host_.SetTimer5Interval(kIndicationMs);
    state_.ReplyAwaited = false;
}

void ModbusLink::Timer5Timer() {
    host_.ShowLinkStatus(LinkStatus::Idle);
    host_.SetTimer5Interval(0);
}

} // namespace kvel
