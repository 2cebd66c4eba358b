// Settings files on disk: a guarded read, and a save through a temporary file.
#include "SettingsFileStore.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

namespace kvel {

namespace {

SettingsFileRead Refused(std::string reason, std::string russianReason) {
    return {std::nullopt, std::move(reason), std::move(russianReason)};
}

const SaveFailure kTooLarge{"it is larger than 1 MiB, and settings files are under 1 KB",
                            "он больше 1 МиБ, а файлы установок меньше 1 КБ"};

SaveFailure Reason(const QFileDevice& file, int error) {
    return SaveFailureFor(error, file.errorString().toStdString());
}

} // namespace

const SaveFailure kNotRegularFile{"it is not a regular file", "это не обычный файл"};

bool IsOtherThanRegularFile(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    return info.exists() && !info.isFile();
}

// Where the system reports none of these (or no errno at all, as on Windows), its own words
// stand.
SaveFailure SaveFailureFor(int error, const std::string& systemText) {
    switch (error) {
    case ENOSPC:
        return {"the disk is full", "диск заполнен"};
#ifdef EDQUOT
    case EDQUOT:
        return {"the disk quota is used up", "исчерпана дисковая квота"};
#endif
    case EROFS:
        return {"the disk is read-only", "диск только для чтения"};
    case EACCES:
    case EPERM:
        return {"permission denied", "нет прав доступа"};
    case EFBIG:
        return {"the file size limit is reached", "достигнут предельный размер файла"};
    case ENOENT:
    case ENOTDIR:
        return {"the folder does not exist", "нет такой папки"};
    default:
        break;
    }
    return {systemText, "ошибка системы: " + systemText};
}

SettingsFileRead LoadSettingsFile(const std::string& path) {
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    if (!info.exists()) return Refused("no such file", "файл не найден");
    if (IsOtherThanRegularFile(path))
        return Refused(kNotRegularFile.reason, kNotRegularFile.russianReason);
    if (info.size() > kSettingsFileMostBytes)
        return Refused(kTooLarge.reason, kTooLarge.russianReason);
    QFile file(name);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        const SaveFailure why = Reason(file, errno);
        return Refused("cannot read it: " + why.reason, "не читается: " + why.russianReason);
    }
    // It may have grown since it was measured.
    const QByteArray text = file.read(kSettingsFileMostBytes + 1);
    if (text.size() > kSettingsFileMostBytes)
        return Refused(kTooLarge.reason, kTooLarge.russianReason);
    return ReadSettingsFile(
        std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

std::optional<SaveFailure> SaveSettingsFile(const std::string& path, const std::string& text) {
    const QString name = QString::fromStdString(path);
    const QFileInfo target(name);
    if (IsOtherThanRegularFile(path)) return kNotRegularFile;
    // A file marked read-only is someone's wish to keep it, even from root, whom QSaveFile
    // would let replace it.
    constexpr QFile::Permissions kAnyWrite =
        QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (target.exists() && (!target.isWritable() || !(target.permissions() & kAnyWrite)))
        return SaveFailure{"the file is read-only", "файл только для чтения"};
    QSaveFile file(name);
    errno = 0;
    // Unbuffered, so that a write that fails does so here, with the system's reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return Reason(file, errno);
    errno = 0;
    const auto size = static_cast<qint64>(text.size());
    // A short write (the disk filled up) is no error to QSaveFile: it would commit the part.
    if (file.write(text.data(), size) != size) {
        const int error = errno;
        file.cancelWriting();
        return Reason(file, error);
    }
    errno = 0;
    if (!file.commit()) return Reason(file, errno);
    return std::nullopt;
}

} // namespace kvel
