// The chart window on a recorder the test fills: its lines, the break at a gap, the bound on
// points, the spans, hovering, and what it saves.
#include "TelemetryChartWindow.h"
#include "ChartTimeTicks.h"
#include "FileChoice.h"
#include "FormTimer.h"
#include "MessageCapture.h"
#include "ScratchDir.h"
#include "TelemetryCsv.h"
#include "TelemetrySamples.h"

#include <QApplication>
#include <QChartView>
#include <QCheckBox>
#include <QDateTime>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

using test::kMorningMs;
using test::Reading;

constexpr std::int64_t kMinuteMs = 60 * 1000;

class TelemetryChartWindowTest : public ::testing::Test {
protected:
    TelemetryChartWindowTest() {
        SetSaveFileChooser([this](QWidget*, const QString& proposed, const QString&) {
            proposedPaths << proposed;
            return chosenPath;
        });
    }
    ~TelemetryChartWindowTest() override { SetSaveFileChooser({}); }

    TelemetryChartWindow& Open() {
        window = std::make_unique<TelemetryChartWindow>(recorder, [this] { return nowMs; });
        QApplication::processEvents();
        return *window;
    }
    // The non-empty lines of a quantity.
    std::vector<QList<QPointF>> Lines(ChartQuantity quantity) const {
        std::vector<QList<QPointF>> lines;
        for (QLineSeries* series : window->SeriesOf(quantity))
            if (series->count() > 0) lines.push_back(series->points());
        return lines;
    }
    std::size_t PointCount(ChartQuantity quantity) const {
        std::size_t count = 0;
        for (const QList<QPointF>& line : Lines(quantity))
            count += line.size();
        return count;
    }
    void Click(QAbstractButton* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        QApplication::processEvents();
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    LinkState state;
    TelemetryRecorder recorder{state};
    std::int64_t nowMs = kMorningMs + 10 * kMinuteMs;
    QString chosenPath;
    QStringList proposedPaths;
    std::unique_ptr<TelemetryChartWindow> window;
};

TEST_F(TelemetryChartWindowTest, EveryQuantityHasItsNamedLineOverTheLastTenMinutes) {
    Reading reading;
    test::PollReplies(recorder, state, reading, kMorningMs, 1201);
    Open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("График"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->LiveCheckBox->isChecked());
    EXPECT_EQ(window->ShownEndMs(), nowMs);
    EXPECT_EQ(window->ShownEndMs() - window->ShownStartMs(), 10 * kMinuteMs);
    const std::vector<std::pair<ChartQuantity, QString>> names{
        {ChartQuantity::OutputVoltage, "U вых"},
        {ChartQuantity::VoltageSetpoint, "Уставка выходного напряжения"},
        {ChartQuantity::OutputCurrent, "I вых"},
        {ChartQuantity::CurrentSetpoint, "Уставка выходного тока"},
        {ChartQuantity::StageTemperature, "t бпс"}};
    for (const auto& [quantity, name] : names) {
        const std::vector<QList<QPointF>> lines = Lines(quantity);
        ASSERT_EQ(lines.size(), 1u) << name.toStdString();
        EXPECT_EQ(window->SeriesOf(quantity).first()->name(), name);
        EXPECT_EQ(lines[0].first().x(), double(kMorningMs + 500));
        EXPECT_EQ(lines[0].last().x(), double(nowMs));
    }
    EXPECT_DOUBLE_EQ(Lines(ChartQuantity::OutputVoltage)[0].first().y(), 54.0);
    EXPECT_DOUBLE_EQ(Lines(ChartQuantity::OutputCurrent)[0].first().y(), 3.2);
    EXPECT_DOUBLE_EQ(Lines(ChartQuantity::CurrentSetpoint)[0].first().y(), 5.0);
    EXPECT_DOUBLE_EQ(Lines(ChartQuantity::StageTemperature)[0].first().y(), 35.0);
}

TEST_F(TelemetryChartWindowTest, LineBreaksWhereTheLinkWasLost) {
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 200);
    test::LoseLink(recorder, state, kMorningMs + 105 * 1000);
    test::PollReplies(recorder, state, Reading{}, kMorningMs + 200 * 1000, 200);
    Open();
    for (ChartQuantity quantity : {ChartQuantity::OutputVoltage, ChartQuantity::StageTemperature}) {
        const std::vector<QList<QPointF>> lines = Lines(quantity);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].last().x(), double(kMorningMs + 199 * 500));
        EXPECT_EQ(lines[1].first().x(), double(kMorningMs + 200 * 1000 + 500));
    }
    // One legend entry a quantity however often its line breaks.
    EXPECT_EQ(window->SeriesOf(ChartQuantity::OutputVoltage)[1]->name(), QStringLiteral("U вых"));
}

