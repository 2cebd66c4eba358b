// kvel-cli serve.
#include "Serve.h"

#include "AddressList.h"
#include "Console.h"
#include "FleetExporter.h"
#include "RoutingChannel.h"
#include "UnitLine.h"

#include <QCoreApplication>

namespace kvel::cli {

int Serve(const Invocation& invocation) {
    const std::string where =
        invocation.listenHost.find(':') == std::string::npos
            ? invocation.listenHost + ":" + std::to_string(invocation.listenPort)
            : "[" + invocation.listenHost + "]:" + std::to_string(invocation.listenPort);
    const QHostAddress host(QString::fromStdString(invocation.listenHost));
    if (host.isNull())
        return Fail(kExitUsage, "--listen: " + invocation.listenHost + " is not an IP address");

    ExporterSetup setup;
    setup.fleet.portName = invocation.portName;
    setup.fleet.bitRate = BaudRateFromIndex(invocation.baudIndex);
    setup.fleet.addresses = invocation.addresses;
    setup.fleet.roundInterval = std::chrono::milliseconds(invocation.intervalMs);
    setup.portLabel = invocation.portLabel;
    setup.listenAddress = host;
    setup.listenPort = static_cast<quint16>(invocation.listenPort);

    RoutingChannel channel;
    FleetExporter exporter(channel, setup);
    if (const std::optional<OpenFailure> failure = exporter.StartPolling())
        return Fail(kExitLink, OpenFailureText(invocation.portLabel, *failure));
    if (const std::optional<std::string> why = exporter.Listen())
        return Fail(kExitLink, "cannot listen on " + where + ": " + *why);
    Tell("serving units " + AddressListText(invocation.addresses) + " on " + invocation.portLabel +
         " at http://" + where + "/metrics");
    return QCoreApplication::exec();
}

} // namespace kvel::cli
