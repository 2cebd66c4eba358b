// Each kind of frame the link and the firmware upload exchange, told in the register map's words.
#include "FrameDecoder.h"
#include "Crc16.h"
#include "Hex.h"

#include <gtest/gtest.h>

namespace kvel::test {
namespace {

struct Case {
    const char* frame; // hex without the CRC, which is appended
    const char* line;
};

class FrameDecoderTest : public ::testing::Test {};

// A block frame: header with the length without CRC and the flash address, then `dataBytes`.
std::vector<std::uint8_t> BlockFrame(std::uint32_t flash, std::size_t dataBytes) {
    const auto length = static_cast<std::uint16_t>(10 + dataBytes);
    std::vector<std::uint8_t> frame{0x01,
                                    0x06,
                                    0xFF,
                                    0xFD,
                                    static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length & 0xFF)};
    for (int shift = 24; shift >= 0; shift -= 8)
        frame.push_back(static_cast<std::uint8_t>(flash >> shift));
    frame.resize(frame.size() + dataBytes, 0x5A);
    return WithCrc(frame);
}

std::string Request(const std::vector<std::uint8_t>& frame, std::uint16_t blocks = 0) {
    return DescribeRequest(frame.data(), frame.size(), DecodeContext{blocks});
}
std::string Reply(const std::vector<std::uint8_t>& frame) {
    return DescribeReply(frame.data(), frame.size());
}

TEST_F(FrameDecoderTest, RequestsInTheRegisterMapsWords) {
    const Case cases[] = {
        {"01 03 00 00 00 1B", "Чтение регистров хранения 0–26"},
        {"01 04 00 00 00 15", "Чтение входных регистров 0–20"},
        {"01 03 00 0A 00 01", "Чтение регистров хранения 10–10"},
        {"01 06 00 10 01 E5", "Запись: Уставка выходного напряжения (рег. 16) = 48,5 В"},
        {"01 06 00 11 00 07", "Запись: Уставка выходного тока (рег. 17) = 0,7 А"},
        {"01 06 00 02 FF F6", "Запись: t бпс (рег. 2) = -10 °С"},
        {"01 06 00 04 00 46", "Запись: Максимальная температура (рег. 4) = 70 °С"},
        {"01 06 00 0E 00 05", "Запись: Адрес (рег. 14) = 5"},
        {"01 06 00 64 12 34", "Запись: рег. 100 = 4660"},
        {"01 06 FF FD 00 B9", "Команда: вход в режим программирования"},
        {"01 03 FF FD 00 01", "Чтение состояния программирования"},
        {"01 10 00 00 00 01", "Функция 16"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Request(WithCrc(c.frame)), c.line) << c.frame;
}

TEST_F(FrameDecoderTest, RepliesInTheRegisterMapsWords) {
    const Case cases[] = {
        {"01 03 02 00 01", "Ответ: 1 регистр"},
        {"01 04 04 00 01 00 02", "Ответ: 2 регистра"},
        {"01 06 00 10 01 E5",
         "Подтверждение записи: Уставка выходного напряжения (рег. 16) = 48,5 В"},
        {"01 06 00 40 F1", "Подтверждение блока (CRC 0x40F1)"},
        {"01 06 FF FD 00 B9", "Подтверждение команды: вход в режим программирования"},
        {"01 83 02", "Исключение 02: недопустимый адрес данных"},
        {"01 03 05 00 01", "Ответ из 7 байт, функция 3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Reply(WithCrc(c.frame)), c.line) << c.frame;
    EXPECT_EQ(Reply(ReadReply(1, 3, std::vector<std::uint16_t>(27, 7))), "Ответ: 27 регистров");
    EXPECT_EQ(Reply(ReadReply(1, 4, std::vector<std::uint16_t>(21, 7))), "Ответ: 21 регистр");
    EXPECT_EQ(Reply(ReadReply(1, 4, std::vector<std::uint16_t>(11, 7))), "Ответ: 11 регистров");
}

TEST_F(FrameDecoderTest, EveryExceptionCodeHasItsMeaning) {
    const Case cases[] = {
        {"01 83 01", "Исключение 01: недопустимая функция"},
        {"01 83 02", "Исключение 02: недопустимый адрес данных"},
        {"01 84 03", "Исключение 03: недопустимое значение данных"},
        {"01 86 04", "Исключение 04: отказ устройства"},
        {"01 86 05", "Исключение 05: подтверждение, операция идёт"},
        {"01 86 06", "Исключение 06: устройство занято"},
        {"01 83 08", "Исключение 08: ошибка чётности памяти"},
        {"01 83 0A", "Исключение 0A: шлюз: путь недоступен"},
        {"01 83 0B", "Исключение 0B: шлюз: устройство не ответило"},
        {"01 83 07", "Исключение 07"},
        {"01 83 FF", "Исключение FF"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Reply(WithCrc(c.frame)), c.line) << c.frame;
}

TEST_F(FrameDecoderTest, FirmwareBlocksByNumberTotalAndFlashAddress) {
    EXPECT_EQ(Request(BlockFrame(0x08005800, 2048), 17), "Блок ПО 3 из 17 по адресу 0x08005800");
    EXPECT_EQ(Request(BlockFrame(0x08004000, 100), 1), "Блок ПО 0 из 1 по адресу 0x08004000");
    EXPECT_EQ(Request(BlockFrame(0x08005800, 2048)), "Блок ПО 3 по адресу 0x08005800");
    EXPECT_EQ(Request(BlockFrame(0x0800C800, 1), 17), "Завершение записи ПО по адресу 0x0800C800");
    EXPECT_EQ(Request(BlockFrame(0x08000010, 4)), "Блок ПО, 4 байт по адресу 0x08000010");
}

TEST_F(FrameDecoderTest, BrokenCheckSumIsSaidSo) {
    auto frame = WithCrc("01 03 00 00 00 1B");
    frame[3] ^= 0x01;
    EXPECT_EQ(Request(frame), "Кадр с неверной CRC");
    EXPECT_EQ(Reply(Hex("01 83")), "Кадр с неверной CRC");
    EXPECT_EQ(Reply({}), "Кадр с неверной CRC");
}

TEST_F(FrameDecoderTest, HexShowsAtMostTheBytesAsked) {
    const auto bytes = Hex("01 03 0A FF");
    EXPECT_EQ(HexBytes(bytes.data(), bytes.size(), 8), "01 03 0A FF");
    EXPECT_EQ(HexBytes(bytes.data(), bytes.size(), 2), "01 03 …");
    EXPECT_EQ(HexBytes(bytes.data(), 0, 2), "");
}

} // namespace
} // namespace kvel::test
