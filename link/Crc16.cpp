// Modbus RTU CRC-16.
#include "Crc16.h"

namespace kvel {

CrcTableType CrcTable{};

namespace {
std::uint16_t TableEntry(std::uint16_t index) {
    std::uint16_t crc = 0;
    std::uint16_t data = index;
    for (int bit = 0; bit < 8; ++bit) {
        const bool low = ((crc ^ data) & 1u) != 0;
        crc = static_cast<std::uint16_t>(crc >> 1);
        if (low) crc ^= 0xA001;
        data >>= 1;
    }
    return crc;
}
} // namespace

void init_crc16_tab() {
    for (std::uint16_t i = 0; i < 256; ++i)
        CrcTable[i] = TableEntry(i);
}

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