TEST_F(TelemetryChartWindowTest, DayOfSamplesIsThinnedToTheBound) {
    const int dayOfReplies = 24 * 3600 * 2;
    test::PollReplies(recorder, state, Reading{}, kMorningMs, dayOfReplies / 2);
    Reading other;
    other.outputVoltage = 560;
    other.stageTemperature = 50;
    test::PollReplies(recorder, state, other, kMorningMs + dayOfReplies / 2 * 500,
                      dayOfReplies / 2);
    nowMs = kMorningMs + dayOfReplies * 500;
    Open();
    Click(window->SpanButtons[TelemetryChartWindow::Everything]);
    EXPECT_EQ(window->ShownStartMs(), kMorningMs + 500);
    for (ChartQuantity quantity : {ChartQuantity::OutputVoltage, ChartQuantity::VoltageSetpoint,
                                   ChartQuantity::OutputCurrent, ChartQuantity::CurrentSetpoint,
                                   ChartQuantity::StageTemperature}) {
        // Two level halves: their ends and the step between them.
        EXPECT_GE(PointCount(quantity), 2u);
        EXPECT_LE(PointCount(quantity), 2u * kMaxChartColumns + 1);
    }
    // The step halfway through survives the thinning.
    const QList<QPointF> line = Lines(ChartQuantity::OutputVoltage)[0];
    EXPECT_DOUBLE_EQ(line.first().y(), 54.0);
    EXPECT_DOUBLE_EQ(line.last().y(), 56.0);
}

TEST_F(TelemetryChartWindowTest, SpansChooseHowFarBackTheChartReaches) {
    test::PollReplies(recorder, state, Reading{}, kMorningMs - 2 * 3600 * 1000, 4);
    Open();
    const std::vector<std::pair<int, std::int64_t>> spans{
        {TelemetryChartWindow::OneMinute, kMinuteMs},
        {TelemetryChartWindow::OneHour, 60 * kMinuteMs},
        {TelemetryChartWindow::Everything, 2 * 3600 * 1000 + 10 * kMinuteMs - 500},
        {TelemetryChartWindow::TenMinutes, 10 * kMinuteMs}};
    for (const auto& [span, lengthMs] : spans) {
        Click(window->SpanButtons[span]);
        EXPECT_TRUE(window->SpanButtons[span]->isChecked());
        EXPECT_EQ(window->ShownEndMs() - window->ShownStartMs(), lengthMs) << span;
    }
}

TEST_F(TelemetryChartWindowTest, LiveViewFollowsNewSamplesAndStopsWhenTurnedOff) {
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 1201);
    Open();
    Reading higher;
    higher.outputVoltage = 600;
    nowMs += 2000;
    test::PollReplies(recorder, state, higher, nowMs - 500, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->ShownEndMs() == nowMs; }, 3000));
    EXPECT_DOUBLE_EQ(Lines(ChartQuantity::OutputVoltage)[0].last().y(), 60.0);

    Click(window->LiveCheckBox);
    EXPECT_FALSE(window->LiveCheckBox->isChecked());
    const std::int64_t frozenEnd = window->ShownEndMs();
    nowMs += 5000;
    QTest::qWait(1200);
    window->Redraw();
    EXPECT_EQ(window->ShownEndMs(), frozenEnd);
}

