// The trend chart window ("График"): the readings and setpoints over a chosen span of time.
#include "TelemetryChartWindow.h"

#include "FileChoice.h"
#include "FormFont.h"
#include "FormPlacement.h"
#include "FormTimer.h"
#include "MessageBox.h"
#include "NewestWindow.h"
#include "TelemetryCsv.h"

#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <limits>
#include <map>

namespace kvel {

namespace {

constexpr QSize kOuterSize(908, 591);
constexpr std::int64_t kMinuteMs = 60 * 1000;
constexpr std::array<std::int64_t, 3> kSpanMs{kMinuteMs, 10 * kMinuteMs, 60 * kMinuteMs};
// A pixel column of the ten-minute view lasts about a second, so redrawing more often than
// that shows nothing new and costs CPU.
constexpr int kLiveRefreshMs = 1000;

// A setpoint is drawn dashed in a darker shade of its reading, which it often covers.
struct QuantityLook {
    QString name;
    QColor color;
    Qt::PenStyle style;
};

QuantityLook LookOf(ChartQuantity quantity) {
    switch (quantity) {
    case ChartQuantity::OutputVoltage:
        return {QStringLiteral("U вых"), QColor(0, 90, 200), Qt::SolidLine};
    case ChartQuantity::VoltageSetpoint:
        return {QStringLiteral("Уставка U"), QColor(0, 30, 90), Qt::DashLine};
    case ChartQuantity::OutputCurrent:
        return {QStringLiteral("I вых"), QColor(200, 30, 30), Qt::SolidLine};
    case ChartQuantity::CurrentSetpoint:
        return {QStringLiteral("Уставка I"), QColor(110, 0, 0), Qt::DashLine};
    case ChartQuantity::StageTemperature:
        return {QStringLiteral("t бпс"), QColor(230, 140, 0), Qt::SolidLine};
    }
    return {};
}

constexpr std::array<ChartQuantity, 5> kAllQuantities{
    ChartQuantity::OutputVoltage, ChartQuantity::VoltageSetpoint, ChartQuantity::OutputCurrent,
    ChartQuantity::CurrentSetpoint, ChartQuantity::StageTemperature};

// The lowest and highest value drawn on an axis.
struct ValueRange {
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    bool Empty() const { return low > high; }
    void Take(double value) {
        low = std::min(low, value);
        high = std::max(high, value);
    }
};

// The values drawn, with a little room above and below; an empty or flat line gets a volt,
// an ampere or a degree of room.
void FitAxis(QValueAxis* axis, ValueRange range) {
    if (range.Empty()) range = {0, 1};
    const double margin = std::max(0.5, (range.high - range.low) * 0.05);
    axis->setRange(range.low - margin, range.high + margin);
}

QString Tenths(std::uint16_t tenths) {
    return QString::number(tenths / 10) + ',' + QString::number(tenths % 10);
}

QDateTime TimeOf(std::int64_t timeMs) {
    return QDateTime::fromMSecsSinceEpoch(timeMs);
}

} // namespace

TelemetryChartWindow::TelemetryChartWindow(const TelemetryRecorder& recorder, Clock clock,
                                           QWidget* parent)
    : QWidget(parent, Qt::Window), recorder_(recorder), clock_(std::move(clock)) {
    NewestWindow<TelemetryChartWindow>::Set(this);
    setAttribute(Qt::WA_DeleteOnClose);
    BuildForm();
    LiveTimer = new FormTimer([this] { Redraw(); }, this);
    LiveCheckBox->setChecked(true);
    ShowCentred(*this, kOuterSize);
}

void TelemetryChartWindow::BuildForm() {
    setWindowTitle(QStringLiteral("График"));
    setFont(MsSansSerif());
    BuildChart();
    HoverLabel = new QLabel(this);
    HoverLabel->setMinimumHeight(17);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(BuildToolbar());
    layout->addWidget(ChartView, 1);
    layout->addWidget(HoverLabel);
}

QWidget* TelemetryChartWindow::BuildToolbar() {
    auto* toolbar = new QWidget(this);
    auto* row = new QHBoxLayout(toolbar);
    row->setContentsMargins(0, 0, 0, 0);
    spanGroup_ = new QButtonGroup(this);
    const std::array<QString, 4> spanTexts{QStringLiteral("1 мин"), QStringLiteral("10 мин"),
                                           QStringLiteral("1 ч"), QStringLiteral("Всё")};
    for (int span = 0; span < static_cast<int>(SpanButtons.size()); ++span) {
        SpanButtons[span] = new QPushButton(spanTexts[span], toolbar);
        SpanButtons[span]->setCheckable(true);
        spanGroup_->addButton(SpanButtons[span], span);
        row->addWidget(SpanButtons[span]);
    }
    SpanButtons[span_]->setChecked(true);
    LiveCheckBox = new QCheckBox(QStringLiteral("Следить"), toolbar);
    row->addWidget(LiveCheckBox);
    row->addStretch(1);
    SavePngButton = new QPushButton(QStringLiteral("Сохранить как PNG"), toolbar);
    ExportCsvButton = new QPushButton(QStringLiteral("Экспорт CSV"), toolbar);
    row->addWidget(SavePngButton);
    row->addWidget(ExportCsvButton);
    connect(spanGroup_, &QButtonGroup::idClicked, this, &TelemetryChartWindow::SetSpan);
    connect(LiveCheckBox, &QCheckBox::toggled, this, &TelemetryChartWindow::LiveCheckBoxClick);
    connect(SavePngButton, &QPushButton::clicked, this, &TelemetryChartWindow::SavePngButtonClick);
    connect(ExportCsvButton, &QPushButton::clicked, this,
            &TelemetryChartWindow::ExportCsvButtonClick);
    return toolbar;
}

void TelemetryChartWindow::BuildChart() {
    chart_ = new QChart;
    chart_->setMargins(QMargins(4, 4, 4, 4));
    chart_->legend()->setAlignment(Qt::AlignTop);
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setTickCount(7);
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    voltageAxis_ = AddValueAxis(QStringLiteral("В"), Qt::AlignLeft);
    currentAxis_ = AddValueAxis(QStringLiteral("A"), Qt::AlignRight);
    temperatureAxis_ = AddValueAxis(QStringLiteral("°С"), Qt::AlignRight);
    for (ChartQuantity quantity : kAllQuantities)
        AddSeries(quantity);
    ChartView = new QChartView(chart_, this);
    ChartView->viewport()->setMouseTracking(true);
    ChartView->viewport()->installEventFilter(this);
}

QValueAxis* TelemetryChartWindow::AddValueAxis(const QString& title, Qt::Alignment side) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setLabelFormat(QStringLiteral("%.1f"));
    chart_->addAxis(axis, side);
    return axis;
}

