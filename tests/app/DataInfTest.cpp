// data.inf: short, long and odd files, and what is written back.
#include "DataInf.h"
#include "ScratchDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kvel {
namespace {

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int v : values)
        bytes.append(static_cast<char>(v));
    return bytes;
}

void WriteFile(const QByteArray& bytes) {
    QFile file(kDataInfName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadFile() {
    QFile file(kDataInfName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class DataInfTest : public ::testing::Test {
protected:
    test::ScratchDir dir;
};

TEST_F(DataInfTest, ReadsThreeLittleEndianWords) {
    WriteFile(Bytes({0x05, 0x01, 0x09, 0x00, 0x0C, 0x01}));
    ConnectionSettings settings;
    ASSERT_TRUE(LoadDataInf(kDataInfName, settings));
    EXPECT_EQ(settings.addressWord, 0x0105);
    EXPECT_EQ(settings.baudIndexWord, 9);
    EXPECT_EQ(settings.comPortWord, 0x010C);
}

TEST_F(DataInfTest, MissingFileLoadsNothing) {
    ConnectionSettings settings{7, 8, 9};
    EXPECT_FALSE(LoadDataInf(kDataInfName, settings));
    EXPECT_EQ(settings.addressWord, 7);
    EXPECT_EQ(settings.comPortWord, 9);
}

TEST_F(DataInfTest, ShortFileFillsOnlyTheBytesItHas) {
    WriteFile(Bytes({0x02, 0x00, 0x03, 0x00, 0x07}));
    ConnectionSettings settings{0, 0, 0x1200};
    ASSERT_TRUE(LoadDataInf(kDataInfName, settings));
    EXPECT_EQ(settings.addressWord, 2);
    EXPECT_EQ(settings.baudIndexWord, 3);
    EXPECT_EQ(settings.comPortWord, 0x1207);
}

TEST_F(DataInfTest, EmptyAndLongFilesLoadWithoutHarm) {
    WriteFile(QByteArray());
    ConnectionSettings settings;
    EXPECT_TRUE(LoadDataInf(kDataInfName, settings));
    EXPECT_EQ(settings.comPortWord, 0);

    WriteFile(QByteArray(100000, '\xFF'));
    EXPECT_TRUE(LoadDataInf(kDataInfName, settings));
    EXPECT_EQ(settings.addressWord, 0xFFFF);
    EXPECT_EQ(settings.comPortWord, 0xFFFF);
}

TEST_F(DataInfTest, SaveKeepsBytesAfterTheSixth) {
    WriteFile(Bytes({1, 0, 3, 0, 1, 0, 0xAA, 0xBB}));
    ASSERT_TRUE(SaveDataInf(kDataInfName, ConnectionSettings{0x0005, 0xFFFF, 12}));
    EXPECT_EQ(ReadFile(), Bytes({0x05, 0x00, 0xFF, 0xFF, 0x0C, 0x00, 0xAA, 0xBB}));
}

TEST_F(DataInfTest, SaveCreatesAMissingFile) {
    ASSERT_TRUE(SaveDataInf(kDataInfName, ConnectionSettings{1, 3, 1}));
    EXPECT_EQ(ReadFile(), Bytes({1, 0, 3, 0, 1, 0}));
}

TEST_F(DataInfTest, UnwritablePlaceSavesNothingAndSaysSo) {
    EXPECT_FALSE(SaveDataInf("no-such-dir/data.inf", ConnectionSettings{1, 3, 1}));
}

// A pipe would keep the program waiting for a writer, a device may read without end.
TEST_F(DataInfTest, WhatIsNotARegularFileIsNeitherReadNorWrittenAndTheSaveSaysWhy) {
    ASSERT_EQ(::mkfifo("pipe.inf", 0600), 0);
    ASSERT_TRUE(QDir().mkdir("folder.inf"));
    const struct {
        const char* path;
        const char* why;
    } cases[] = {
        {"pipe.inf", "it is not a regular file"},
        {"folder.inf", "it is not a regular file"},
        {"/dev/zero", "it is not a regular file"},
        {"no-such-dir/data.inf", "the folder does not exist"},
    };
    for (const auto& c : cases) {
        ConnectionSettings settings{7, 8, 9};
        EXPECT_FALSE(LoadDataInf(c.path, settings)) << c.path;
        EXPECT_EQ(settings.comPortWord, 9) << c.path;
        std::string failure;
        EXPECT_FALSE(SaveDataInf(c.path, ConnectionSettings{1, 3, 1}, &failure)) << c.path;
        EXPECT_EQ(failure, c.why) << c.path;
    }
    EXPECT_FALSE(QFileInfo("pipe.inf").isFile()) << "the pipe stays a pipe";
}

} // namespace
} // namespace kvel