// Three minutes of following a one-minute span, a redraw a second as the live timer does: the
// series hold what a window opened afresh draws, apart from the column the span's start cuts,
// and no more points once the span has filled a second time than when it first filled.
TEST_F(TelemetryChartWindowTest, FollowingLiveDrawsWhatAFreshWindowDrawsWithAFlatCount) {
    nowMs = kMorningMs;
    Open();
    window->LiveTimer->SetInterval(0); // the test's redraws, not the timer's
    Click(window->SpanButtons[TelemetryChartWindow::OneMinute]);
    std::size_t pointsWhenFull = 0;
    for (int second = 1; second <= 180; ++second) {
        Reading reading;
        reading.outputVoltage = static_cast<std::uint16_t>(500 + (second * 37) % 41);
        reading.voltageSetpoint = second < 100 ? 540 : 560;
        test::PollReplies(recorder, state, reading, nowMs + 500, 2);
        nowMs += 1000;
        if (second == 150) test::LoseLink(recorder, state, nowMs);
        window->Redraw();
        if (second == 60) pointsWhenFull = PointCount(ChartQuantity::OutputVoltage);
    }
    EXPECT_LE(PointCount(ChartQuantity::OutputVoltage), pointsWhenFull + 6);
    EXPECT_LE(PointCount(ChartQuantity::VoltageSetpoint), 10u) << "level runs keep their ends";
    const std::vector<QList<QPointF>> followed = Lines(ChartQuantity::OutputVoltage);
    window.reset();
    Open();
    Click(window->SpanButtons[TelemetryChartWindow::OneMinute]);
    const std::vector<QList<QPointF>> fresh = Lines(ChartQuantity::OutputVoltage);
    ASSERT_EQ(followed.size(), 2u) << "broken where the link was lost";
    ASSERT_EQ(fresh.size(), followed.size());
    EXPECT_EQ(followed[1], fresh[1]);
    const QList<QPointF> tail = fresh[0].mid(3);
    EXPECT_EQ(followed[0].mid(followed[0].size() - tail.size()), tail);
}

TEST_F(TelemetryChartWindowTest, SetpointIsDashedWhereItsReadingIsSolid) {
    Open();
    for (const auto& [reading, setpoint] :
         {std::pair{ChartQuantity::OutputVoltage, ChartQuantity::VoltageSetpoint},
          std::pair{ChartQuantity::OutputCurrent, ChartQuantity::CurrentSetpoint}}) {
        EXPECT_EQ(window->SeriesOf(reading).first()->pen().style(), Qt::SolidLine);
        EXPECT_NE(window->SeriesOf(setpoint).first()->pen().style(), Qt::SolidLine);
    }
}

TEST_F(TelemetryChartWindowTest, TimeTicksFallOnRoundLocalTimes) {
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 1201);
    nowMs += 1234;
    Open();
    for (int span : {TelemetryChartWindow::OneMinute, TelemetryChartWindow::TenMinutes,
                     TelemetryChartWindow::OneHour}) {
        Click(window->SpanButtons[span]);
        const TimeTicks& ticks = window->ShownTimeTicks();
        ASSERT_GE(ticks.timesMs.size(), 3u) << span;
        for (std::int64_t tick : ticks.timesMs) {
            const QDateTime local = QDateTime::fromMSecsSinceEpoch(tick);
            EXPECT_EQ(local.time().msecsSinceStartOfDay() % ticks.intervalMs, 0) << span;
        }
    }
}

TEST_F(TelemetryChartWindowTest, ReadoutOfTheOldSpanIsClearedWhenTheSpanChanges) {
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 1201);
    Open();
    QWidget* plot = window->ChartView->viewport();
    QTest::mouseMove(plot, QPoint(plot->width() / 3, plot->height() / 2));
    QApplication::processEvents();
    ASSERT_FALSE(window->HoverLabel->text().isEmpty());
    Click(window->SpanButtons[TelemetryChartWindow::OneMinute]);
    EXPECT_TRUE(window->HoverLabel->text().isEmpty());
}

TEST_F(TelemetryChartWindowTest, OpensInsideTheScreensFreeArea) {
    Open();
    const QRect area = window->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(window->geometry())) << area.width() << "x" << area.height();
}

