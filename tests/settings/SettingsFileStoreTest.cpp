// Settings files on disk: what is not a settings file is refused before it is read, and a save
// replaces the old file only whole.
#include "SettingsFileStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kvel {
namespace {

class SettingsFileStoreTest : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }

    static QByteArray Contents(const std::string& path) {
        QFile file(QString::fromStdString(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    const std::string text = WriteSettingsFile(
        SnapshotOf(RegisterImage{}, VersionInfo{112, 2026, 11, 20, 37}, "2026-12-07T10:15:00Z"));
};

TEST_F(SettingsFileStoreTest, WhatIsSavedLoadsBackAndReplacesTheOldFile) {
    const std::string path = Path("unit.ini");
    ASSERT_FALSE(SaveSettingsFile(path, "old"));
    ASSERT_FALSE(SaveSettingsFile(path, text));
    EXPECT_EQ(Contents(path).toStdString(), text);
    const SettingsFileRead read = LoadSettingsFile(path);
    ASSERT_TRUE(read.snapshot) << read.error;
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"unit.ini"})
        << "no temporary file is left behind";
}

TEST_F(SettingsFileStoreTest, WhatCannotBeASettingsFileIsRefusedBeforeItIsRead) {
    const std::string fifo = Path("fifo.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0); // reading it would wait for a writer for ever
    QFile big(dir.filePath("big.ini"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(kSettingsFileMostBytes + 1));
    const std::pair<std::string, std::string> cases[] = {
        {Path("missing.ini"), "no such file"},
        {dir.path().toStdString(), "it is not a regular file"},
        {"/dev/zero", "it is not a regular file"},
        {fifo, "it is not a regular file"},
        {Path("big.ini"), "it is larger than 1 MiB, and settings files are under 1 KB"},
    };
    for (const auto& [path, reason] : cases) {
        const SettingsFileRead read = LoadSettingsFile(path);
        EXPECT_FALSE(read.snapshot) << path;
        EXPECT_EQ(read.error, reason) << path;
        EXPECT_FALSE(read.russianError.empty());
    }
}

TEST_F(SettingsFileStoreTest, ASaveThatCannotBeMadeSaysWhyAndLeavesTheOldFileAlone) {
    const std::string readOnly = Path("kept.ini");
    ASSERT_FALSE(SaveSettingsFile(readOnly, "old"));
    QFile::setPermissions(QString::fromStdString(readOnly), QFile::ReadOwner);
    const struct {
        std::string path;
        std::string reason;
        std::string russianReason;
    } cases[] = {
        {readOnly, "the file is read-only", "файл только для чтения"},
        {Path("no-such-folder/unit.ini"), "the folder does not exist", "нет такой папки"},
        {"/dev/null", "it is not a regular file", "это не обычный файл"},
        {dir.path().toStdString(), "it is not a regular file", "это не обычный файл"},
    };
    for (const auto& c : cases) {
        const std::optional<SaveFailure> failure = SaveSettingsFile(c.path, text);
        ASSERT_TRUE(failure) << c.path;
        EXPECT_EQ(failure->reason, c.reason) << c.path;
        EXPECT_EQ(failure->russianReason, c.russianReason) << c.path;
    }
    EXPECT_EQ(Contents(readOnly), "old");
}

} // namespace
} // namespace kvel
