// The trend chart window ("График"): the readings and setpoints over a chosen span of time.
#pragma once

#include "ChartTimeTicks.h"
#include "TelemetryDecimation.h"
#include "TelemetryRecorder.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class QButtonGroup;
class QChart;
class QChartView;
class QCheckBox;
class QCategoryAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace kvel {

class FormTimer;

class TelemetryChartWindow : public QWidget {
    Q_OBJECT
public:
    using Clock = std::function<std::int64_t()>;
    enum Span { OneMinute, TenMinutes, OneHour, Everything };

    // Shows itself at once, following the newest samples over ten minutes. `recorder` must
    // outlive it; the clock gives the time the live view ends at.
    // `onScreen` false draws it without ever showing it, for a picture.
    TelemetryChartWindow(const TelemetryRecorder& recorder, Clock clock, QWidget* parent = nullptr,
                         bool onScreen = true);
    // The chart of the last hour as a PNG, drawn off screen.
    static QByteArray LastHourPng(const TelemetryRecorder& recorder, Clock clock);

    // The lines of a quantity: one per unbroken stretch shown, then empty ones kept for reuse.
    const QList<QLineSeries*>& SeriesOf(ChartQuantity quantity) const;
    std::int64_t ShownStartMs() const { return startMs_; }
    std::int64_t ShownEndMs() const { return endMs_; }
    // The values of the sample nearest to `timeMs`, as hovering there shows them.
    QString ValuesAt(std::int64_t timeMs) const;
    // Following live, the lines take in the samples recorded since the last redraw and let go of
    // those scrolled out; otherwise, or when the columns change, they are drawn afresh.
    void Redraw();
    const TimeTicks& ShownTimeTicks() const { return ticks_; }

    std::array<QPushButton*, 4> SpanButtons; // "1 мин", "10 мин", "1 ч", "Всё"
    QCheckBox* LiveCheckBox;
    QPushButton* SavePngButton;
    QPushButton* ExportCsvButton;
    QChartView* ChartView;
    QLabel* HoverLabel;
    FormTimer* LiveTimer;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildForm();
    QWidget* BuildToolbar();
    void BuildChart();
    QValueAxis* AddValueAxis(const QString& title, Qt::Alignment side);
    QLineSeries* AddSeries(ChartQuantity quantity);
    QValueAxis* AxisOf(ChartQuantity quantity) const;
    // A quantity's thinned line and how much of it its series show.
    struct ShownLine {
        ThinnedLine line;
        std::uint64_t firstStretch = 0; // the stretch series 0 shows
        struct Shown {
            std::uint64_t droppedSettled = 0;
            std::uint64_t settledEnd = 0; // counted as ThinnedLine::Stretch counts its points
            qsizetype open = 0;
        };
        std::vector<Shown> series;
    };
    void ComputeSpan();
    ChartColumns ColumnsOfSpan() const;
    void Rebuild(const ChartColumns& columns);
    void TakeNewSamples();
    void ShowLine(ChartQuantity quantity);
    void ShowStretch(QLineSeries* series, const ThinnedLine::Stretch& stretch,
                     ShownLine::Shown& shown);
    void RetireOldestSeries(ChartQuantity quantity);
    void FitValueAxes();
    void ShowTimeTicks();
    void SetSpan(int span);
    void LiveCheckBoxClick(bool live);
    void SavePngButtonClick();
    void ExportCsvButtonClick();
    void ShowValuesUnder(QPoint viewportPosition);
    int PlotColumns() const;

    const TelemetryRecorder& recorder_;
    Clock clock_;
    int span_ = TenMinutes;
    std::int64_t startMs_ = 0;
    std::int64_t endMs_ = 0;
    std::size_t first_ = 0;
    std::size_t last_ = 0;
    std::vector<ShownLine> lines_; // by ChartQuantity
    ChartColumns columns_{};
    bool followed_ = false;       // the lines were last drawn following live
    std::uint64_t nextEntry_ = 0; // the recorder's next entry the lines have not taken
    TimeTicks ticks_;

    QChart* chart_ = nullptr;
    QCategoryAxis* timeAxis_ = nullptr;
    QValueAxis* voltageAxis_ = nullptr;
    QValueAxis* currentAxis_ = nullptr;
    QValueAxis* temperatureAxis_ = nullptr;
    QButtonGroup* spanGroup_ = nullptr;
    std::array<QList<QLineSeries*>, 5> series_; // by ChartQuantity
};

} // namespace kvel