TEST_F(TelemetryChartWindowTest, HoveringShowsTheNearestSamplesValues) {
    Reading reading;
    reading.outputVoltage = 545;
    reading.voltageSetpoint = 540;
    reading.outputCurrent = 7;
    reading.currentSetpoint = 50;
    reading.stageTemperature = 0xFFF6;
    test::PollReplies(recorder, state, reading, kMorningMs, 1201);
    Open();
    QWidget* plot = window->ChartView->viewport();
    QTest::mouseMove(plot, QPoint(plot->width() / 2, plot->height() / 2));
    QApplication::processEvents();
    EXPECT_TRUE(window->HoverLabel->text().endsWith(
        QStringLiteral("U вых 54,5 В, уставка 54,0 В   I вых 0,7 А, уставка 5,0 А   t бпс -10 °С")))
        << window->HoverLabel->text().toStdString();
}

TEST_F(TelemetryChartWindowTest, ValuesNearAGapSayTheLinkWasLost) {
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 5);
    test::LoseLink(recorder, state, kMorningMs + 5000);
    Open();
    EXPECT_TRUE(window->ValuesAt(kMorningMs + 4900).endsWith(QStringLiteral("нет связи")));
    EXPECT_TRUE(window->ValuesAt(kMorningMs + 2100).contains(QStringLiteral("U вых 54,0 В")));
}

TEST_F(TelemetryChartWindowTest, SavesTheChartAsAPicture) {
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 1201);
    Open();
    chosenPath = dir.File("chart.png");
    Click(window->SavePngButton);
    ASSERT_EQ(proposedPaths.size(), 1);
    EXPECT_TRUE(QRegularExpression(QRegularExpression::anchoredPattern(
                                       QRegularExpression::escape(dir.File("chart-")) +
                                       R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.png)"))
                    .match(proposedPaths[0])
                    .hasMatch())
        << proposedPaths[0].toStdString();
    const QImage image(chosenPath);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), window->ChartView->size());
    // Something is drawn: not a single colour.
    const QRgb corner = image.pixel(0, 0);
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; y += 3)
        for (int x = 0; x < image.width() && !drawn; x += 3)
            drawn = image.pixel(x, y) != corner;
    EXPECT_TRUE(drawn);
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(TelemetryChartWindowTest, ExportsTheShownSpanAsCsv) {
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 1201);
    Open();
    Click(window->SpanButtons[TelemetryChartWindow::OneMinute]);
    chosenPath = dir.File("span.csv");
    Click(window->ExportCsvButton);
    QFile file(chosenPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // The header, a sample every 500 ms over the minute both ends included, and the end.
    ASSERT_EQ(lines.size(), 1 + 121 + 1);
    EXPECT_EQ(lines[0] + '\n', CsvHeader());
    const std::size_t first = recorder.FirstAtOrAfter(nowMs - kMinuteMs);
    EXPECT_EQ(lines[1] + '\n', CsvLine(recorder.At(first)));
    EXPECT_EQ(lines[121] + '\n', CsvLine(recorder.At(recorder.Size() - 1)));
}

TEST_F(TelemetryChartWindowTest, FileThatCannotBeWrittenIsSaid) {
    Open();
    chosenPath = dir.File("missing/chart.png");
    Click(window->SavePngButton);
    chosenPath = dir.File("missing/chart.csv");
    Click(window->ExportCsvButton);
    EXPECT_EQ(
        messages.texts,
        (QStringList{QStringLiteral("Не удалось записать файл ") + dir.File("missing/chart.png"),
                     QStringLiteral("Не удалось записать файл ") + dir.File("missing/chart.csv")}));
}

TEST_F(TelemetryChartWindowTest, CancelledChoiceSavesNothing) {
    Open();
    chosenPath.clear();
    Click(window->SavePngButton);
    Click(window->ExportCsvButton);
    EXPECT_EQ(proposedPaths.size(), 2);
    EXPECT_TRUE(QDir(dir.Path()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(messages.texts.isEmpty());
}

} // namespace
} // namespace kvel
