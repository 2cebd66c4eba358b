// The data.inf reader and writer on arbitrary file contents. Oracle: the words read are the
// file's first six bytes little-endian (missing bytes keep their values), and a write puts back
// exactly those six bytes while keeping whatever follows.
#include "DataInf.h"
#include "Reference.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

using namespace kvel;

namespace {
const std::string& FilePath() {
    static const std::string path = "/tmp/kvel-fuzz-data-inf-" + std::to_string(::getpid());
    return path;
}

std::vector<std::uint8_t> ReadAll() {
    std::ifstream file(FilePath(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::vector<std::uint8_t>& bytes) {
    std::ofstream(FilePath(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::uint16_t Word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const ConnectionSettings before{input.ConsumeIntegral<std::uint16_t>(),
                                    input.ConsumeIntegral<std::uint16_t>(),
                                    input.ConsumeIntegral<std::uint16_t>()};
    const std::vector<std::uint8_t> contents = input.ConsumeRemainingBytes<std::uint8_t>();
    WriteAll(contents);

    std::vector<std::uint8_t> expected{static_cast<std::uint8_t>(before.addressWord),
                                       static_cast<std::uint8_t>(before.addressWord >> 8),
                                       static_cast<std::uint8_t>(before.baudIndexWord),
                                       static_cast<std::uint8_t>(before.baudIndexWord >> 8),
                                       static_cast<std::uint8_t>(before.comPortWord),
                                       static_cast<std::uint8_t>(before.comPortWord >> 8)};
    for (std::size_t i = 0; i < contents.size() && i < expected.size(); ++i)
        expected[i] = contents[i];

    ConnectionSettings settings = before;
    KVEL_FUZZ_CHECK(LoadDataInf(FilePath().c_str(), settings));
    KVEL_FUZZ_CHECK(settings.addressWord == Word(expected, 0));
    KVEL_FUZZ_CHECK(settings.baudIndexWord == Word(expected, 2));
    KVEL_FUZZ_CHECK(settings.comPortWord == Word(expected, 4));

    settings.comPortWord = static_cast<std::uint16_t>(settings.comPortWord ^ 0x0101);
    expected[4] ^= 1;
    expected[5] ^= 1;
    KVEL_FUZZ_CHECK(SaveDataInf(FilePath().c_str(), settings));
    const std::vector<std::uint8_t> written = ReadAll();
    KVEL_FUZZ_CHECK(written.size() == std::max(contents.size(), expected.size()));
    KVEL_FUZZ_CHECK(std::equal(expected.begin(), expected.end(), written.begin()));
    KVEL_FUZZ_CHECK(std::equal(
        written.begin() + 6, written.end(),
        contents.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(6, contents.size()))));
    return 0;
}
