// The service report's hook: "Отчёт для сервиса…" gathers the report from the link's state, the
// line diagnostics and the telemetry, and opens the window that writes it.
#pragma once

#include "LinkState.h"
#include "RoomHook.h"
#include "ServiceReport.h"

#include <QPointer>

#include <string>
#include <vector>

class QAction;
class QWidget;

namespace kvel {

class DiagnosticsTools;
class ServiceReportWindow;
class TelemetryTools;

// The monitor lines a report holds at most.
constexpr int kReportMonitorLines = 2000;
// How far back the report's telemetry goes.
constexpr std::int64_t kReportTelemetryMs = 3600 * 1000;

class ServiceReportTools : public RoomHook {
    Q_OBJECT
public:
    // `programFiles` are the program's own files the report takes where they are (data.inf,
    // network.ini). Everything given must outlive it.
    ServiceReportTools(const LinkState& state, DiagnosticsTools& diagnostics,
                       TelemetryTools& telemetry, std::vector<std::string> programFiles,
                       QWidget* windowParent);

    QList<QAction*> ServiceItems() const override { return {ReportItem}; }

    // The report as it would be written now.
    ServiceReport Gather(std::int64_t nowMs) const;
    // Opens the window on a report gathered now, or brings the open one forward.
    ServiceReportWindow* OpenWindow();

    QAction* ReportItem; // "Отчёт для сервиса…"

private:
    const LinkState& state_;
    DiagnosticsTools& diagnostics_;
    TelemetryTools& telemetry_;
    std::vector<std::string> programFiles_;
    QWidget* windowParent_;
    QPointer<ServiceReportWindow> window_;
};

} // namespace kvel
