// The link's receive path: ReadComBuff fed arbitrary bytes while the fuzzer picks the device
// address, the awaited reply length and the register the reply is stored from, interleaved
// with queued requests and scheduler ticks. Oracle: the receiver accepts exactly where the
// reference model does, and an accepted read stores exactly the reply's words.
#include "Crc16.h"
#include "ModbusLink.h"
#include "QuietFakes.h"
#include "Reference.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace kvel;

namespace {

class AcceptCounter : public LinkObserver {
public:
    void ReplyAccepted(LinkClock::time_point, ReplyKind) override { ++accepted; }
    int accepted = 0;
};

void CheckStored(const LinkState& state, const std::uint8_t* frame) {
    const RegisterImage& image = frame[1] == kReadHolding ? state.HoldingImage : state.InputImage;
    for (int i = 0; i < frame[2] / 2; ++i) {
        const int index = state.LastRequestRegister + i;
        if (index >= kImageWords) break;
        KVEL_FUZZ_CHECK(image[index] == WordAt(frame + 3 + 2 * i));
    }
}

// One byte through ReadComBuff, checked against the reference receiver.
class Receiver {
public:
    Receiver(LinkState& state, ModbusLink& link, AcceptCounter& counter)
        : state_(state), link_(link), counter_(counter) {}

    void operator()(std::uint8_t byte) {
        history_.Push(byte);
        const std::uint16_t length = state_.ExpectedReplyLength;
        const bool mustAccept = fuzz::ReceiverMustAccept(history_, length, state_.DeviceAddress);
        const int before = counter_.accepted;
        link_.ReadComBuff(byte);
        KVEL_FUZZ_CHECK(counter_.accepted - before == (mustAccept ? 1 : 0));
        if (!mustAccept) return;
        KVEL_FUZZ_CHECK(!state_.ReplyAwaited);
        const std::uint8_t* frame = history_.Newest(length);
        if (frame[1] != kWriteSingle) CheckStored(state_, frame);
    }

private:
    LinkState& state_;
    ModbusLink& link_;
    AcceptCounter& counter_;
    fuzz::History history_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    LinkState state;
    test::QuietChannel channel;
    test::QuietHost host;
    ModbusLink link(state, channel, host);
    AcceptCounter counter;
    link.SetObserver(&counter);
    Receiver Receive(state, link, counter);

    while (input.remaining_bytes() != 0) {
        switch (input.ConsumeIntegralInRange(0, 7)) {
        case 0:
            state.DeviceAddress = input.ConsumeIntegral<std::uint8_t>();
            break;
        case 1:
            state.ExpectedReplyLength = input.ConsumeIntegral<std::uint16_t>();
            state.LastRequestRegister = input.ConsumeIntegral<std::uint16_t>();
            break;
        case 2:
            link.EnqueueRequest(input.ConsumeIntegral<std::uint8_t>(),
                                input.ConsumeIntegral<std::uint16_t>(),
                                input.ConsumeIntegral<std::uint16_t>());
            break;
        case 3:
            link.Timer1Timer();
            break;
        case 4:
            link.Timer2Timer();
            break;
        case 7: {
            std::vector<std::uint8_t> frame =
                input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 60));
            fuzz::Seal(frame);
            for (const std::uint8_t byte : frame)
                Receive(byte);
            break;
        }
        default:
            Receive(input.ConsumeIntegral<std::uint8_t>());
        }
    }
    return 0;
}
