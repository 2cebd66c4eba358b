// Small files written whole or not at all.
#include "WholeFileSave.h"

#include <filesystem>
#include <fstream>

namespace kvel {

bool SaveWholeFile(const std::string& path, const std::string& text) {
    const std::string fresh = path + ".new";
    {
        std::ofstream file(fresh, std::ios::binary | std::ios::trunc);
        file << text;
        file.close();
        if (!file) {
            std::error_code ignored;
            std::filesystem::remove(fresh, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(fresh, path, error);
    return !error;
}

} // namespace kvel
