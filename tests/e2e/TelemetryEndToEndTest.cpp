// The telemetry recorded from the real link against kvel-sim: samples while the unit answers,
// one break while it is silent, samples again when it answers, and all of it in the CSV file.
#include "CliRunner.h"
#include "TelemetryCsv.h"
#include "TelemetryRecording.h"
#include "TelemetryTools.h"
#include "WindowProgramFixture.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace kvel {
namespace {

// 50 scheduler ticks of silence, with room for a loaded machine.
constexpr int kLinkLossMs = 12000;

TEST(TelemetryEndToEndTest, SilenceIsOneBreakBetweenSamplesAndTheFileHasThemAll) {
    test::ScratchDir dir;
    test::MessageCapture messages;
    ASSERT_NO_FATAL_FAILURE(test::WriteDataInfOfCom1(3));
    test::SimulatedUnit unit;
    ASSERT_TRUE(unit.Started());
    SystemSerialChannel channel;
    TForm1 form(channel);
    TelemetryTools& telemetry = *form.Room<TelemetryTools>();
    const TelemetryRecorder& recorder = telemetry.Recorder();
    ASSERT_TRUE(telemetry.Recording().Start(dir.File("log.csv")));

    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.Size() >= 4; }, 8000));
    const TelemetrySample first = recorder.At(0);
    EXPECT_NE(first.outputVoltage, 0);
    EXPECT_NE(first.voltageSetpoint, 0);
    EXPECT_TRUE(first.status & 1) << "working bit";

    unit.ToggleSilence();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.At(recorder.Size() - 1).gap; }, kLinkLossMs));
    const std::size_t gapIndex = recorder.Size() - 1;
    unit.ToggleSilence();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.Size() >= gapIndex + 3; }, kLinkLossMs));

    for (std::size_t i = 0; i < recorder.Size(); ++i) {
        EXPECT_EQ(recorder.At(i).gap, i == gapIndex) << i;
        if (i > 0) {
            EXPECT_GE(recorder.At(i).timeMs, recorder.At(i - 1).timeMs) << i;
        }
        if (!recorder.At(i).gap) {
            EXPECT_NE(recorder.At(i).voltageSetpoint, 0) << i;
        }
    }
    // Samples a poll apart while the unit answers.
    EXPECT_LT(recorder.At(gapIndex - 1).timeMs - recorder.At(gapIndex - 2).timeMs, 2000);

    telemetry.Recording().Stop();
    QFile log(dir.File("log.csv"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    QByteArray expected = CsvHeader();
    for (std::size_t i = 0; i < recorder.Size(); ++i)
        expected += CsvLine(recorder.At(i));
    EXPECT_EQ(log.readAll(), expected);
    EXPECT_TRUE(messages.texts.isEmpty());
}

QByteArray FileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first line and the number of fields of the second: what a spreadsheet sees as columns.
struct CsvShape {
    QByteArray header;
    qsizetype fields = 0;
    bool operator==(const CsvShape& other) const {
        return header == other.header && fields == other.fields;
    }
};

CsvShape ShapeOf(const QByteArray& text, char separator) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 2) return {};
    return {lines[0], lines[1].count(separator) + 1};
}

TEST(TelemetryEndToEndTest, WindowLogAndCliWatchWriteTheSameColumnsInEachDialect) {
    test::ScratchDir dir;
    test::MessageCapture messages;
    ASSERT_NO_FATAL_FAILURE(test::WriteDataInfOfCom1(3));
    test::SimulatedUnit unit;
    ASSERT_TRUE(unit.Started());
    const struct {
        CsvDialect dialect;
        const char* name;
        char separator;
    } dialects[] = {{CsvDialect::Excel, "excel", ';'}, {CsvDialect::Standard, "standard", ','}};
    {
        SystemSerialChannel channel;
        TForm1 form(channel);
        TelemetryTools& telemetry = *form.Room<TelemetryTools>();
        for (const auto& d : dialects) {
            const std::uint64_t before = telemetry.Recorder().Recorded();
            ASSERT_TRUE(telemetry.Recording().Start(dir.File(QString("window-%1.csv").arg(d.name)),
                                                    d.dialect));
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return telemetry.Recorder().Recorded() >= before + 2; }, 8000));
            telemetry.Recording().Stop();
        }
    }
    for (const auto& d : dialects) {
        SCOPED_TRACE(d.name);
        const QString cliFile = dir.File(QString("watch-%1.csv").arg(d.name));
        const test::CliRun cli = test::RunCli(
            {"--port", "1", "watch", "--count", "1", "--csv-dialect", d.name, "--csv", cliFile},
            30000);
        ASSERT_EQ(cli.exitCode, 0) << cli.err.toStdString();
        const CsvShape window =
            ShapeOf(FileText(dir.File(QString("window-%1.csv").arg(d.name))), d.separator);
        EXPECT_EQ(window.header + '\n', CsvHeader(d.dialect));
        EXPECT_EQ(window.fields, 13);
        EXPECT_EQ(ShapeOf(FileText(cliFile), d.separator), window);
    }
    EXPECT_TRUE(messages.texts.isEmpty());
}

} // namespace
} // namespace kvel
