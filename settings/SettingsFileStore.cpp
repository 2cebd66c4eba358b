// Settings files on disk: a guarded read, and a save written whole or not at all.
#include "SettingsFileStore.h"

#include "WholeFileSave.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace kvel {

namespace {

SettingsFileRead Refused(std::string reason, std::string russianReason) {
    return {std::nullopt, std::move(reason), std::move(russianReason)};
}

const SaveFailure kTooLarge{"it is larger than 1 MiB, and settings files are under 1 KB",
                            "он больше 1 МиБ, а файлы установок меньше 1 КБ"};

} // namespace

const SaveFailure kNotRegularFile{"it is not a regular file", "это не обычный файл"};

bool IsOtherThanRegularFile(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    return info.exists() && !info.isFile();
}

// The reasons a technician can act on, told apart by the error the system reports. Where the
// system reports none of them (or no errno at all, as on Windows), its own words stand.
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
        const SaveFailure why = SaveFailureFor(errno, file.errorString().toStdString());
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
    // A file marked read-only is someone's wish to keep it, even from root, whom a rename over
    // it would let replace it.
    constexpr QFile::Permissions kAnyWrite =
        QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (target.exists() && (!target.isWritable() || !(target.permissions() & kAnyWrite)))
        return SaveFailure{"the file is read-only", "файл только для чтения"};
    if (const std::optional<SaveError> failed = SaveWholeFileOrSayWhy(path, text))
        return SaveFailureFor(failed->error, failed->systemText);
    return std::nullopt;
}

} // namespace kvel
