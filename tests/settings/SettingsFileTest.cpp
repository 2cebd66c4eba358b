// Settings files: what is written reads back the same, and every kind of bad file is refused
// with the line that is wrong.
#include "SettingsFile.h"
#include "RegisterMap.h"

#include <gtest/gtest.h>

namespace kvel {
namespace {

namespace h = reg::holding;

RegisterImage UnitHolding() {
    RegisterImage holding{};
    for (std::uint16_t i = 0; i < h::Count; ++i)
        holding[i] = static_cast<std::uint16_t>(i % 2);
    holding[h::ChargeVoltageFull] = 545;
    holding[h::MaxTemperature] = 75;
    holding[h::CalibVoltageMax] = 600;
    holding[h::VoltageSource] = 2;
    holding[h::OutputVoltage] = 123; // a reading: not kept
    return holding;
}

SettingsSnapshot Snapshot() {
    return SnapshotOf(UnitHolding(), VersionInfo{112, 2026, 11, 20, 37}, "2026-12-07T10:15:00Z");
}

constexpr std::string_view kClosing = "\n[end]\n";

// A whole valid file with one line replaced (1-based), or added after its last value when
// `line` is 0.
std::string FileWith(int line, const std::string& text) {
    std::string file = WriteSettingsFile(Snapshot());
    if (line == 0) return file.insert(file.size() - kClosing.size(), text + "\n");
    std::size_t start = 0;
    for (int i = 1; i < line; ++i)
        start = file.find('\n', start) + 1;
    const std::size_t end = file.find('\n', start);
    return file.substr(0, start) + text + file.substr(end);
}

std::string Refusal(const std::string& text) {
    const SettingsFileRead read = ReadSettingsFile(text);
    EXPECT_FALSE(read.snapshot) << text;
    return read.error;
}

TEST(SettingsFileTest, KeepsTheWritableSettingsAndCalibrationButNoReadingsOrLinkRegisters) {
    const SettingsSnapshot snapshot = Snapshot();
    EXPECT_EQ(snapshot.holding.size(), 20u);
    EXPECT_EQ(snapshot.holding.count(h::OutputVoltage), 0u);
    EXPECT_EQ(snapshot.holding.count(h::DeviceAddress), 0u);
    EXPECT_EQ(snapshot.holding.count(h::BaudIndex), 0u);
    EXPECT_EQ(snapshot.holding.count(h::CalibrationEnable), 0u);
    EXPECT_EQ(snapshot.holding.at(h::CalibVoltageMax), 600);
    const std::string text = WriteSettingsFile(snapshot);
    EXPECT_NE(text.find("[file]\nformat = 1\nsaved = 2026-12-07T10:15:00Z\n"), std::string::npos);
    EXPECT_NE(text.find("version = 112\ncompiled = 2026-11-20\nbuild = 37\n"), std::string::npos);
    EXPECT_NE(text.find("charge-voltage-full = 54.5 V\n"), std::string::npos);
    EXPECT_NE(text.find("max-temperature = 75 °C\n"), std::string::npos);
    EXPECT_NE(text.find("[calibration]\nvoltage-min = 0.0 V\nvoltage-max = 60.0 V\n"),
              std::string::npos);
}

TEST(SettingsFileTest, WhatIsWrittenReadsBackEqual) {
    const SettingsFileRead read = ReadSettingsFile(WriteSettingsFile(Snapshot()));
    ASSERT_TRUE(read.snapshot) << read.error;
    EXPECT_EQ(*read.snapshot, Snapshot());
}

TEST(SettingsFileTest, ReadsCommentsBlanksCarriageReturnsAndADecimalComma) {
    const std::string text =
        "; made by hand\r\n[file]\r\nformat=1\r\n  saved = 2026-12-07T10:15:00.5+03:00\r\n\r\n"
        "partial = yes\n[firmware]\nversion = 1\ncompiled = 2026-1-2\nbuild = 3\n[settings]\n"
        "# only what matters here\ncharge-voltage-full = 54,5 V\nsound-signal = 0\n[end]\n";
    const SettingsFileRead read = ReadSettingsFile(text);
    ASSERT_TRUE(read.snapshot) << read.error;
    EXPECT_EQ(read.snapshot->savedAt, "2026-12-07T10:15:00.5+03:00");
    EXPECT_EQ(read.snapshot->firmware.compileMonth, 1);
    EXPECT_EQ(read.snapshot->holding, (std::map<std::uint16_t, std::uint16_t>{{5, 545}, {18, 0}}));
}

TEST(SettingsFileTest, ANewerFormatIsRefusedBeforeItsUnknownNames) {
    EXPECT_EQ(Refusal("[file]\nformat = 2\n[future]\nthing = 1\n"),
              "line 2: the file is in format 2, written by a newer kvel; this one reads format 1 "
              "and older");
    EXPECT_EQ(Refusal("[settings]\nsound-signal = 1\n"),
              "line 2: a settings file begins with [file] and format = 1");
    EXPECT_EQ(Refusal("[file]\nformat = 0\n"), "line 2: format wants a whole number from 1");
}

TEST(SettingsFileTest, UnknownNamesAndSectionsAreRefusedWithTheLineAndWhatIsKnown) {
    const std::string unknown = Refusal(FileWith(0, "charge-voltage-half = 53.0 V"));
    EXPECT_EQ(unknown.rfind("line 35: unknown name \"charge-voltage-half\" in [calibration]; known "
                            "there: voltage-min, voltage-max, current-min, current-max",
                            0),
              0u)
        << unknown;
    EXPECT_EQ(Refusal(FileWith(13, "voltage-min = 10.0 V"))
                  .rfind("line 13: unknown name \"voltage-min\" in [settings]", 0),
              0u);
    EXPECT_EQ(
        Refusal(FileWith(0, "[extras]")),
        "line 35: unknown section [extras]; known: [file], [firmware], [settings], [calibration]");
    EXPECT_EQ(Refusal(FileWith(0, "[settings]")), "line 35: section [settings] appears twice");
}

TEST(SettingsFileTest, MalformedLinesAndValuesNameTheirLine) {
    EXPECT_EQ(
        Refusal(FileWith(13, "charge-voltage-full 54.5 V")),
        "line 13: expected \"name = value\" or a [section], found \"charge-voltage-full 54.5 V\"");
    EXPECT_EQ(Refusal(FileWith(13, "charge-voltage-full = 54.5 A")),
              "line 13: charge-voltage-full is in V, not \"A\"");
    EXPECT_EQ(Refusal(FileWith(13, "charge-voltage-full = 54.55 V")),
              "line 13: charge-voltage-full: \"54.55\" has more than one decimal");
    EXPECT_EQ(Refusal(FileWith(13, "charge-voltage-full = 7000 V")),
              "line 13: charge-voltage-full: \"7000\" does not fit charge-voltage-full: it takes "
              "0.0 to 6553.5 V");
    EXPECT_EQ(Refusal(FileWith(0, "current-max = 31.0 A")),
              "line 35: \"current-max\" appears twice in [calibration]");
    EXPECT_EQ(Refusal(FileWith(4, "saved = yesterday")),
              "line 4: saved wants an ISO 8601 time such as 2026-01-31T12:00:00Z");
    EXPECT_EQ(Refusal(FileWith(8, "compiled = 2026-13")),
              "line 8: compiled wants a date such as 2026-01-31");
    EXPECT_EQ(Refusal(FileWith(7, "version = 70000")),
              "line 7: version wants a whole number from 0 to 65535");
    EXPECT_EQ(Refusal(FileWith(3, "[file")), "line 3: a section name ends with ]");
}

TEST(SettingsFileTest, AFileWithoutItsFirmwareOrTimeIsRefused) {
    EXPECT_EQ(Refusal(FileWith(9, "")), "the file ends without build in [firmware]");
    EXPECT_EQ(Refusal("[file]\nformat = 1\n"), "the file ends without saved in [file]");
}

TEST(SettingsFileTest, DifferencesLeaveCalibrationOutUnlessAskedAndFollowRegisterOrder) {
    RegisterImage unit = UnitHolding();
    unit[h::CalibVoltageMax] = 610;
    unit[h::SoundSignal] = 1;
    unit[h::MaxTemperature] = 80;
    unit[h::OutputVoltage] = 999;
    const std::vector<Difference> settings = Differences(Snapshot(), unit, false);
    ASSERT_EQ(settings.size(), 2u);
    EXPECT_STREQ(settings[0].info->name, "max-temperature");
    EXPECT_EQ(settings[0].fileWord, 75);
    EXPECT_EQ(settings[0].unitWord, 80);
    EXPECT_STREQ(settings[1].info->name, "sound-signal");
    const std::vector<Difference> all = Differences(Snapshot(), unit, true);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_STREQ(all[1].info->name, "voltage-max");
    EXPECT_TRUE(Differences(Snapshot(), UnitHolding(), true).empty());
}

} // namespace
} // namespace kvel

