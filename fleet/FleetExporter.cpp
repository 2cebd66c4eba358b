// kvel-cli serve's polling and endpoint.
#include "FleetExporter.h"

#include "FleetMetrics.h"

namespace kvel {

FleetExporter::FleetExporter(SerialChannel& channel, ExporterSetup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), poller_(channel, setup_.fleet),
      endpoint_([this] { return MetricsText(); }, setup_.limits, this) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &FleetExporter::Tick);
}

std::optional<OpenFailure> FleetExporter::StartPolling() {
    if (std::optional<OpenFailure> failure = poller_.Start(LinkClock::now())) return failure;
    Tick();
    return std::nullopt;
}

std::optional<std::string> FleetExporter::Listen() {
    return endpoint_.Listen(setup_.listenAddress, setup_.listenPort);
}

std::string FleetExporter::MetricsText() const {
    return FleetMetricsText(setup_.portLabel, poller_, LinkClock::now());
}

void FleetExporter::Tick() {
    poller_.Tick(LinkClock::now());
    timer_.start(poller_.MsToNextTick(LinkClock::now()));
}

} // namespace kvel
