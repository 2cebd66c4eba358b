// Settings files on disk, for the windows and kvel-cli alike: reading refuses what cannot be a
// settings file before reading it, and saving never leaves a cut-off file in place of the old
// one.
#pragma once

#include "SettingsFile.h"

#include <optional>
#include <string>

namespace kvel {

// Settings files are under 1 KB; anything past this is not one.
constexpr long long kSettingsFileMostBytes = 1024 * 1024;

// Reads and parses the file at `path` (UTF-8); refuses a missing or unreadable file, a folder,
// a device or a pipe, and a file over kSettingsFileMostBytes, without reading it.
SettingsFileRead LoadSettingsFile(const std::string& path);

// Why a file could not be saved, in both languages: "the disk is full" / "диск заполнен".
struct SaveFailure {
    std::string reason;
    std::string russianReason;
};

// Something other than a regular file stands at `path`: a folder, a device or a pipe. Opening a
// pipe waits for a writer and a device may read without end, so no file of ours is read or
// written there; the refusal says so.
bool IsOtherThanRegularFile(const std::string& path);
extern const SaveFailure kNotRegularFile;
// The reasons a technician can act on, told apart by the error (errno) the system reported;
// where it reported none of them, `systemText` stands.
SaveFailure SaveFailureFor(int error, const std::string& systemText);
// Refuses what is no regular file or is marked read-only; then saves it whole or not at all.
std::optional<SaveFailure> SaveSettingsFile(const std::string& path, const std::string& text);

} // namespace kvel
