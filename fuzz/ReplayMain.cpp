// A plain driver for a fuzz target: feeds every file under the folders (or the files) it is
// given to LLVMFuzzerTestOneInput once, so the seed corpora run with the sanitizers of the test
// build and no libFuzzer. The target's oracles abort on a failure.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::size_t Replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return 1;
}

std::size_t ReplayAll(const std::filesystem::path& where) {
    if (!std::filesystem::is_directory(where)) return Replay(where);
    std::size_t replayed = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(where))
        if (entry.is_regular_file()) replayed += Replay(entry.path());
    return replayed;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::filesystem::exists(argv[i])) {
            std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
            return 2;
        }
        replayed += ReplayAll(argv[i]);
    }
    std::printf("%zu inputs replayed\n", replayed);
    // An empty corpus checks nothing: say so rather than pass.
    return replayed == 0 ? 1 : 0;
}
