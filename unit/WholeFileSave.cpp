// Files written whole or not at all.
#include "WholeFileSave.h"

#include <QFile>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace kvel {

namespace {
SaveError FileError(const QFile& file, int error) {
    return {error, file.errorString().toStdString()};
}

// The error number where the system's error is one errno names, else 0.
SaveError RenameError(const std::error_code& code) {
    const std::error_condition condition = code.default_error_condition();
    const bool numbered = condition.category() == std::generic_category();
    return {numbered ? condition.value() : 0, code.message()};
}

std::optional<SaveError> WriteFresh(const std::string& fresh, const std::string& text) {
    QFile file(QString::fromStdString(fresh));
    errno = 0;
    // Unbuffered, so that a write that fails does so here, with the system's reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return FileError(file, errno);
    errno = 0;
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size) return FileError(file, errno);
    errno = 0;
    if (!file.flush()) return FileError(file, errno);
    return std::nullopt;
}
} // namespace

std::optional<SaveError> SaveWholeFileOrSayWhy(const std::string& path, const std::string& text) {
    const std::string fresh = path + ".new";
    if (std::optional<SaveError> failed = WriteFresh(fresh, text)) {
        std::error_code ignored;
        if (std::filesystem::is_regular_file(fresh, ignored))
            std::filesystem::remove(fresh, ignored);
        return failed;
    }
    std::error_code error;
    std::filesystem::rename(fresh, path, error);
    if (!error) return std::nullopt;
    std::error_code ignored;
    std::filesystem::remove(fresh, ignored);
    return RenameError(error);
}

} // namespace kvel
