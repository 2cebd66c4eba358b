// kvel-cli serve: the units on one port polled in the background at a steady pace, and the HTTP
// endpoint that hands Prometheus what they last said. A scrape reads the stored replies; it
// never waits on the line.
#pragma once

#include "FleetPoller.h"
#include "MetricsEndpoint.h"

#include <QObject>
#include <QTimer>

namespace kvel {

struct ExporterSetup {
    FleetSetup fleet;
    // The port as the user named it, for the port label.
    std::string portLabel;
    QHostAddress listenAddress = QHostAddress::LocalHost;
    quint16 listenPort = 0;
    EndpointLimits limits;
};

class FleetExporter : public QObject {
public:
    FleetExporter(SerialChannel& channel, ExporterSetup setup, QObject* parent = nullptr);

    // Opens the port and starts polling; the reason when the port will not open.
    std::optional<OpenFailure> StartPolling();
    // Nothing when listening; else why not.
    std::optional<std::string> Listen();

    quint16 Port() const { return endpoint_.Port(); }
    const FleetPoller& Poller() const { return poller_; }
    std::string MetricsText() const;

private:
    void Tick();

    ExporterSetup setup_;
    FleetPoller poller_;
    MetricsEndpoint endpoint_;
    QTimer timer_;
};

} // namespace kvel
