// The line diagnostics of the menu "Сервис".
#include "DiagnosticsTools.h"

#include "MonitorWindow.h"

#include <QAction>

namespace kvel {

DiagnosticsTools::DiagnosticsTools(QWidget* windowParent)
    : RoomHook(windowParent), windowParent_(windowParent) {
    MonitorItem = new QAction(QStringLiteral("Монитор обмена"), this);
    connect(MonitorItem, &QAction::triggered, this, &DiagnosticsTools::OpenMonitor);
}

MonitorWindow* DiagnosticsTools::OpenMonitor() {
    if (!window_) return window_ = new MonitorWindow(traffic_, windowParent_);
    window_->raise();
    window_->activateWindow();
    return window_;
}

QString DiagnosticsTools::MonitorLinesText(int count) const {
    return window_ ? window_->LastLinesText(count) : QString();
}

QString DiagnosticsTools::LinkCause() const {
    const auto& cause = traffic_.Counters().Cause();
    if (!cause) return QString();
    return QString::fromStdString(LossHeadline(*cause));
}

} // namespace kvel