QLineSeries* TelemetryChartWindow::AddSeries(ChartQuantity quantity) {
    QList<QLineSeries*>& pool = series_[static_cast<int>(quantity)];
    const QuantityLook look = LookOf(quantity);
    auto* series = new QLineSeries;
    series->setName(look.name);
    series->setPen(QPen(look.color, 2, look.style));
    chart_->addSeries(series);
    series->attachAxis(timeAxis_);
    series->attachAxis(AxisOf(quantity));
    // One legend entry a quantity, however often its line breaks.
    if (!pool.isEmpty())
        for (QLegendMarker* marker : chart_->legend()->markers(series))
            marker->setVisible(false);
    pool.append(series);
    return series;
}

// U вых with its setpoint, I вых with its setpoint, and t бпс each on an axis of their own.
QValueAxis* TelemetryChartWindow::AxisOf(ChartQuantity quantity) const {
    switch (quantity) {
    case ChartQuantity::OutputVoltage:
    case ChartQuantity::VoltageSetpoint:
        return voltageAxis_;
    case ChartQuantity::OutputCurrent:
    case ChartQuantity::CurrentSetpoint:
        return currentAxis_;
    case ChartQuantity::StageTemperature:
        return temperatureAxis_;
    }
    return voltageAxis_;
}

const QList<QLineSeries*>& TelemetryChartWindow::SeriesOf(ChartQuantity quantity) const {
    return series_[static_cast<int>(quantity)];
}

void TelemetryChartWindow::Redraw() {
    if (LiveCheckBox->isChecked() || endMs_ == 0) endMs_ = clock_();
    if (span_ != Everything)
        startMs_ = endMs_ - kSpanMs[span_];
    else
        startMs_ = recorder_.Size() ? std::min(recorder_.At(0).timeMs, endMs_ - kMinuteMs)
                                    : endMs_ - kMinuteMs;
    first_ = recorder_.FirstAtOrAfter(startMs_);
    last_ = recorder_.FirstAtOrAfter(endMs_ + 1);

    std::map<QValueAxis*, ValueRange> ranges;
    const int columns = PlotColumns();
    for (ChartQuantity quantity : kAllQuantities) {
        const std::vector<ChartSegment> segments =
            DecimateForChart(recorder_, first_, last_, quantity, startMs_, endMs_, columns);
        ShowSegments(quantity, segments);
        ValueRange& range = ranges[AxisOf(quantity)];
        for (const ChartSegment& segment : segments)
            for (const ChartPoint& point : segment)
                range.Take(point.value);
    }
    timeAxis_->setFormat(endMs_ - startMs_ > kSpanMs.back() ? QStringLiteral("dd.MM HH:mm")
                                                            : QStringLiteral("HH:mm:ss"));
    timeAxis_->setRange(TimeOf(startMs_), TimeOf(endMs_));
    for (auto& [axis, range] : ranges)
        FitAxis(axis, range);
}

