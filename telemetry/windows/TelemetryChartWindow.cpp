// The trend chart window ("График"): the readings and setpoints over a chosen span of time.
#include "TelemetryChartWindow.h"

#include "FileChoice.h"
#include "FormFont.h"
#include "FormPlacement.h"
#include "FormTimer.h"
#include "MessageBox.h"
#include "NewestWindow.h"
#include "Registers.h"
#include "TelemetryCsv.h"
#include "TextFormats.h"

#include <QBuffer>
#include <QButtonGroup>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace kvel {

namespace {

constexpr QSize kOuterSize(908, 591);
constexpr std::int64_t kMinuteMs = 60 * 1000;
constexpr std::array<std::int64_t, 3> kSpanMs{kMinuteMs, 10 * kMinuteMs, 60 * kMinuteMs};
// Following live, the view is redrawn once it has moved two pixel columns: more often shows
// next to nothing new and costs CPU. Never more often than the unit answers (a sample every
// 500 ms), never less often than every 5 s, so the newest value is soon seen.
int LiveRefreshMs(const ChartColumns& columns) {
    return static_cast<int>(std::clamp(2 * columns.widthMs, 500.0, 5000.0));
}

// A setpoint is drawn dashed in a darker shade of its reading, which it often covers, so the
// two differ in more than colour, in the legend too.
struct QuantityLook {
    QColor color;
    Qt::PenStyle style;
};

QuantityLook LookOf(ChartQuantity quantity) {
    switch (quantity) {
    case ChartQuantity::OutputVoltage:
        return {QColor(0, 90, 200), Qt::SolidLine};
    case ChartQuantity::VoltageSetpoint:
        return {QColor(0, 30, 90), Qt::DashLine};
    case ChartQuantity::OutputCurrent:
        return {QColor(200, 30, 30), Qt::SolidLine};
    case ChartQuantity::CurrentSetpoint:
        return {QColor(110, 0, 0), Qt::DashLine};
    case ChartQuantity::StageTemperature:
        return {QColor(230, 140, 0), Qt::SolidLine};
    }
    return {};
}

QString NameOf(ChartQuantity quantity) {
    return QString::fromStdString(unit::Title(unit::Holding(RegisterOf(quantity))));
}

QString AxisTitle(unit::Quantity quantity) {
    return FromUtf8(unit::RussianSymbol(quantity));
}

// "U вых 54,5 В, уставка 54,0 В": a reading with its setpoint.
QString ReadingAndSetpoint(const TelemetrySample& sample, std::uint16_t reading,
                           std::uint16_t setpoint) {
    return HoldingCaption(reading) + ' ' + HoldingValueText(reading, SampledWord(sample, reading)) +
           QStringLiteral(", уставка ") + HoldingValueText(setpoint, SampledWord(sample, setpoint));
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

// The values drawn, with a little room above and below, between ticks on round values (1, 2 or
// 5 times a power of ten); an empty or flat line gets a volt, an ampere or a degree of room.
// The axis is set only when that changes: each setting lays out all its labels again.
void FitAxis(QValueAxis* axis, ValueRange range) {
    if (range.Empty()) range = {0, 1};
    const double margin = std::max(0.5, (range.high - range.low) * 0.05);
    const double low = range.low - margin;
    const double high = range.high + margin;
    const double rough = (high - low) / 5;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * magnitude;
    for (double multiple : {1.0, 2.0, 5.0})
        if (multiple * magnitude >= rough) {
            step = multiple * magnitude;
            break;
        }
    const double niceLow = std::floor(low / step) * step;
    const double niceHigh = std::ceil(high / step) * step;
    const int ticks = static_cast<int>(std::lround((niceHigh - niceLow) / step)) + 1;
    if (axis->min() == niceLow && axis->max() == niceHigh && axis->tickCount() == ticks) return;
    axis->setTickCount(ticks);
    axis->setRange(niceLow, niceHigh);
}

// A plot of at least this many columns makes a power-of-two column width for the whole
// recording, which changes, and redraws everything, only when the recording doubles.
std::int64_t PowerOfTwoAtLeast(double value) {
    std::int64_t power = 1;
    while (static_cast<double>(power) < value)
        power *= 2;
    return power;
}

// Ticks close enough for reading, far enough apart for their labels.
constexpr int kMaxTimeTicks = 8;

QDateTime TimeOf(std::int64_t timeMs) {
    return QDateTime::fromMSecsSinceEpoch(timeMs);
}

} // namespace

TelemetryChartWindow::TelemetryChartWindow(const TelemetryRecorder& recorder, Clock clock,
                                           QWidget* parent, bool onScreen)
    : QWidget(parent, Qt::Window), recorder_(recorder), clock_(std::move(clock)) {
    if (onScreen) NewestWindow<TelemetryChartWindow>::Set(this);
    setAttribute(Qt::WA_DeleteOnClose, onScreen);
    setAttribute(Qt::WA_DontShowOnScreen, !onScreen);
    BuildForm();
    LiveTimer = new FormTimer([this] { Redraw(); }, this);
    LiveCheckBox->setChecked(true);
    ShowWithinScreen(*this, kOuterSize);
}

void TelemetryChartWindow::BuildForm() {
    setWindowTitle(QStringLiteral("График"));
    setFont(MsSansSerif());
    BuildChart();
    HoverLabel = new QLabel(this);
    HoverLabel->setMinimumHeight(17);
    // A long readout is cut rather than widening the window beyond a small screen.
    HoverLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // The saving buttons sit under the chart beside the readout, so the window is narrow
    // enough for a small screen at a large scale factor.
    QWidget* toolbar = BuildToolbar();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(HoverLabel, 1);
    bottom->addWidget(SavePngButton);
    bottom->addWidget(ExportCsvButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(toolbar);
    layout->addWidget(ChartView, 1);
    layout->addLayout(bottom);
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
    SavePngButton = new QPushButton(QStringLiteral("Сохранить как PNG"), this);
    ExportCsvButton = new QPushButton(QStringLiteral("Экспорт CSV"), this);
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
    // Square corners: the rounded background is filled again on every redraw.
    chart_->setBackgroundRoundness(0);
    chart_->legend()->setAlignment(Qt::AlignTop);
    chart_->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    timeAxis_ = new QCategoryAxis;
    timeAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    voltageAxis_ = AddValueAxis(AxisTitle(unit::Quantity::Volts), Qt::AlignLeft);
    currentAxis_ = AddValueAxis(AxisTitle(unit::Quantity::Amperes), Qt::AlignRight);
    temperatureAxis_ = AddValueAxis(AxisTitle(unit::Quantity::Degrees), Qt::AlignRight);
    // One grid, the voltage's: three grids of different steps read as none.
    currentAxis_->setGridLineVisible(false);
    temperatureAxis_->setGridLineVisible(false);
    for (ChartQuantity quantity : kAllQuantities) {
        AddSeries(quantity);
        lines_.push_back({ThinnedLine(quantity, columns_), 0, {}});
    }
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
    series->setName(NameOf(quantity));
    QPen pen(look.color, 2, look.style);
    // Short dashes, so even a short stretch and the legend's sample show the gaps.
    if (look.style == Qt::DashLine) pen.setDashPattern({3, 2});
    series->setPen(pen);
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
    ComputeSpan();
    const bool follow = LiveCheckBox->isChecked();
    const ChartColumns columns = ColumnsOfSpan();
    if (!follow || !followed_ || !(columns == columns_)) Rebuild(columns);
    followed_ = follow;
    if (follow) LiveTimer->SetInterval(LiveRefreshMs(columns_));
    TakeNewSamples();
    for (ChartQuantity quantity : kAllQuantities)
        ShowLine(quantity);
    ShowTimeTicks();
    timeAxis_->setRange(static_cast<double>(startMs_), static_cast<double>(endMs_));
    FitValueAxes();
}

void TelemetryChartWindow::ComputeSpan() {
    if (LiveCheckBox->isChecked() || endMs_ == 0) endMs_ = clock_();
    if (span_ != Everything)
        startMs_ = endMs_ - kSpanMs[span_];
    else
        startMs_ = recorder_.Size() ? std::min(recorder_.At(0).timeMs, endMs_ - kMinuteMs)
                                    : endMs_ - kMinuteMs;
    first_ = recorder_.FirstAtOrAfter(startMs_);
    last_ = recorder_.FirstAtOrAfter(endMs_ + 1);
}

// Columns fixed to the clock, so those the newest sample has left never change while the view
// scrolls.
ChartColumns TelemetryChartWindow::ColumnsOfSpan() const {
    const double widthMs = static_cast<double>(endMs_ - startMs_) / PlotColumns();
    if (span_ == Everything) return {0, static_cast<double>(PowerOfTwoAtLeast(widthMs))};
    return {0, widthMs};
}

void TelemetryChartWindow::Rebuild(const ChartColumns& columns) {
    columns_ = columns;
    for (ChartQuantity quantity : kAllQuantities) {
        ShownLine& shown = lines_[static_cast<int>(quantity)];
        shown = {ThinnedLine(quantity, columns_), 0, {}};
        for (QLineSeries* series : SeriesOf(quantity))
            if (series->count() != 0) series->clear();
    }
    nextEntry_ = recorder_.Recorded() - recorder_.Size() + first_;
}

void TelemetryChartWindow::TakeNewSamples() {
    const std::uint64_t firstHeld = recorder_.Recorded() - recorder_.Size();
    const std::uint64_t end = firstHeld + last_;
    for (std::uint64_t entry = std::max(nextEntry_, firstHeld); entry < end; ++entry)
        for (ShownLine& shown : lines_)
            shown.line.Take(recorder_.At(static_cast<std::size_t>(entry - firstHeld)));
    nextEntry_ = std::max(nextEntry_, end);
    for (ShownLine& shown : lines_)
        shown.line.DropBefore(startMs_);
}

// Series i shows stretch firstStretch + i; a stretch that scrolled out frees its series, which
// goes to the back of the pool for the next break.
void TelemetryChartWindow::ShowLine(ChartQuantity quantity) {
    ShownLine& shown = lines_[static_cast<int>(quantity)];
    while (shown.firstStretch < shown.line.DroppedStretches())
        RetireOldestSeries(quantity);
    const std::deque<ThinnedLine::Stretch>& stretches = shown.line.Stretches();
    while (SeriesOf(quantity).size() < static_cast<qsizetype>(stretches.size()))
        AddSeries(quantity);
    shown.series.resize(static_cast<std::size_t>(SeriesOf(quantity).size()));
    for (std::size_t i = 0; i < stretches.size(); ++i)
        ShowStretch(SeriesOf(quantity)[static_cast<qsizetype>(i)], stretches[i], shown.series[i]);
}

void TelemetryChartWindow::RetireOldestSeries(ChartQuantity quantity) {
    ShownLine& shown = lines_[static_cast<int>(quantity)];
    QList<QLineSeries*>& pool = series_[static_cast<int>(quantity)];
    pool.front()->clear();
    // The legend names the quantity through its first series.
    for (QLegendMarker* marker : chart_->legend()->markers(pool[0]))
        marker->setVisible(false);
    if (pool.size() > 1)
        for (QLegendMarker* marker : chart_->legend()->markers(pool[1]))
            marker->setVisible(true);
    pool.append(pool.takeFirst());
    if (!shown.series.empty()) {
        shown.series.erase(shown.series.begin());
        shown.series.emplace_back();
    }
    ++shown.firstStretch;
}

// Only what changed: the settled points scrolled out at the front, the open column's points at
// the back, and the points settled since. The series takes them in one replacement, since it
// lays out its whole line again for every change it is told of.
void TelemetryChartWindow::ShowStretch(QLineSeries* series, const ThinnedLine::Stretch& stretch,
                                       ShownLine::Shown& shown) {
    QList<QPointF> points = series->points();
    const qsizetype shownSettled = points.size() - shown.open;
    const auto scrolledOut = static_cast<qsizetype>(std::min<std::uint64_t>(
        stretch.droppedSettled - shown.droppedSettled, static_cast<std::uint64_t>(shownSettled)));
    points.remove(0, scrolledOut);
    points.resize(points.size() - shown.open);
    shown.droppedSettled = stretch.droppedSettled;
    shown.settledEnd = std::max(shown.settledEnd, stretch.droppedSettled);
    const std::uint64_t settledEnd = stretch.droppedSettled + stretch.settled.size();
    for (std::uint64_t n = shown.settledEnd; n < settledEnd; ++n) {
        const ChartPoint& point =
            stretch.settled[static_cast<std::size_t>(n - stretch.droppedSettled)];
        points.append(QPointF(static_cast<double>(point.timeMs), point.value));
    }
    for (const ChartPoint& point : stretch.open)
        points.append(QPointF(static_cast<double>(point.timeMs), point.value));
    shown.settledEnd = settledEnd;
    shown.open = static_cast<qsizetype>(stretch.open.size());
    if (points != series->points()) series->replace(points);
}

void TelemetryChartWindow::FitValueAxes() {
    std::map<QValueAxis*, ValueRange> ranges;
    for (ChartQuantity quantity : kAllQuantities) {
        ValueRange& range = ranges[AxisOf(quantity)];
        for (const ThinnedLine::Stretch& stretch :
             lines_[static_cast<int>(quantity)].line.Stretches()) {
            for (const ChartPoint& point : stretch.settled)
                range.Take(point.value);
            for (const ChartPoint& point : stretch.open)
                range.Take(point.value);
        }
    }
    for (auto& [axis, range] : ranges)
        FitAxis(axis, range);
}

// The labels change only when a round time enters or leaves the span.
void TelemetryChartWindow::ShowTimeTicks() {
    const std::int64_t offsetMs = std::int64_t{TimeOf(endMs_).offsetFromUtc()} * 1000;
    TimeTicks ticks = RoundTimeTicks(startMs_, endMs_, offsetMs, kMaxTimeTicks);
    if (ticks.timesMs == ticks_.timesMs) return;
    ticks_ = std::move(ticks);
    const QString format = endMs_ - startMs_ > 24 * kSpanMs.back() ? QStringLiteral("dd.MM HH:mm")
                           : ticks_.intervalMs < kMinuteMs         ? QStringLiteral("HH:mm:ss")
                                                                   : QStringLiteral("HH:mm");
    for (const QString& label : timeAxis_->categoriesLabels())
        timeAxis_->remove(label);
    if (ticks_.timesMs.empty()) return;
    timeAxis_->setStartValue(static_cast<double>(ticks_.timesMs.front() - ticks_.intervalMs));
    for (std::int64_t timeMs : ticks_.timesMs)
        timeAxis_->append(TimeOf(timeMs).toString(format), static_cast<double>(timeMs));
}

// A column a pixel of the view, a few more than the plot has: the plot narrows and widens as
// the axes' labels do, and columns that followed it would draw everything again each time.
int TelemetryChartWindow::PlotColumns() const {
    return std::clamp(ChartView->width(), 1, kMaxChartColumns);
}

// The readout was of the span left behind.
void TelemetryChartWindow::SetSpan(int span) {
    span_ = span;
    HoverLabel->clear();
    Redraw();
}

void TelemetryChartWindow::LiveCheckBoxClick(bool live) {
    if (!live) LiveTimer->SetInterval(0);
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
    namespace h = reg::holding;
    const std::uint16_t temperature = h::PowerStageTemperature;
    return time + "   " + ReadingAndSetpoint(sample, h::OutputVoltage, h::VoltageSetpoint) + "   " +
           ReadingAndSetpoint(sample, h::OutputCurrent, h::CurrentSetpoint) + "   " +
           HoldingCaption(temperature) + ' ' +
           HoldingValueText(temperature, SampledWord(sample, temperature));
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

QByteArray TelemetryChartWindow::LastHourPng(const TelemetryRecorder& recorder, Clock clock) {
    TelemetryChartWindow chart(recorder, std::move(clock), nullptr, false);
    chart.SpanButtons[OneHour]->click();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    chart.ChartView->grab().save(&buffer, "PNG");
    return png;
}

void TelemetryChartWindow::SavePngButtonClick() {
    const QString proposed = QDir::current().filePath(
        TimestampedFileName(QStringLiteral("chart"), QStringLiteral("png"), clock_()));
    const QString path = ChooseSaveFile(this, proposed, QStringLiteral("PNG (*.png)"));
    if (path.isEmpty()) return;
    if (!ChartView->grab().save(path, "PNG"))
        ShowMessage(QStringLiteral("Не удалось записать файл ") + path, this);
}

void TelemetryChartWindow::ExportCsvButtonClick() {
    const QString proposed = QDir::current().filePath(
        TimestampedFileName(QStringLiteral("chart"), QStringLiteral("csv"), clock_()));
    const QString path = ChooseSaveFile(this, proposed, QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) return;
    // The ring may have moved on since the chart was drawn; the span is found again.
    Redraw();
    if (!WriteCsvFile(path, recorder_, first_, last_))
        ShowMessage(QStringLiteral("Не удалось записать файл ") + path, this);
}

} // namespace kvel
