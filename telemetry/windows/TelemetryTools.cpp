// The telemetry tools of the menu "Сервис".
#include "TelemetryTools.h"

#include "TelemetryChartWindow.h"
#include "TelemetryLogWindow.h"
#include "TelemetryRecording.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

namespace kvel {

std::int64_t TelemetryTools::WallClockMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

TelemetryTools::TelemetryTools(const LinkState& state, QMenu& serviceMenu, QStatusBar& statusBar,
                               QWidget* windowParent, Clock clock)
    : QObject(windowParent), clock_(std::move(clock)), recorder_(state),
      windowParent_(windowParent) {
    auto* panel = new QLabel(&statusBar);
    statusBar.addWidget(panel);
    recording_ = new TelemetryRecording(recorder_, panel, this);
    LogItem = serviceMenu.addAction(QStringLiteral("Журнал"));
    ChartItem = serviceMenu.addAction(QStringLiteral("График"));
    connect(LogItem, &QAction::triggered, this, &TelemetryTools::LogItemClick);
    connect(ChartItem, &QAction::triggered, this, &TelemetryTools::ChartItemClick);
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
