// CRC-16, request frames, reply acceptance and the port settings tables.
#include "Crc16.h"
#include "Hex.h"
#include "ModbusFrame.h"
#include "SerialChannel.h"

#include <boost/crc.hpp>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kvel::test {
namespace {

class Crc16Test : public ::testing::Test {
protected:
    static std::uint16_t Block(const std::vector<std::uint8_t>& bytes) {
        return kvel::Crc16Block(static_cast<std::uint16_t>(bytes.size()), bytes.data());
    }
};

TEST_F(Crc16Test, TableHoldsTheReflectedPolynomialEntries) {
    EXPECT_EQ(kvel::CrcTable[0], 0x0000);
    EXPECT_EQ(kvel::CrcTable[1], 0xC0C1);
    EXPECT_EQ(kvel::CrcTable[2], 0xC181);
    EXPECT_EQ(kvel::CrcTable[128], 0xA001);
    EXPECT_EQ(kvel::CrcTable[255], 0x4040);
}

// The compiler fills the table, so a program that has not started anything yet already has it.
static_assert(kvel::CrcTable[1] == 0xC0C1 && kvel::CrcTable[255] == 0x4040);

// Entry i is the CRC, from 0 and with no final XOR, of the one byte i: Boost.CRC works that out
// by its own means, and the bitwise division again.
TEST_F(Crc16Test, EveryTableEntryIsTheCrcOfItsByteFromZero) {
    for (int i = 0; i < 256; ++i) {
        const auto byte = static_cast<std::uint8_t>(i);
        boost::crc_optimal<16, 0x8005, 0, 0, true, true> boostCrc;
        boostCrc.process_byte(byte);
        std::uint16_t bitwise = byte;
        for (int bit = 0; bit < 8; ++bit)
            bitwise = (bitwise & 1u) ? static_cast<std::uint16_t>((bitwise >> 1) ^ 0xA001)
                                     : static_cast<std::uint16_t>(bitwise >> 1);
        EXPECT_EQ(kvel::CrcTable[i], boostCrc.checksum()) << "entry " << i;
        EXPECT_EQ(kvel::CrcTable[i], bitwise) << "entry " << i;
    }
}

TEST_F(Crc16Test, GivesTheCheckValueOfTheDigitString) {
    const std::string digits = "123456789";
    EXPECT_EQ(kvel::Crc16Block(static_cast<std::uint16_t>(digits.size()),
                               reinterpret_cast<const std::uint8_t*>(digits.data())),
              0x4B37);
}

TEST_F(Crc16Test, EmptyBlockLeavesTheInitialValue) {
    const std::uint8_t unused = 0x55;
    EXPECT_EQ(kvel::Crc16Block(0, &unused), 0xFFFF);
}

TEST_F(Crc16Test, AgreesWithBoostAndBitwiseDivisionOnRandomBlocks) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> byteValue(0, 255);
    std::uniform_int_distribution<int> blockLength(1, 300);
    for (int block = 0; block < 200; ++block) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(blockLength(random)));
        for (auto& byte : bytes)
            byte = static_cast<std::uint8_t>(byteValue(random));

        boost::crc_optimal<16, 0x8005, 0xFFFF, 0, true, true> boostCrc;
        boostCrc.process_bytes(bytes.data(), bytes.size());
        ASSERT_EQ(Block(bytes), boostCrc.checksum()) << "block " << block << ": " << ToHex(bytes);
        ASSERT_EQ(Block(bytes), ReferenceCrc16(bytes)) << "block " << block;
    }
}

TEST_F(Crc16Test, UpdatingByteByByteMatchesTheBlock) {
    const std::vector<std::uint8_t> bytes = Hex("01 03 00 00 00 1B");
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : bytes)
        crc = kvel::Crc16Update(crc, byte);
    EXPECT_EQ(crc, Block(bytes));
}

class RequestFrameTest : public Crc16Test {
protected:
    static std::vector<std::uint8_t> Frame(std::uint8_t address, std::uint8_t function,
                                           std::uint16_t reg, std::uint16_t countOrValue) {
        const kvel::RequestFrame frame =
            kvel::BuildRequestFrame(address, function, reg, countOrValue);
        return {frame.begin(), frame.end()};
    }
};

TEST_F(RequestFrameTest, PollsOfHoldingAndInputRegisters) {
    EXPECT_EQ(Frame(1, 3, 0, 27), Hex("01 03 00 00 00 1B 05 C1"));
    EXPECT_EQ(Frame(1, 4, 0, 21), Hex("01 04 00 00 00 15 31 C5"));
}

