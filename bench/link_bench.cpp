// How fast the receiver takes in a stream of holding-register poll replies, and how the table
// CRC compares with Boost.CRC on the longest block a reply's CRC can cover.
#include "Crc16.h"
#include "ModbusFrame.h"
#include "ModbusLink.h"
#include "QuietFakes.h"

#include <benchmark/benchmark.h>
#include <boost/crc.hpp>

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(byte(random));
    return bytes;
}

constexpr int kPolledRegisters = kvel::kPolledHoldingCount;
constexpr std::uint16_t kPollReplyLength =
    kvel::ReplyLengthFor(kvel::kReadHolding, kPolledRegisters);
constexpr int kRepliesInStream = 64;

// Replies to the holding-register poll with varied readings, back to back.
std::vector<std::uint8_t> PollReplyStream() {
    std::vector<std::uint8_t> stream;
    for (int reply = 0; reply < kRepliesInStream; ++reply) {
        std::vector<std::uint8_t> frame{1, kvel::kReadHolding, 2 * kPolledRegisters};
        const auto readings = RandomBytes(2 * kPolledRegisters, static_cast<std::uint32_t>(reply));
        frame.insert(frame.end(), readings.begin(), readings.end());
        frame.resize(frame.size() + 2);
        kvel::AppendCrc(frame.data(), static_cast<std::uint16_t>(frame.size() - 2));
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    return stream;
}

void BM_ReceivePollReplies(benchmark::State& state) {
    kvel::LinkState linkState;
    // Nothing behind them, so the figures are the link's own.
    kvel::test::QuietChannel channel;
    kvel::test::QuietHost host;
    kvel::ModbusLink link(linkState, channel, host);
    linkState.DeviceAddress = 1;
    linkState.ExpectedReplyLength = kPollReplyLength;
    const std::vector<std::uint8_t> stream = PollReplyStream();

    for (auto _ : state)
        for (std::uint8_t byte : stream)
            link.ReadComBuff(byte);

    const auto bytes = static_cast<double>(state.iterations()) * static_cast<double>(stream.size());
    if (host.holdingRefreshes != state.iterations() * kRepliesInStream)
        state.SkipWithError("not every reply in the stream was accepted");
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    // Shown as a time: seconds per byte with an SI prefix.
    state.counters["per_byte"] =
        benchmark::Counter(bytes, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReceivePollReplies);

constexpr std::size_t kCrcBlock = 253;
using BoostModbusCrc = boost::crc_optimal<16, 0x8005, 0xFFFF, 0, true, true>;

void BM_Crc16Block(benchmark::State& state) {
    const auto block = RandomBytes(kCrcBlock, 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(block.data());
        benchmark::DoNotOptimize(
            kvel::Crc16Block(static_cast<std::uint16_t>(block.size()), block.data()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(block.size()));
}
BENCHMARK(BM_Crc16Block);

void BM_BoostCrc(benchmark::State& state) {
    const auto block = RandomBytes(kCrcBlock, 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(block.data());
        BoostModbusCrc crc;
        crc.process_bytes(block.data(), block.size());
        benchmark::DoNotOptimize(crc.checksum());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(block.size()));
}
BENCHMARK(BM_BoostCrc);

// Both in one loop, interleaved, so drifting clock rates hit them alike; reports
// time(Crc16Block) / time(Boost.CRC).
void BM_Crc16BlockOverBoost(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const auto block = RandomBytes(kCrcBlock, 2);
    constexpr int kRounds = 256;
    Clock::duration ours{};
    Clock::duration boost{};
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            benchmark::DoNotOptimize(block.data());
            benchmark::DoNotOptimize(
                kvel::Crc16Block(static_cast<std::uint16_t>(block.size()), block.data()));
        }
        const auto middle = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            benchmark::DoNotOptimize(block.data());
            BoostModbusCrc crc;
            crc.process_bytes(block.data(), block.size());
            benchmark::DoNotOptimize(crc.checksum());
        }
        const auto end = Clock::now();
        ours += middle - start;
        boost += end - middle;
    }
    state.counters["ratio"] =
        std::chrono::duration<double>(ours) / std::chrono::duration<double>(boost);
}
BENCHMARK(BM_Crc16BlockOverBoost);

} // namespace

BENCHMARK_MAIN();
