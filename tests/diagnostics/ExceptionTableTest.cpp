// The one exception table against what each reader of it says: the monitor's decoder, the
// counters' cause (the status bar's tooltip and the bus overview) and kvel-cli's failure line.
#include "FrameDecoder.h"
#include "LinkCounters.h"
#include "ModbusExceptions.h"

#include <gtest/gtest.h>

namespace kvel::test {
namespace {

// Written out here, not read from the table, so a slip in the table shows.
const struct {
    std::uint8_t code;
    const char* english;
    const char* russian;
    bool gateway;
} kExpected[] = {
    {0x01, "illegal function", "недопустимая функция", false},
    {0x02, "illegal data address", "недопустимый адрес данных", false},
    {0x03, "illegal data value", "недопустимое значение данных", false},
    {0x04, "device failure", "отказ устройства", false},
    {0x05, "acknowledge", "подтверждение, операция идёт", false},
    {0x06, "busy", "устройство занято", false},
    {0x08, "memory parity error", "ошибка чётности памяти", false},
    {0x0A, "gateway path unavailable", "шлюз: путь недоступен", true},
    {0x0B, "gateway target failed to respond", "шлюз: устройство не ответило", true},
};

std::string TwoDigits(std::uint8_t code) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", code);
    return text;
}

TEST(ExceptionTableTest, EveryCodeHasItsNamesInBothLanguagesAndItsGatewayMark) {
    ASSERT_EQ(kModbusExceptions.size(), std::size(kExpected));
    for (const auto& c : kExpected) {
        EXPECT_STREQ(ExceptionName(c.code), c.english) << int(c.code);
        EXPECT_STREQ(RussianExceptionName(c.code), c.russian) << int(c.code);
        EXPECT_EQ(GatewayFoundNoUnit(c.code), c.gateway) << int(c.code);
    }
}

TEST(ExceptionTableTest, UnnamedCodesAreNamedByNumberAloneAndFindNoGateway) {
    for (const std::uint8_t code : {0x00, 0x07, 0x09, 0x0C, 0x80, 0xFF}) {
        EXPECT_STREQ(ExceptionName(code), "exception") << int(code);
        EXPECT_STREQ(RussianExceptionName(code), "") << int(code);
        EXPECT_FALSE(GatewayFoundNoUnit(code)) << int(code);
        EXPECT_EQ(ExceptionText(code), "Исключение " + TwoDigits(code));
        EXPECT_EQ(CauseText({LossCause::Exception, code}), "исключение " + TwoDigits(code));
    }
}

TEST(ExceptionTableTest, TheDecoderAndTheCauseUseTheTablesRussianName) {
    for (const auto& c : kExpected) {
        const std::string number = TwoDigits(c.code);
        EXPECT_EQ(ExceptionText(c.code), "Исключение " + number + ": " + c.russian);
        EXPECT_EQ(CauseText({LossCause::Exception, c.code}),
                  "исключение " + number + " (" + c.russian + ")");
    }
}

} // namespace
} // namespace kvel::test
