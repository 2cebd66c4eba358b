// The telemetry's hook: "Журнал", "График" and the recording's panel.
#include "RoomHost.h"
#include "RoomRegistry.h"
#include "TelemetryTools.h"

namespace kvel {
namespace {

constexpr int kTelemetryPlace = 60;

const RoomRegistrar registrar{kTelemetryPlace, [](RoomHost& host) {
                                  return new TelemetryTools(host.Link().State(), host.StatusBar(),
                                                            &host.Window());
                              }};

} // namespace
} // namespace kvel
