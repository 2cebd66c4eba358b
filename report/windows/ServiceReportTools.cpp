// Gathering the window program's service report.
#include "ServiceReportTools.h"

#include "DiagnosticsTools.h"
#include "NetworkPort.h"
#include "ServiceReportWindow.h"
#include "TelemetryChartWindow.h"
#include "TelemetryCsv.h"
#include "TelemetryTools.h"

#include <QAction>

namespace kvel {

namespace {
std::string TelemetryCsvOf(const TelemetryRecorder& recorder, std::int64_t sinceMs) {
    QByteArray csv = CsvHeader();
    for (std::size_t i = recorder.FirstAtOrAfter(sinceMs); i < recorder.Size(); ++i)
        csv += CsvLine(recorder.At(i));
    return csv.toStdString();
}
} // namespace

ServiceReportTools::ServiceReportTools(const LinkState& state, DiagnosticsTools& diagnostics,
                                       TelemetryTools& telemetry,
                                       std::vector<std::string> programFiles, QWidget* windowParent)
    : RoomHook(windowParent), state_(state), diagnostics_(diagnostics), telemetry_(telemetry),
      programFiles_(std::move(programFiles)), windowParent_(windowParent) {
    ReportItem = new QAction(QStringLiteral("Отчёт для сервиса…"), this);
    connect(ReportItem, &QAction::triggered, this, &ServiceReportTools::OpenWindow);
}

ServiceReport ServiceReportTools::Gather(std::int64_t nowMs) const {
    const TrafficMonitor& traffic = diagnostics_.Traffic();
    const PortContext port = traffic.Port();
    const ReportLine line{port.port, LineTakesBitRate(port.port) ? port.bitRate : 0, port.address};
    ServiceReport report;
    report.Add(kSummaryEntry, SummaryText(line, nowMs), "сводка: программа, система, линия, время");
    AddUnit(report, state_.HoldingImage, state_.InputImage, nowMs);
    report.Add("counters.txt", CountersReport(traffic.Counters()),
               "счётчики обмена и причины последних потерь связи");
    const QString monitor = diagnostics_.MonitorLinesText(kReportMonitorLines);
    if (!monitor.isEmpty())
        report.Add("monitor.tsv", monitor.toStdString(), "последние строки монитора обмена");
    const TelemetryRecorder& recorder = telemetry_.Recorder();
    report.Add("telemetry.csv", TelemetryCsvOf(recorder, nowMs - kReportTelemetryMs),
               "журнал показаний за последний час");
    report.Add("chart.png",
               TelemetryChartWindow::LastHourPng(recorder, [nowMs] { return nowMs; }).toStdString(),
               "график за последний час");
    for (const std::string& file : programFiles_)
        AddFileIfPresent(report, file, "файл программы");
    return report;
}

ServiceReportWindow* ServiceReportTools::OpenWindow() {
    if (window_) {
        window_->raise();
        window_->activateWindow();
        return window_;
    }
    const std::int64_t now = TelemetryTools::WallClockMs();
    return window_ = new ServiceReportWindow(Gather(now), ReportFileName(now), windowParent_);
}

} // namespace kvel