TEST_F(RequestFrameTest, WriteOfOneRegister) {
    EXPECT_EQ(Frame(1, 6, 15, 3), Hex("01 06 00 0F 00 03 F9 C8"));
}

TEST_F(RequestFrameTest, RegisterAndValueGoHighByteFirst) {
    EXPECT_EQ(Frame(0x11, 6, 0x0123, 0xABCD), WithCrc("11 06 01 23 AB CD"));
    EXPECT_EQ(Frame(0xF7, 3, 0x0100, 2), WithCrc("F7 03 01 00 00 02"));
}

TEST_F(RequestFrameTest, AnyFunctionCodeIsFramedTheSameWay) {
    EXPECT_EQ(Frame(2, 0x10, 7, 9), WithCrc("02 10 00 07 00 09"));
}

TEST(ReplyLength, ReadsCountTwoBytesPerRegisterPlusFive) {
    EXPECT_EQ(kvel::ReplyLengthFor(3, 27), 59);
    EXPECT_EQ(kvel::ReplyLengthFor(4, 21), 47);
    EXPECT_EQ(kvel::ReplyLengthFor(3, 125), 255);
    EXPECT_EQ(kvel::ReplyLengthFor(4, 0), 5);
}

TEST(ReplyLength, EverythingElseExpectsEightBytes) {
    EXPECT_EQ(kvel::ReplyLengthFor(6, 27), 8);
    EXPECT_EQ(kvel::ReplyLengthFor(6, 0xFFFF), 8);
    EXPECT_EQ(kvel::ReplyLengthFor(0x10, 3), 8);
}

// The length a reply's head announces, for every function code the link sees and some it does
// not: the receiver, the stream cutter and the decoder all count by it.
TEST(ReplyLength, TheHeadOfAReplyAnnouncesItsWholeLength) {
    const struct {
        const char* head;
        std::size_t length;
    } cases[] = {
        {"01 03 36", 59}, {"01 04 2A", 47}, {"01 03 FA", 255}, {"01 03 00", 5}, {"01 04 FF", 260},
        {"01 06 00", 8},  {"01 06 FF", 8},  {"01 10 00", 8},   {"01 83 02", 5}, {"01 84 0B", 5},
        {"01 86 06", 5},  {"01 90 01", 5},  {"01 FF 00", 5},   {"01 80 FF", 5},
    };
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> head = Hex(c.head);
        EXPECT_EQ(kvel::ReplyLengthAt(head.data(), head.size()), c.length) << c.head;
    }
}

TEST(ReplyLength, TooFewBytesAnnounceNothing) {
    const std::vector<std::uint8_t> head = Hex("01 03 36");
    for (std::size_t available = 0; available < head.size(); ++available)
        EXPECT_EQ(kvel::ReplyLengthAt(head.data(), available), 0u) << available;
}

TEST(ReplyLength, ARequestAndItsReplyAgree) {
    for (const std::uint8_t function : {kvel::kReadHolding, kvel::kReadInput, kvel::kWriteSingle})
        for (const std::uint16_t count : {1, 2, 27, 125}) {
            const std::vector<std::uint8_t> head{1, function, static_cast<std::uint8_t>(2 * count)};
            EXPECT_EQ(kvel::ReplyLengthFor(function, count),
                      kvel::ReplyLengthAt(head.data(), head.size()))
                << int(function) << " " << count;
        }
}

class ReplyAcceptanceTest : public Crc16Test {
protected:
    static kvel::ReplyKind Classify(const std::vector<std::uint8_t>& frame,
                                    std::uint8_t address = 1) {
        return kvel::ClassifyReply(frame.data(), static_cast<std::uint16_t>(frame.size()), address);
    }
};

TEST_F(ReplyAcceptanceTest, AcceptsReadRepliesWhoseByteCountFitsTheLength) {
    EXPECT_EQ(Classify(WithCrc("01 03 02 12 34")), kvel::ReplyKind::Holding);
    EXPECT_EQ(Classify(WithCrc("01 04 04 00 01 FF FE")), kvel::ReplyKind::Input);
}

TEST_F(ReplyAcceptanceTest, AcceptsWriteEcho) {
    EXPECT_EQ(Classify(WithCrc("01 06 00 0F 00 03")), kvel::ReplyKind::Write);
    EXPECT_EQ(Classify(Hex("01 06 00 0F 00 03 F9 C8")), kvel::ReplyKind::Write);
}

