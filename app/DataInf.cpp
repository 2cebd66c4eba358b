// data.inf: three little-endian 16-bit words.
#include "DataInf.h"

#include <array>
#include <cstdio>

namespace kvel {

namespace {

constexpr std::size_t kFileBytes = 6;
using FileBytes = std::array<unsigned char, kFileBytes>;

void PutWord(FileBytes& bytes, std::size_t at, std::uint16_t word) {
    bytes[at] = static_cast<unsigned char>(word & 0xFF);
    bytes[at + 1] = static_cast<unsigned char>(word >> 8);
}

std::uint16_t GetWord(const FileBytes& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

FileBytes Encode(const ConnectionSettings& settings) {
    FileBytes bytes{};
    PutWord(bytes, 0, settings.addressWord);
    PutWord(bytes, 2, settings.baudIndexWord);
    PutWord(bytes, 4, settings.comPortWord);
    return bytes;
}

ConnectionSettings Decode(const FileBytes& bytes) {
    return {GetWord(bytes, 0), GetWord(bytes, 2), GetWord(bytes, 4)};
}

} // namespace

bool LoadDataInf(const char* path, ConnectionSettings& settings) {
    std::FILE* file = std::fopen(path, "r+b");
    if (!file) return false;
    // Reading byte-wise lets a short file fill exactly the bytes it has.
    FileBytes bytes = Encode(settings);
    std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    settings = Decode(bytes);
    return true;
}

bool SaveDataInf(const char* path, const ConnectionSettings& settings) {
    std::FILE* file = std::fopen(path, "r+b");
    if (!file) file = std::fopen(path, "w+b");
    if (!file) return false;
    const FileBytes bytes = Encode(settings);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace kvel
