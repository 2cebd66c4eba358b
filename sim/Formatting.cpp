// Text forms of frames and registers.
#include "Formatting.h"

namespace kvel::sim {

std::string HexBytes(const std::uint8_t* bytes, std::size_t length) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0) text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

std::string HoldingText(const HoldingBank& bank) {
    std::string text;
    for (std::size_t reg = 0; reg < bank.size(); ++reg)
        text += 'H' + std::to_string(reg) + '=' + std::to_string(bank[reg]) + '\n';
    return text;
}

} // namespace kvel::sim
