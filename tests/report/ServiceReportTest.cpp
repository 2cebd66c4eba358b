// The service report's entries, and its archive read back entry by entry through libzip.
#include "ServiceReport.h"

#include "KvelVersion.h"
#include "RegisterMap.h"
#include "ScratchDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <map>
#include <zip.h>

namespace kvel {
namespace {

// 2026-12-07 13:03:34 UTC.
constexpr std::int64_t kNowMs = 1796648614000;

std::map<std::string, std::string> Unpacked(const std::string& archiveBytes) {
    std::map<std::string, std::string> entries;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_buffer_create(archiveBytes.data(), archiveBytes.size(), 0, &error);
    zip_t* archive =
        source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
    if (!archive) {
        zip_source_free(source);
        ADD_FAILURE() << zip_error_strerror(&error);
        return entries;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
        std::string contents(static_cast<std::size_t>(stat.size), '\0');
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        EXPECT_EQ(zip_fread(file, contents.data(), stat.size), static_cast<zip_int64_t>(stat.size));
        zip_fclose(file);
        entries[stat.name] = contents;
    }
    zip_discard(archive);
    return entries;
}

RegisterImage Image(std::initializer_list<std::pair<int, std::uint16_t>> words) {
    RegisterImage image{};
    for (const auto& [reg, word] : words)
        image[static_cast<std::size_t>(reg)] = word;
    return image;
}

TEST(ServiceReportTest, ArchiveHoldsEveryEntryByteForByte) {
    ServiceReport report;
    const std::string binary("\x00\xFF\x50\x4B\x03\x04\r\n", 8);
    report.Add("a.txt", "текст\n", "");
    report.Add("chart.png", binary, "");
    report.Add("empty", "", "");
    std::string error;
    const std::map<std::string, std::string> entries = Unpacked(report.ArchiveBytes(error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(entries, (std::map<std::string, std::string>{
                           {"a.txt", "текст\n"}, {"chart.png", binary}, {"empty", ""}}));
}

TEST(ServiceReportTest, UnitPartHoldsIdentitySettingsAndEveryRegister) {
    const RegisterImage holding = Image({{reg::holding::VoltageSetpoint, 545}});
    const RegisterImage input =
        Image({{reg::input::FirmwareVersion, 112}, {reg::input::CompileNumber, 7}});
    ServiceReport report;
    AddUnit(report, holding, input, kNowMs);
    std::string error;
    const auto entries = Unpacked(report.ArchiveBytes(error));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries.at(kIdentityEntry).rfind("Firmware: version 112, ", 0), 0u);
    EXPECT_NE(entries.at(kIdentityEntry).find("build 7"), std::string::npos);
    const SettingsFileRead settings = ReadSettingsFile(entries.at(kSettingsEntry));
    ASSERT_TRUE(settings.snapshot) << settings.error;
    EXPECT_EQ(settings.snapshot->holding.at(reg::holding::VoltageSetpoint), 545);
    const std::string& csv = entries.at(kRegistersEntry);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'),
              static_cast<long>(std::size(unit::kRegisterTable) + 1));
    EXPECT_NE(csv.find("\nholding,16,voltage-setpoint,545,54.5,V\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\ninput,1,"), std::string::npos) << csv;
}

struct SummaryCase {
    ReportLine line;
    const char* russianLine;
    const char* englishLine;
};

TEST(ServiceReportTest, SummarySaysTheSameInRussianAndEnglish) {
    const SummaryCase cases[] = {
        {{"COM3", 19200, 7},
         "Линия: COM3, 19200 бод, адрес 7",
         "Line: COM3, 19200 bit/s, address 7"},
        {{"tcp://10.0.0.5:4001", 0, 1},
         "Линия: tcp://10.0.0.5:4001, адрес 1",
         "Line: tcp://10.0.0.5:4001, address 1"},
    };
    for (const SummaryCase& c : cases) {
        const std::string summary = SummaryText(c.line, kNowMs);
        for (const std::string& expected :
             {std::string(c.russianLine), std::string(c.englishLine),
              std::string("Программа: kvel ") + kVersion, std::string("Program: kvel ") + kVersion,
              std::string("Часовой пояс: "), std::string("Time zone: "),
              std::string("Время: 2026-12-0"), std::string("Time: 2026-12-0")})
            EXPECT_NE(summary.find(expected), std::string::npos) << expected << " in\n" << summary;
    }
}

TEST(ServiceReportTest, ProgramFilesGoInUnderTheirNamesOnlyWhereTheyAre) {
    test::ScratchDir dir;
    QFile file("network.ini");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[line]\n");
    file.close();
    QDir().mkdir("folder.ini");
    ServiceReport report;
    AddFileIfPresent(report, dir.File("network.ini").toStdString(), "файл программы");
    AddFileIfPresent(report, "data.inf", "файл программы");
    AddFileIfPresent(report, "folder.ini", "файл программы");
    ASSERT_EQ(report.Entries().size(), 1u);
    EXPECT_EQ(report.Entries()[0].name, "network.ini");
    EXPECT_EQ(report.Entries()[0].contents, "[line]\n");
}

// The file is there whole or not at all.
TEST(ServiceReportTest, ArchiveThatCannotBeWrittenLeavesNothingAndSaysWhy) {
    test::ScratchDir dir;
    QDir().mkdir("taken.zip");
    ServiceReport report;
    report.Add("a.txt", std::string(4096, 'a'), "");
    const struct {
        const char* path;
        const char* russianReason;
    } cases[] = {{"no-folder/report.zip", "нет такой папки"}, {"taken.zip", "это не обычный файл"}};
    for (const auto& c : cases) {
        const std::optional<SaveFailure> failure = report.Write(c.path);
        ASSERT_TRUE(failure) << c.path;
        EXPECT_EQ(failure->russianReason, c.russianReason) << c.path;
    }
    EXPECT_EQ(QDir(".").entryList(QDir::Files | QDir::Hidden), QStringList());
    EXPECT_FALSE(report.Write("report.zip"));
    EXPECT_EQ(QDir(".").entryList(QDir::Files | QDir::Hidden), QStringList{"report.zip"});
}

} // namespace
} // namespace kvel
