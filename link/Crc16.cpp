// Modbus RTU CRC-16.
#include "Crc16.h"

namespace kvel {

std::uint16_t Crc16Update(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>((crc >> 8) ^ CrcTable[(crc ^ byte) & 0xFF]);
}

std::uint16_t Crc16Block(std::uint16_t length, const std::uint8_t* bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint16_t i = 0; i < length; ++i)
        crc = Crc16Update(crc, bytes[i]);
    return crc;
}

} // namespace kvel
