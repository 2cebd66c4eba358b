// The block frame's codec: what the upload builds, the monitor and the simulated unit read back.
#include "FirmwareFrames.h"
#include "ModbusFrame.h"

#include <gtest/gtest.h>

#include <vector>

namespace kvel {
namespace {

std::vector<std::uint8_t> Built(std::uint8_t address, std::uint32_t flash,
                                const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> frame(kBlockHeaderBytes + data.size() + kCrcBytes);
    std::copy(data.begin(), data.end(), frame.begin() + kBlockHeaderBytes);
    AppendCrc(frame.data(), PutBlockHeader(frame.data(), address, flash,
                                           static_cast<std::uint16_t>(data.size())));
    return frame;
}

TEST(FirmwareFramesTest, TheClosingFrameIsLaidOutByteForByte) {
    const std::vector<std::uint8_t> frame = Built(0x11, FlashAddressOfBlock(2), {0});
    const std::vector<std::uint8_t> head(frame.begin(), frame.end() - kCrcBytes);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{0x11, 0x06, 0xFF, 0xFD, 0x00, 0x0B, 0x08, 0x00, 0x50,
                                               0x00, 0x00}));
    EXPECT_TRUE(CrcHolds(frame.data(), frame.size()));
}

TEST(FirmwareFramesTest, ABuiltFrameReadsBackAsItWasBuilt) {
    const struct {
        std::uint8_t address;
        std::uint32_t block;
        std::size_t dataBytes;
        bool closing;
    } cases[] = {
        {1, 0, kBlockBytes, false}, {247, 5, 1, false}, {3, 7, 1, true}, {9, 1, 300, false}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> data(c.dataBytes);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(c.closing ? 0 : i * 7 + 1);
        const std::vector<std::uint8_t> frame =
            Built(c.address, FlashAddressOfBlock(c.block), data);
        EXPECT_EQ(AnnouncedBlockFrameLength(frame.data(), frame.size()), frame.size());
        const std::optional<BlockFrame> read = ReadBlockFrame(frame.data(), frame.size());
        ASSERT_TRUE(read) << c.block;
        EXPECT_EQ(read->address, c.address);
        EXPECT_EQ(BlockIndexAt(read->flashAddress), c.block);
        EXPECT_EQ(std::vector<std::uint8_t>(read->data, read->data + read->dataBytes), data);
        EXPECT_EQ(read->Closing(), c.closing);
    }
}

TEST(FirmwareFramesTest, FramesOfAnotherShapeAreRefused) {
    const std::vector<std::uint8_t> good = Built(1, kFlashBase, {1, 2, 3});
    const struct {
        const char* what;
        std::size_t at;
        std::uint8_t value;
    } damage[] = {
        {"another function", 1, 0x03},    {"another register", 3, 0xFC},
        {"a longer length field", 5, 14}, {"a shorter length field", 5, 12},
        {"a broken CRC", 14, 0x00},
    };
    for (const auto& d : damage) {
        std::vector<std::uint8_t> frame = good;
        frame[d.at] = d.value == frame[d.at] ? d.value ^ 0xFF : d.value;
        EXPECT_FALSE(ReadBlockFrame(frame.data(), frame.size())) << d.what;
    }
    EXPECT_FALSE(ReadBlockFrame(good.data(), good.size() - 1)) << "cut short";
    const std::vector<std::uint8_t> empty = Built(1, kFlashBase, {});
    EXPECT_FALSE(ReadBlockFrame(empty.data(), empty.size())) << "no data";
    EXPECT_EQ(AnnouncedBlockFrameLength(empty.data(), empty.size()), 0u) << "no data";
}

TEST(FirmwareFramesTest, OnlyAWholeHeaderWithinABlockFramesLengthAnnouncesOne) {
    const std::vector<std::uint8_t> good = Built(1, kFlashBase, {1, 2, 3});
    for (std::size_t available = 0; available < 6; ++available)
        EXPECT_EQ(AnnouncedBlockFrameLength(good.data(), available), 0u) << available;
    std::vector<std::uint8_t> tooLong = good;
    const std::size_t beyond = kLongestBlockFrame - kCrcBytes + 1;
    tooLong[4] = static_cast<std::uint8_t>(beyond >> 8);
    tooLong[5] = static_cast<std::uint8_t>(beyond & 0xFF);
    EXPECT_EQ(AnnouncedBlockFrameLength(tooLong.data(), tooLong.size()), 0u);
    const std::vector<std::uint8_t> read{1, 0x03, 0xFF, 0xFD, 0x00, 0x01};
    EXPECT_EQ(AnnouncedBlockFrameLength(read.data(), read.size()), 0u) << "a read";
}

TEST(FirmwareFramesTest, FlashAddressesOffTheBlockGridNameNoBlock) {
    EXPECT_EQ(BlockIndexAt(kFlashBase), 0u);
    EXPECT_EQ(BlockIndexAt(FlashAddressOfBlock(31)), 31u);
    EXPECT_FALSE(BlockIndexAt(kFlashBase - kBlockBytes));
    EXPECT_FALSE(BlockIndexAt(kFlashBase + 1));
    EXPECT_FALSE(BlockIndexAt(0));
}

} // namespace
} // namespace kvel