namespace kvel {
namespace {

std::string RussianRefusal(const std::string& text) {
    const SettingsFileRead read = ReadSettingsFile(text);
    EXPECT_FALSE(read.snapshot) << text;
    return read.russianError;
}

TEST(SettingsFileEndTest, AFileCutAtAnyLineEndIsRefusedAndOnlyTheWholeOneIsRead) {
    const std::string whole = WriteSettingsFile(Snapshot());
    for (std::size_t end = whole.find('\n'); end + 1 < whole.size();
         end = whole.find('\n', end + 1))
        EXPECT_FALSE(ReadSettingsFile(whole.substr(0, end + 1)).snapshot)
            << whole.substr(0, end + 1);
    EXPECT_EQ(Refusal(whole.substr(0, whole.size() - 7)),
              "the file ends without its closing line [end]: it was cut off while being written");
    EXPECT_EQ(RussianRefusal(whole.substr(0, whole.size() - 7)),
              "файл обрывается: нет последней строки [end], его запись не была закончена");
    EXPECT_TRUE(ReadSettingsFile(whole + "# a note after the end\n\n").snapshot);
    EXPECT_EQ(Refusal(whole + "sound-signal = 0\n"),
              "line 37: nothing may follow [end], found \"sound-signal = 0\"");
}

TEST(SettingsFileEndTest, AFileWithoutSomeValuesIsReadOnlyWhenItSaysItIsPartial) {
    const std::string lacking = FileWith(13, "");
    EXPECT_EQ(Refusal(lacking),
              "the file lacks charge-voltage-full; a file made by hand that holds only some values "
              "says so with partial = yes in [file]");
    EXPECT_EQ(RussianRefusal(lacking),
              "в файле нет charge-voltage-full; файл, составленный вручную не полностью, "
              "отмечается строкой partial = yes в [file]");
    std::string marked = lacking;
    marked.insert(marked.find("saved"), "partial = yes\n");
    const SettingsFileRead read = ReadSettingsFile(marked);
    ASSERT_TRUE(read.snapshot) << read.error;
    EXPECT_EQ(read.snapshot->holding.count(h::ChargeVoltageFull), 0u);
    EXPECT_NE(WriteSettingsFile(*read.snapshot).find("partial = yes\n"), std::string::npos)
        << "what is written again says so too";
    EXPECT_EQ(WriteSettingsFile(Snapshot()).find("partial"), std::string::npos);
    EXPECT_EQ(Refusal(FileWith(4, "partial = some")), "line 4: partial wants yes or no");
}

TEST(SettingsFileEndTest, AByteOrderMarkAValueWithoutItsUnitAndRussianUnitsAreRead) {
    const struct {
        std::string text;
        std::uint16_t reg;
        std::uint16_t word;
    } cases[] = {
        {"\xEF\xBB\xBF" + WriteSettingsFile(Snapshot()), h::ChargeVoltageFull, 545},
        {FileWith(13, "charge-voltage-full = 53,5"), h::ChargeVoltageFull, 535},
        {FileWith(13, "charge-voltage-full = 53.5 В"), h::ChargeVoltageFull, 535},
        {FileWith(12, "max-temperature = 70 °С"), h::MaxTemperature, 70},
        {FileWith(12, "max-temperature = 70"), h::MaxTemperature, 70},
    };
    for (const auto& c : cases) {
        const SettingsFileRead read = ReadSettingsFile(c.text);
        ASSERT_TRUE(read.snapshot) << read.error << "\n" << c.text;
        EXPECT_EQ(read.snapshot->holding.at(c.reg), c.word) << c.text;
    }
}

TEST(SettingsFileEndTest, RefusalsSayInRussianWhatIsWrongAndOnWhichLine) {
    const std::pair<std::string, std::string> cases[] = {
        {FileWith(19, "sound-signal = on"),
         "строка 19: Звуковой сигнал (sound-signal): «on» — не число"},
        {FileWith(13, "charge-voltage-full = 54.55 V"),
         "строка 13: Напряжение заряда 100% (charge-voltage-full): «54.55» — больше одного знака "
         "после запятой"},
        {FileWith(13, "charge-voltage-full = 7000 V"),
         "строка 13: Напряжение заряда 100% (charge-voltage-full): «7000» вне диапазона: допустимо "
         "от 0,0 до 6553,5 В"},
        {FileWith(12, "max-temperature = 75,5 °C"),
         "строка 12: Максимальная температура (max-temperature): «75,5» — нужно целое число"},
        {FileWith(13, "charge-voltage-full = 54.5 A"),
         "строка 13: Напряжение заряда 100% (charge-voltage-full) задаётся в В, а не в «A»"},
        {FileWith(19, "sound-signal = 1 V"),
         "строка 19: Звуковой сигнал (sound-signal) задаётся без единицы, а не в «V»"},
        {FileWith(0, "charge-voltage-half = 53.0 V"),
         "строка 35: неизвестное имя «charge-voltage-half» в [calibration]; там известны: "
         "voltage-min, voltage-max, current-min, current-max"},
        {FileWith(0, "current-max = 31.0 A"),
         "строка 35: «current-max» повторяется в [calibration]"},
        {FileWith(0, "[extras]"),
         "строка 35: неизвестный раздел [extras]; известны: [file], [firmware], [settings], "
         "[calibration]"},
        {FileWith(13, "charge-voltage-full 54.5 V"),
         "строка 13: ожидалась строка «имя = значение» или [раздел], а стоит «charge-voltage-full "
         "54.5 V»"},
        {FileWith(4, "saved = yesterday"),
         "строка 4: в saved нужно время ISO 8601, например 2026-01-31T12:00:00Z"},
        {"[file]\nformat = 2\n", "строка 2: файл в формате 2, его записала более новая kvel; эта "
                                 "читает форматы до 1"},
        {FileWith(9, ""), "в файле нет build в [firmware]"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(RussianRefusal(text), expected);
}

} // namespace
} // namespace kvel

namespace kvel {
namespace {

// Every refusal kind, told in both languages: where it is and what it names agree.
TEST(SettingsFileFaultTest, EachRefusalIsToldInBothLanguagesAtTheSameLine) {
    const unit::Register& full = unit::Holding(reg::holding::ChargeVoltageFull);
    unit::ParsedValue parsed = unit::ParseValue(full, "x");
    const struct {
        SettingsFileFault fault;
        const char* english;
        const char* russian;
    } cases[] = {
        {{FileRefusal::AfterEnd, 4, "a = 1", "end", nullptr, {}},
         "line 4: nothing may follow [end], found \"a = 1\"",
         "строка 4: после [end] ничего не может стоять, а стоит «a = 1»"},
        {{FileRefusal::RepeatedName, 9, "build", "firmware", nullptr, {}},
         "line 9: \"build\" appears twice in [firmware]",
         "строка 9: «build» повторяется в [firmware]"},
        {{FileRefusal::NewerFormat, 2, "7", "file", nullptr, {}},
         "line 2: the file is in format 7, written by a newer kvel; this one reads format 1 and "
         "older",
         "строка 2: файл в формате 7, его записала более новая kvel; эта читает форматы до 1"},
        {{FileRefusal::WrongUnit, 12, "A", "settings", &full, {}},
         "line 12: charge-voltage-full is in V, not \"A\"",
         "строка 12: Напряжение заряда 100% (charge-voltage-full) задаётся в В, а не в «A»"},
        {{FileRefusal::BadValue, 12, "x", "settings", &full, parsed},
         "line 12: charge-voltage-full: \"x\" is not a number",
         "строка 12: Напряжение заряда 100% (charge-voltage-full): «x» — не число"},
        {{FileRefusal::MissingEntry, 0, "saved", "file", nullptr, {}},
         "the file ends without saved in [file]",
         "в файле нет saved в [file]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EnglishText(c.fault), c.english);
        EXPECT_EQ(RussianText(c.fault), c.russian);
    }
}

} // namespace
} // namespace kvel
