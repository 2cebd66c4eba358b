// Modbus RTU CRC-16 (reflected polynomial 0xA001), table driven.
#pragma once

#include <array>
#include <cstdint>

namespace kvel {

using CrcTableType = std::array<std::uint16_t, 256>;

// Built once by init_crc16_tab and read-only afterwards.
extern CrcTableType CrcTable;

void init_crc16_tab();
std::uint16_t Crc16Update(std::uint16_t crc, std::uint8_t byte);
std::uint16_t Crc16Block(std::uint16_t length, const std::uint8_t* bytes);

} // namespace kvel
