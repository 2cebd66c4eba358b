// Modbus RTU CRC-16 (reflected polynomial 0xA001), table driven.
#pragma once

#include <array>
#include <cstdint>

namespace kvel {

using CrcTableType = std::array<std::uint16_t, 256>;

// The table of the reflected polynomial, entry i being the CRC of byte i from 0. It is constexpr
// so that the compiler fills CrcTable: a caller can never meet it empty, whoever starts first.
constexpr CrcTableType init_crc16_tab() {
    CrcTableType table{};
    for (std::uint16_t i = 0; i < 256; ++i) {
        std::uint16_t crc = 0;
        std::uint16_t data = i;
        for (int bit = 0; bit < 8; ++bit) {
            const bool low = ((crc ^ data) & 1u) != 0;
            crc = static_cast<std::uint16_t>(crc >> 1);
            if (low) crc ^= 0xA001;
            data >>= 1;
        }
        table[i] = crc;
    }
    return table;
}

inline constexpr CrcTableType CrcTable = init_crc16_tab();

std::uint16_t Crc16Update(std::uint16_t crc, std::uint8_t byte);
std::uint16_t Crc16Block(std::uint16_t length, const std::uint8_t* bytes);

} // namespace kvel
