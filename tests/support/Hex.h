// Frames written the way the protocol shows them ("01 03 00 00 00 1B 05 C1"), and a CRC helper
// that does not reuse the code under test, so a wrong table cannot vouch for itself.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace kvel::test {

inline std::vector<std::uint8_t> Hex(const char* text) {
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (std::isspace(c)) continue;
        if (!std::isxdigit(c)) throw std::invalid_argument(std::string("not hex: ") + text);
        const int nibble = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | nibble));
            high = -1;
        }
    }
    if (high >= 0) throw std::invalid_argument(std::string("odd digit count: ") + text);
    return bytes;
}

inline std::string ToHex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char digits[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += digits;
    }
    return text;
}

// Bit by bit, straight from the polynomial.
inline std::uint16_t ReferenceCrc16(const std::vector<std::uint8_t>& bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                             : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

// The frame with its CRC appended low byte first, as it travels on the line.
inline std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> frame) {
    const std::uint16_t crc = ReferenceCrc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

inline std::vector<std::uint8_t> WithCrc(const char* hex) {
    return WithCrc(Hex(hex));
}

// A well-formed read reply: `words` big-endian after the byte count, CRC appended.
inline std::vector<std::uint8_t> ReadReply(std::uint8_t address, std::uint8_t function,
                                           const std::vector<std::uint16_t>& words) {
    std::vector<std::uint8_t> frame{address, function, static_cast<std::uint8_t>(2 * words.size())};
    for (std::uint16_t word : words) {
        frame.push_back(static_cast<std::uint8_t>(word >> 8));
        frame.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
    return WithCrc(frame);
}

inline std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> first,
                                        const std::vector<std::uint8_t>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

} // namespace kvel::test
