// The line diagnostics' hook: "Монитор обмена", and the traffic monitor watching the link with
// the port and the upload it decodes against.
#include "DiagnosticsTools.h"
#include "FirmwareTransfer.h"
#include "RoomHost.h"
#include "RoomRegistry.h"

namespace kvel {
namespace {

constexpr int kDiagnosticsPlace = 20;

RoomHook* MakeDiagnosticsTools(RoomHost& host) {
    auto* tools = new DiagnosticsTools(&host.Window());
    tools->Traffic().SetDecodeContext(
        [&host] { return DecodeContext{host.Upload().TotalBlocks()}; });
    tools->Traffic().SetPortContext([&host] {
        return PortContext{host.PortLabel(), BaudRateFromIndex(host.BaudIndex()),
                           host.Link().State().DeviceAddress,
                           host.Link().Channel().LastOpenFailure()};
    });
    return tools;
}

const RoomRegistrar registrar{kDiagnosticsPlace, MakeDiagnosticsTools};

} // namespace
} // namespace kvel