TEST_F(ReplyAcceptanceTest, RejectsDamagedOrSwappedCrc) {
    std::vector<std::uint8_t> damaged = WithCrc("01 03 02 12 34");
    damaged[3] ^= 0x01;
    EXPECT_EQ(Classify(damaged), kvel::ReplyKind::Rejected);

    std::vector<std::uint8_t> highFirst = WithCrc("01 03 02 12 34");
    ASSERT_NE(highFirst[5], highFirst[6]);
    std::swap(highFirst[5], highFirst[6]);
    EXPECT_EQ(Classify(highFirst), kvel::ReplyKind::Rejected);
}

TEST_F(ReplyAcceptanceTest, DropsReplyFromAnotherAddress) {
    EXPECT_EQ(Classify(WithCrc("02 03 02 12 34"), 1), kvel::ReplyKind::Rejected);
    EXPECT_EQ(Classify(WithCrc("02 03 02 12 34"), 2), kvel::ReplyKind::Holding);
    EXPECT_EQ(Classify(WithCrc("01 06 00 0F 00 03"), 0x2C), kvel::ReplyKind::Rejected);
}

TEST_F(ReplyAcceptanceTest, RejectsReadWhoseByteCountDisagreesWithTheLength) {
    // Nine bytes carry four data bytes, but the count says two.
    EXPECT_EQ(Classify(WithCrc("01 03 02 00 01 00 02")), kvel::ReplyKind::Rejected);
    EXPECT_EQ(Classify(WithCrc("01 04 06 00 01 00 02")), kvel::ReplyKind::Rejected);
}

TEST_F(ReplyAcceptanceTest, NeverAcceptsAReadOfNoRegisters) {
    EXPECT_EQ(Classify(WithCrc("01 03 00")), kvel::ReplyKind::Rejected);
    EXPECT_EQ(Classify(WithCrc("01 04 00")), kvel::ReplyKind::Rejected);
}

TEST_F(ReplyAcceptanceTest, RejectsExceptionsAndOtherFunctions) {
    EXPECT_EQ(Classify(WithCrc("01 83 02")), kvel::ReplyKind::Rejected);
    EXPECT_EQ(Classify(WithCrc("01 84 02")), kvel::ReplyKind::Rejected);
    EXPECT_EQ(Classify(WithCrc("01 86 02 00 00 00")), kvel::ReplyKind::Rejected);
    EXPECT_EQ(Classify(WithCrc("01 10 00 0F 00 01")), kvel::ReplyKind::Rejected);
}

TEST(PortSettings, BaudIndexPicksTheRateAndFallsBackTo9600) {
    const std::vector<std::int32_t> rates{1200,  2400,  4800,  9600,  14400,
                                          19200, 38400, 56000, 57600, 115200};
    for (std::size_t index = 0; index < rates.size(); ++index)
        EXPECT_EQ(kvel::BaudRateFromIndex(static_cast<std::uint8_t>(index)), rates[index])
            << "index " << index;
    EXPECT_EQ(kvel::BaudRateFromIndex(10), 9600);
    EXPECT_EQ(kvel::BaudRateFromIndex(255), 9600);
}

TEST(PortSettings, PortNamesUseTheDeviceNamespaceForm) {
    EXPECT_EQ(kvel::ComPortName(12), R"(\\.\COM12)");
    EXPECT_EQ(kvel::ComPortName(1), R"(\\.\COM1)");
    EXPECT_EQ(kvel::ComPortName(65535), R"(\\.\COM65535)");
}

TEST(PortSettings, PortNumberIsReadBackOnlyFromWellFormedNames) {
    EXPECT_EQ(kvel::ComPortNumber(kvel::ComPortName(12)), 12);
    EXPECT_EQ(kvel::ComPortNumber(kvel::ComPortName(0)), 0);
    EXPECT_EQ(kvel::ComPortNumber(kvel::ComPortName(65535)), 65535);
    EXPECT_EQ(kvel::ComPortNumber("COM12"), -1);
    EXPECT_EQ(kvel::ComPortNumber(R"(\\.\COM)"), -1);
    EXPECT_EQ(kvel::ComPortNumber(R"(\\.\COM1x)"), -1);
    EXPECT_EQ(kvel::ComPortNumber(R"(\\.\COM-1)"), -1);
    EXPECT_EQ(kvel::ComPortNumber(R"(\\.\COM123456)"), -1);
}

} // namespace
} // namespace kvel::test
