// The service report's hook: "Отчёт для сервиса…", reading what the line diagnostics and the
// telemetry hold. Its place is after theirs, so their hooks are made before it.
#include "DiagnosticsTools.h"
#include "NetworkLine.h"
#include "RoomHost.h"
#include "RoomRegistry.h"
#include "ServiceReportTools.h"
#include "TelemetryTools.h"

#include <QWidget>

namespace kvel {
namespace {

constexpr int kReportPlace = 70;

RoomHook* MakeServiceReportTools(RoomHost& host) {
    auto* diagnostics = host.Window().findChild<DiagnosticsTools*>();
    auto* telemetry = host.Window().findChild<TelemetryTools*>();
    if (!diagnostics || !telemetry)
        qFatal("the service report needs the line diagnostics and the telemetry rooms");
    return new ServiceReportTools(host.Link().State(), *diagnostics, *telemetry,
                                  {kDataInfName, kNetworkIniName}, &host.Window());
}

const RoomRegistrar registrar{kReportPlace, MakeServiceReportTools};

} // namespace
} // namespace kvel
