// The trend chart window ("График"): the readings and setpoints over a chosen span of time.
#pragma once

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
class QDateTimeAxis;
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
    TelemetryChartWindow(const TelemetryRecorder& recorder, Clock clock, QWidget* parent = nullptr);

    // The lines of a quantity: one per unbroken stretch shown, then empty ones kept for reuse.
    const QList<QLineSeries*>& SeriesOf(ChartQuantity quantity) const;
    std::int64_t ShownStartMs() const { return startMs_; }
    std::int64_t ShownEndMs() const { return endMs_; }
    // The values of the sample nearest to `timeMs`, as hovering there shows them.
    QString ValuesAt(std::int64_t timeMs) const;
    void Redraw();

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
    void ShowSegments(ChartQuantity quantity, const std::vector<ChartSegment>& segments);
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

    QChart* chart_ = nullptr;
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* voltageAxis_ = nullptr;
    QValueAxis* currentAxis_ = nullptr;
    QValueAxis* temperatureAxis_ = nullptr;
    QButtonGroup* spanGroup_ = nullptr;
    std::array<QList<QLineSeries*>, 5> series_; // by ChartQuantity
};

} // namespace kvel
