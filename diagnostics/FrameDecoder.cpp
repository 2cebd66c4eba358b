// The register table's captions and units, and the shapes of the frames the link and the firmware
// upload exchange.
#include "FrameDecoder.h"

#include "FirmwareFrames.h"
#include "ModbusFrame.h"
#include "Registers.h"

#include <cstdio>
#include <optional>

namespace kvel {

namespace {

std::string WriteText(std::uint16_t reg, std::uint16_t value) {
    const unit::Register* known = unit::Find(unit::Bank::Holding, reg);
    if (!known) return "рег. " + std::to_string(reg) + " = " + std::to_string(value);
    return unit::Title(*known) + " (рег. " + std::to_string(reg) +
           ") = " + unit::RussianValueText(*known, value);
}

std::string RangeText(std::uint16_t first, std::uint16_t count) {
    if (count == 0) return std::to_string(first) + ", 0 регистров";
    return std::to_string(first) + "–" + std::to_string(first + count - 1);
}

// 1 регистр, 2 регистра, 5 регистров, 21 регистр.
std::string RegistersText(unsigned count) {
    const unsigned lastTwo = count % 100;
    const unsigned last = count % 10;
    const char* ending = "ов";
    if (last == 1 && lastTwo != 11) ending = "";
    if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14)) ending = "а";
    return std::to_string(count) + " регистр" + ending;
}

std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

std::string BlockText(const BlockFrame& block, const DecodeContext& context) {
    const std::string where = " по адресу " + Hex(block.flashAddress, 8);
    const std::optional<std::uint32_t> index = BlockIndexAt(block.flashAddress);
    if (!index) return "Блок ПО, " + std::to_string(block.dataBytes) + " байт" + where;
    if (context.firmwareBlocks != 0 && *index == context.firmwareBlocks && block.dataBytes == 1)
        return "Завершение записи ПО" + where;
    const std::string total =
        context.firmwareBlocks != 0 ? " из " + std::to_string(context.firmwareBlocks) : "";
    return "Блок ПО " + std::to_string(*index) + total + where;
}

std::string SimpleRequestText(const std::uint8_t* frame) {
    const std::uint16_t reg = WordAt(frame + 2);
    const std::uint16_t argument = WordAt(frame + 4);
    switch (frame[1]) {
    case kReadHolding:
        if (reg == reg::kCommandRegister) return "Чтение состояния программирования";
        return "Чтение регистров хранения " + RangeText(reg, argument);
    case kReadInput:
        return "Чтение входных регистров " + RangeText(reg, argument);
    case kWriteSingle:
        if (reg == reg::kCommandRegister && argument == kProgrammingCommand)
            return "Команда: вход в режим программирования";
        return "Запись: " + WriteText(reg, argument);
    default:
        return "Функция " + std::to_string(frame[1]);
    }
}

std::string EchoText(const std::uint8_t* frame) {
    const std::uint16_t reg = WordAt(frame + 2);
    const std::uint16_t value = WordAt(frame + 4);
    if (reg == reg::kCommandRegister && value == kProgrammingCommand)
        return "Подтверждение команды: вход в режим программирования";
    return "Подтверждение записи: " + WriteText(reg, value);
}

} // namespace

std::string HexBytes(const std::uint8_t* bytes, std::size_t length, std::size_t most) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    const std::size_t shown = length < most ? length : most;
    text.reserve(shown * 3 + 4);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i != 0) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    if (shown < length) text += " …";
    return text;
}

std::string ExceptionText(std::uint8_t code) {
    char number[8];
    std::snprintf(number, sizeof number, "%02X", code);
    const std::string meaning = RussianExceptionName(code);
    std::string text = std::string("Исключение ") + number;
    if (!meaning.empty()) text += ": " + meaning;
    return text;
}

std::string DescribeRequest(const std::uint8_t* frame, std::size_t length,
                            const DecodeContext& context) {
    if (!CrcHolds(frame, length)) return "Кадр с неверной CRC";
    if (const std::optional<BlockFrame> block = ReadBlockFrame(frame, length))
        return BlockText(*block, context);
    if (length == std::tuple_size_v<RequestFrame>) return SimpleRequestText(frame);
    return "Кадр из " + std::to_string(length) + " байт, функция " + std::to_string(frame[1]);
}

std::string DescribeReply(const std::uint8_t* frame, std::size_t length) {
    if (!CrcHolds(frame, length)) return "Кадр с неверной CRC";
    const std::uint8_t function = frame[1];
    if (function & kExceptionFlag)
        return ReplyLengthAt(frame, length) == length ? ExceptionText(frame[2]) : "Исключение";
    const bool announcedLength = ReplyLengthAt(frame, length) == length;
    if (IsRead(function) && announcedLength) return "Ответ: " + RegistersText(frame[2] / 2u);
    if (function == kWriteSingle && length == kAcknowledgementBytes)
        return "Подтверждение блока (CRC " + Hex(WordAt(frame + 3), 4) + ")";
    if (function == kWriteSingle && announcedLength) return EchoText(frame);
    return "Ответ из " + std::to_string(length) + " байт, функция " + std::to_string(function);
}

} // namespace kvel
