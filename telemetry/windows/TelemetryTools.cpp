// The telemetry tools of the menu "Сервис".
#include "TelemetryTools.h"

#include "TelemetryChartWindow.h"
#include "TelemetryLogWindow.h"
#include "TelemetryRecording.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QStatusBar>

namespace kvel {

std::int64_t TelemetryTools::WallClockMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

TelemetryTools::TelemetryTools(const LinkState& state, QStatusBar& statusBar, QWidget* windowParent,
                               Clock clock)
    : RoomHook(windowParent), clock_(std::move(clock)), recorder_(state),
      windowParent_(windowParent) {
    auto* panel = new QLabel(&statusBar);
    statusBar.addWidget(panel);
    recording_ = new TelemetryRecording(recorder_, panel, this);
    LogItem = new QAction(QStringLiteral("Журнал"), this);
    ChartItem = new QAction(QStringLiteral("График"), this);
    connect(LogItem, &QAction::triggered, this, &TelemetryTools::LogItemClick);
    connect(ChartItem, &QAction::triggered, this, &TelemetryTools::ChartItemClick);
}

void TelemetryTools::ReplyAccepted(LinkClock::time_point, ReplyKind kind) {
    if (kind == ReplyKind::Holding) recorder_.HoldingReplyAccepted(clock_());
    if (kind == ReplyKind::Input) recorder_.InputReplyAccepted(clock_());
}

TelemetryTools::~TelemetryTools() {
    for (const QPointer<QWidget>& window : windows_)
        delete window.data();
}

void TelemetryTools::LogItemClick() {
    windows_.removeAll(nullptr);
    windows_.append(new TelemetryLogWindow(*recording_, clock_, windowParent_));
}

void TelemetryTools::ChartItemClick() {
    windows_.removeAll(nullptr);
    windows_.append(new TelemetryChartWindow(recorder_, clock_, windowParent_));
}

} // namespace kvel
