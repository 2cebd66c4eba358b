// One line of a site polled on its own: its channel, its poller and its own timer, so that a
// slow or dead line only ever delays itself. The line tells the journal when it or one of its
// units is lost, with the cause, and when it is back, with how long it was away.
#pragma once

#include "FleetMetrics.h"
#include "FleetPoller.h"
#include "Journal.h"
#include "RoutingChannel.h"
#include "SiteConfig.h"

#include <QObject>
#include <QTimer>

#include <optional>
#include <vector>

namespace kvel::exporter {

class SiteLine : public QObject {
public:
    SiteLine(LineConfig config, Journal& journal, QObject* parent = nullptr);

    // Opens the port and starts polling. A port that will not open is tried again every
    // second; the reason is returned.
    std::optional<std::string> Start();

    const LineConfig& Config() const { return config_; }
    const FleetPoller& Poller() const { return poller_; }
    // The port open, or the gateway's connection up (or on its way).
    bool Up() const;
    // The labels of the line's samples: port, then the configured ones.
    FleetLine Metrics() const;

private:
    struct UnitWatch {
        bool known = false;
        bool answered = false;
        // Since when it has not answered; told to the journal when the loss was.
        Journal::Clock::time_point lostAt{};
        bool lossTold = false;
    };

    void Tick();
    void TryStart();
    void WatchLine(Journal::Clock::time_point now);
    void WatchUnits(Journal::Clock::time_point now);
    std::string LostWhy() const;
    std::string UnitName(const PolledUnit& unit) const;

    LineConfig config_;
    Journal& journal_;
    RoutingChannel channel_;
    FleetPoller poller_;
    QTimer timer_;
    bool started_ = false;
    bool up_ = false;
    Journal::Clock::time_point lostAt_{};
    std::vector<UnitWatch> watches_;
};

// "1.5 s", "3 min 20 s", "2 h 5 min": how long something was away.
std::string AwayText(Journal::Clock::duration away);

} // namespace kvel::exporter
