// Small files written whole or not at all.
#include "WholeFileSave.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kvel {

namespace {
bool Failed(SaveError* error, int code, const std::string& text) {
    if (error) *error = {code, text};
    return false;
}
} // namespace

bool SaveWholeFile(const std::string& path, const std::string& text, SaveError* error) {
    const std::string fresh = path + ".new";
    {
        errno = 0;
        std::ofstream file(fresh, std::ios::binary | std::ios::trunc);
        file << text;
        file.close();
        if (!file) {
            const int code = errno;
            std::error_code ignored;
            std::filesystem::remove(fresh, ignored);
            return Failed(error, code, std::strerror(code));
        }
    }
    std::error_code renamed;
    std::filesystem::rename(fresh, path, renamed);
    if (renamed) return Failed(error, renamed.value(), renamed.message());
    return true;
}

} // namespace kvel
