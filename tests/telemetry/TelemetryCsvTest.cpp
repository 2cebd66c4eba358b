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

// Local time three hours ahead of UTC, whatever the machine's zone.
class MoscowTime {
public:
    MoscowTime() {
        const char* zone = std::getenv("TZ");
        if (zone) old_ = zone;
        hadZone_ = zone != nullptr;
        setenv("TZ", "UTC-3", 1);
        tzset();
    }
    ~MoscowTime() {
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

TEST(TelemetryCsvTest, HeaderNamesEveryColumnWithItsUnit) {
    EXPECT_EQ(CsvHeader(),
              QByteArray("\xEF\xBB\xBF") +
                  QStringLiteral("Время,U вых (В),I вых (A),U бпс (В),t бпс (°С),Уставка U (В),"
                                 "Уставка I (A),Работа,Авария АКБ,Uакб<Uмин,Перегрев,"
                                 "Уровень АКБ\n")
                      .toUtf8());
}

TEST(TelemetryCsvTest, LineHasLocalIsoTimeWithMillisecondsAndDecimalPoints) {
    MoscowTime zone;
    EXPECT_EQ(CsvLine(MorningSample()),
              QByteArray("2026-12-07T13:03:34.123+03:00,54.5,0.7,6553.5,-10,54.0,5.0,1,0,1,1,5\n"));
}

TEST(TelemetryCsvTest, GapHasItsTimeAndNoValues) {
    MoscowTime zone;
    TelemetrySample gap;
    gap.timeMs = kMorningMs + 5;
    gap.gap = true;
    gap.outputVoltage = 545;
    EXPECT_EQ(CsvLine(gap), QByteArray("2026-12-07T13:00:00.005+03:00,,,,,,,,,,,\n"));
}

TEST(TelemetryCsvTest, EveryLineHasAsManyFieldsAsTheHeader) {
    TelemetrySample gap;
    gap.gap = true;
    const auto fields = [](const QByteArray& line) { return line.count(',') + 1; };
    EXPECT_EQ(fields(CsvLine(MorningSample())), fields(CsvHeader()));
    EXPECT_EQ(fields(CsvLine(gap)), fields(CsvHeader()));
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
