// data.inf: three little-endian 16-bit words.
#include "DataInf.h"

#include "SettingsFileStore.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

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
    if (IsOtherThanRegularFile(path)) return false;
    std::FILE* file = std::fopen(path, "r+b");
    if (!file) return false;
    // Reading byte-wise lets a short file fill exactly the bytes it has.
    FileBytes bytes = Encode(settings);
    std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    settings = Decode(bytes);
    return true;
}

bool SaveDataInf(const char* path, const ConnectionSettings& settings, std::string* failure) {
    const auto failed = [failure](const SaveFailure& why) {
        if (failure) *failure = why.reason;
        return false;
    };
    if (IsOtherThanRegularFile(path)) return failed(kNotRegularFile);
    errno = 0;
    std::FILE* file = std::fopen(path, "r+b");
    if (!file) file = std::fopen(path, "w+b");
    if (!file) return failed(SaveFailureFor(errno, std::strerror(errno)));
    const FileBytes bytes = Encode(settings);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    // The six bytes wait in the stream's buffer: a full disk shows only here.
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return true;
    return failed(SaveFailureFor(errno, std::strerror(errno)));
}

} // namespace kvel