void TelemetryChartWindow::ShowSegments(ChartQuantity quantity,
                                        const std::vector<ChartSegment>& segments) {
    const QList<QLineSeries*>& pool = SeriesOf(quantity);
    while (pool.size() < static_cast<qsizetype>(segments.size()))
        AddSeries(quantity);
    for (qsizetype i = 0; i < pool.size(); ++i) {
        if (i >= static_cast<qsizetype>(segments.size())) {
            if (pool[i]->count() != 0) pool[i]->clear();
            continue;
        }
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(segments[i].size()));
        for (const ChartPoint& point : segments[i])
            points.append(QPointF(static_cast<double>(point.timeMs), point.value));
        pool[i]->replace(points);
    }
}

int TelemetryChartWindow::PlotColumns() const {
    const int plotWidth = static_cast<int>(chart_->plotArea().width());
    return std::clamp(plotWidth > 0 ? plotWidth : ChartView->width(), 1, kMaxChartColumns);
}

void TelemetryChartWindow::SetSpan(int span) {
    span_ = span;
    Redraw();
}

void TelemetryChartWindow::LiveCheckBoxClick(bool live) {
    LiveTimer->SetInterval(live ? kLiveRefreshMs : 0);
    Redraw();
}

QString TelemetryChartWindow::ValuesAt(std::int64_t timeMs) const {
    if (recorder_.Size() == 0) return QString();
    std::size_t nearest = recorder_.FirstAtOrAfter(timeMs);
    if (nearest == recorder_.Size() || (nearest > 0 && timeMs - recorder_.At(nearest - 1).timeMs <
                                                           recorder_.At(nearest).timeMs - timeMs))
        --nearest;
    const TelemetrySample& sample = recorder_.At(nearest);
    const QString time = TimeOf(sample.timeMs).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    if (sample.gap) return time + QStringLiteral("   нет связи");
    return time +
           QStringLiteral("   U вых %1 В, уставка %2 В   I вых %3 A, уставка %4 A   t бпс %5 °С")
               .arg(Tenths(sample.outputVoltage), Tenths(sample.voltageSetpoint),
                    Tenths(sample.outputCurrent), Tenths(sample.currentSetpoint))
               .arg(sample.stageTemperature);
}

void TelemetryChartWindow::ShowValuesUnder(QPoint viewportPosition) {
    const QPointF position = chart_->mapFromScene(ChartView->mapToScene(viewportPosition));
    if (!chart_->plotArea().contains(position)) return;
    const QPointF value =
        chart_->mapToValue(position, SeriesOf(ChartQuantity::OutputVoltage).first());
    HoverLabel->setText(ValuesAt(static_cast<std::int64_t>(value.x())));
}

bool TelemetryChartWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ChartView->viewport() && event->type() == QEvent::MouseMove)
        ShowValuesUnder(static_cast<QMouseEvent*>(event)->position().toPoint());
    return QWidget::eventFilter(watched, event);
}

// A wider plot has more pixel columns to fill.
void TelemetryChartWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Redraw();
}

void TelemetryChartWindow::SavePngButtonClick() {
    const QString proposed = QDir::current().filePath(
        TimestampedFileName(QStringLiteral("chart"), QStringLiteral("png"), clock_()));
    const QString path = ChooseSaveFile(this, proposed, QStringLiteral("PNG (*.png)"));
    if (path.isEmpty()) return;
    if (!ChartView->grab().save(path, "PNG"))
        ShowMessage(QStringLiteral("Не удалось записать файл ") + path);
}

void TelemetryChartWindow::ExportCsvButtonClick() {
    const QString proposed = QDir::current().filePath(
        TimestampedFileName(QStringLiteral("chart"), QStringLiteral("csv"), clock_()));
    const QString path = ChooseSaveFile(this, proposed, QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) return;
    // The ring may have moved on since the chart was drawn; the span is found again.
    Redraw();
    if (!WriteCsvFile(path, recorder_, first_, last_))
        ShowMessage(QStringLiteral("Не удалось записать файл ") + path);
}

} // namespace kvel
