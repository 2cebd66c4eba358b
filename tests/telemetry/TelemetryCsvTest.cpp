// The CSV form: exact header and lines, files that cannot be written, what reaches the disk.
#include "TelemetryCsv.h"
#include "TelemetrySamples.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace kvel {
namespace {

using test::kMorningMs;

// Local time in a POSIX zone, whatever the machine's.
class ZoneOf {
public:
    explicit ZoneOf(const char* posixZone) {
        const char* zone = std::getenv("TZ");
        if (zone) old_ = zone;
        hadZone_ = zone != nullptr;
        setenv("TZ", posixZone, 1);
        tzset();
    }
    ~ZoneOf() {
        if (hadZone_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string old_;
    bool hadZone_ = false;
};

// Three hours ahead of UTC.
class MoscowTime : public ZoneOf {
public:
    MoscowTime() : ZoneOf("UTC-3") {}
};

TelemetrySample MorningSample() {
    TelemetrySample sample;
    sample.timeMs = kMorningMs + 3 * 60 * 1000 + 34123; // 10:03:34.123 UTC
    sample.outputVoltage = 545;
    sample.outputCurrent = 7;
    sample.stageVoltage = 65535;
    sample.stageTemperature = -10;
    sample.voltageSetpoint = 540;
    sample.currentSetpoint = 50;
    sample.status = 0x010D; // working, overheat, battery low, fifth level step
    sample.batteryLevel = 5;
    return sample;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What each dialect writes for the header, a reading and a break, byte for byte.
struct DialectCase {
    CsvDialect dialect;
    QByteArray header;
    QByteArray line;
    QByteArray gap;
};

const DialectCase kDialects[] = {
    {CsvDialect::Excel,
     QByteArray("\xEF\xBB\xBF") +
         QStringLiteral("Время;Часовой пояс;U вых (В);I вых (А);U бпс (В);t бпс (°С);"
                        "Уставка выходного напряжения (В);Уставка выходного тока (А);Работа;"
                        "Авария АКБ;Uакб<Uмин;Перегрев;Уровень АКБ\n")
             .toUtf8(),
     "2026-12-07 13:03:34.123;UTC+03:00;54,5;0,7;6553,5;-10;54,0;5,0;1;0;1;1;5\n",
     "2026-12-07 13:00:00.005;UTC+03:00;;;;;;;;;;;\n"},
    {CsvDialect::Standard,
     QStringLiteral("Время,Часовой пояс,U вых (В),I вых (А),U бпс (В),t бпс (°С),"
                    "Уставка выходного напряжения (В),Уставка выходного тока (А),Работа,"
                    "Авария АКБ,Uакб<Uмин,Перегрев,Уровень АКБ\n")
         .toUtf8(),
     "2026-12-07 13:03:34.123,UTC+03:00,54.5,0.7,6553.5,-10,54.0,5.0,1,0,1,1,5\n",
     "2026-12-07 13:00:00.005,UTC+03:00,,,,,,,,,,,\n"},
};

TEST(TelemetryCsvTest, EachDialectWritesHeaderReadingAndBreakAsSpreadsheetsReadThem) {
    MoscowTime zone;
    TelemetrySample gap;
    gap.timeMs = kMorningMs + 5;
    gap.gap = true;
    gap.outputVoltage = 545;
    for (const DialectCase& c : kDialects) {
        SCOPED_TRACE(CsvDialectName(c.dialect));
        EXPECT_EQ(CsvHeader(c.dialect), c.header);
        EXPECT_EQ(CsvLine(MorningSample(), c.dialect), c.line);
        EXPECT_EQ(CsvLine(gap, c.dialect), c.gap);
        EXPECT_EQ(CsvDialectNamed(CsvDialectName(c.dialect)), c.dialect);
    }
    EXPECT_EQ(CsvDialectNamed("Excel"), std::nullopt);
}

TEST(TelemetryCsvTest, OffsetWestOfGreenwichAndOnTheHalfHour) {
    const struct {
        const char* zone;
        const char* offset;
    } cases[] = {{"UTC+5", "UTC-05:00"}, {"UTC-5:30", "UTC+05:30"}, {"UTC0", "UTC+00:00"}};
    for (const auto& c : cases) {
        ZoneOf zone(c.zone);
        EXPECT_EQ(UtcOffset(kMorningMs), QByteArray(c.offset)) << c.zone;
    }
}

TEST(TelemetryCsvTest, AppendingKeepsOneHeaderAndRefusesAnotherDialect) {
    QTemporaryDir dir;
    const QString path = dir.filePath("watch.csv");
    for (int run = 0; run < 2; ++run) {
        CsvLogFile file;
        ASSERT_TRUE(file.OpenToAppend(path, CsvDialect::Standard));
        file.Append(MorningSample());
        ASSERT_TRUE(file.Flush());
    }
    const QByteArray line = CsvLine(MorningSample(), CsvDialect::Standard);
    EXPECT_EQ(ReadAll(path), CsvHeader(CsvDialect::Standard) + line + line);
    CsvLogFile other;
    EXPECT_FALSE(other.OpenToAppend(path, CsvDialect::Excel));
    EXPECT_FALSE(other.OpenFailure().isEmpty());
    EXPECT_EQ(ReadAll(path), CsvHeader(CsvDialect::Standard) + line + line);
}

// Several units in one file: the address after the time, and a file of one unit's columns is
// not appended to.
TEST(TelemetryCsvTest, SeveralUnitsHaveTheirAddressAfterTheTime) {
    MoscowTime zone;
    QTemporaryDir dir;
    const QString path = dir.filePath("units.csv");
    CsvLogFile file;
    ASSERT_TRUE(file.OpenToAppend(path, CsvDialect::Standard, CsvUnits::Several));
    TelemetrySample silent;
    silent.timeMs = kMorningMs + 5;
    silent.gap = true;
    file.Append(MorningSample(), 7);
    file.Append(silent, 3);
    ASSERT_TRUE(file.Flush());
    const QList<QByteArray> lines = ReadAll(path).split('\n');
    EXPECT_TRUE(
        lines[0].startsWith(QStringLiteral("Время,Часовой пояс,Адрес,U вых (В),").toUtf8()));
    EXPECT_EQ(lines[1],
              "2026-12-07 13:03:34.123,UTC+03:00,7,54.5,0.7,6553.5,-10,54.0,5.0,1,0,1,1,5");
    EXPECT_EQ(lines[2], "2026-12-07 13:00:00.005,UTC+03:00,3,,,,,,,,,,,");
    CsvLogFile oneUnit;
    EXPECT_FALSE(oneUnit.OpenToAppend(path, CsvDialect::Standard));
}

TEST(TelemetryCsvTest, LinesReachTheFileAtFlush) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    CsvLogFile file;
    ASSERT_TRUE(file.Open(path));
    EXPECT_EQ(ReadAll(path), CsvHeader());
    file.Append(MorningSample());
    file.Append(MorningSample());
    ASSERT_TRUE(file.Flush());
    EXPECT_EQ(ReadAll(path), CsvHeader() + CsvLine(MorningSample()) + CsvLine(MorningSample()));
}

TEST(TelemetryCsvTest, FileThatCannotBeCreatedIsRefused) {
    QTemporaryDir dir;
    CsvLogFile file;
    EXPECT_FALSE(file.Open(dir.filePath("missing/log.csv")));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Open(QString()));
}

TEST(TelemetryCsvTest, FullDiskIsNoticed) {
    if (!QFile::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    CsvLogFile file;
    EXPECT_FALSE(file.Open("/dev/full"));
}

TEST(TelemetryCsvTest, WritesTheEntriesAskedFor) {
    LinkState state;
    TelemetryRecorder recorder(state);
    test::PollReplies(recorder, state, test::Reading{}, kMorningMs, 5); // 4 samples
    test::LoseLink(recorder, state, kMorningMs + 9000);
    QTemporaryDir dir;
    const QString path = dir.filePath("span.csv");
    ASSERT_TRUE(WriteCsvFile(path, recorder, 2, 5));
    EXPECT_EQ(ReadAll(path), CsvHeader() + CsvLine(recorder.At(2)) + CsvLine(recorder.At(3)) +
                                 CsvLine(recorder.At(4)));
    EXPECT_FALSE(WriteCsvFile(dir.filePath("missing/span.csv"), recorder, 0, 5));
}

} // namespace
} // namespace kvel
