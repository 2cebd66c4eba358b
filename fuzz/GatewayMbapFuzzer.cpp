// kvel-gateway's Modbus TCP side on arbitrary byte streams from one client, arriving in
// arbitrary chunks, the unit never answering. Oracle: a plain reference reader of the whole
// stream decides which frames are whole and valid requests the unit knows and may take on a
// shared line; exactly their RTU frames reach the line, in order, CRC computed bit by bit; every
// frame before the client is cut off gets one answer, with its transaction id, in its order;
// the client is cut off at the first header no Modbus TCP master sends, and only there.
#include "FakeSerialChannel.h"
#include "LineScheduler.h"
#include "Reference.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

using namespace kvel;

namespace {
constexpr gateway::ClientId kClient = 1;
constexpr std::size_t kHeaderBytes = 7;

struct Expected {
    std::vector<std::vector<std::uint8_t>> line;
    std::vector<std::uint16_t> answered;
    bool cutOff = false;
};

std::uint16_t Word(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

bool MayGoOnTheLine(std::uint8_t unit, const std::uint8_t* pdu, std::size_t length) {
    if (unit == 0 || unit == 255 || length != 5) return false;
    const std::uint16_t reg = Word(pdu + 1);
    const std::uint16_t value = Word(pdu + 3);
    if (pdu[0] == 3 || pdu[0] == 4) return value >= 1 && value <= 125;
    return pdu[0] == 6 && reg != 14 && reg != 15 && reg != 0xFFFD;
}

Expected ReferenceReading(const std::vector<std::uint8_t>& stream) {
    Expected expected;
    for (std::size_t at = 0; stream.size() - at >= kHeaderBytes;) {
        const std::uint8_t* header = stream.data() + at;
        const std::size_t length = Word(header + 4);
        // A wrong length shows in the header; another protocol once its frame is whole.
        const bool wrongLength = length < 2 || length > 254;
        if (!wrongLength && stream.size() - at < 6 + length) break;
        if (wrongLength || Word(header + 2) != 0) {
            expected.cutOff = true;
            return expected;
        }
        expected.answered.push_back(Word(header));
        const std::uint8_t* pdu = header + kHeaderBytes;
        if (MayGoOnTheLine(header[6], pdu, length - 1)) {
            std::vector<std::uint8_t> rtu(header + 6, header + 6 + length);
            fuzz::Seal(rtu);
            expected.line.push_back(rtu);
        }
        at += 6 + length;
    }
    return expected;
}

class Answers : public gateway::SchedulerEvents {
public:
    void Answer(gateway::ClientId, std::vector<std::uint8_t> bytes) override {
        KVEL_FUZZ_CHECK(bytes.size() >= kHeaderBytes + 1);
        transactions.push_back(Word(bytes.data()));
    }
    std::vector<std::uint16_t> transactions;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::vector<std::uint8_t> chunkSizes = input.ConsumeBytes<std::uint8_t>(8);
    const std::vector<std::uint8_t> stream = input.ConsumeRemainingBytes<std::uint8_t>();

    test::FakeSerialChannel channel;
    channel.OpenComPort("COM1", 9600);
    Answers answers;
    gateway::SchedulerSettings settings;
    gateway::LineScheduler scheduler(channel, settings, answers);
    scheduler.AddClient(kClient);
    MbapStream reader;
    LinkClock::time_point now = LinkClock::time_point{} + std::chrono::hours(1);

    bool cutOff = false;
    for (std::size_t at = 0, chunk = 0; at < stream.size() && !cutOff; ++chunk) {
        const std::size_t want =
            chunkSizes.empty() ? stream.size() : chunkSizes[chunk % chunkSizes.size()] + 1u;
        const std::size_t length = std::min(want, stream.size() - at);
        std::vector<MbapFrame> frames;
        reader.Push(stream.data() + at, length, frames);
        at += length;
        for (const MbapFrame& frame : frames) {
            if (!scheduler.Submit(kClient, frame, now)) {
                cutOff = true;
                break;
            }
            // The unit stays silent: each request ends in its time-out before the next frame.
            now += std::chrono::seconds(2);
            scheduler.Poll(now);
        }
    }

    const Expected expected = ReferenceReading(stream);
    KVEL_FUZZ_CHECK(cutOff == expected.cutOff);
    KVEL_FUZZ_CHECK(channel.writes == expected.line);
    KVEL_FUZZ_CHECK(answers.transactions == expected.answered);
    return 0;
}
