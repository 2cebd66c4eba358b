// One line of a site polled on its own.
#include "SiteLine.h"

#include "ModbusLink.h"

#include <cstdio>

namespace kvel::exporter {

namespace {

std::chrono::milliseconds ToMs(Journal::Clock::duration duration) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(duration);
}

std::string FailureWords(const PolledUnit& unit) {
    switch (unit.failure.value_or(TransactionOutcome::TimedOut)) {
    case TransactionOutcome::Corrupt:
        return "garbled replies";
    case TransactionOutcome::WrongAddress:
        return "replies from address " + std::to_string(unit.failureDetail);
    case TransactionOutcome::Exception: {
        char code[8];
        std::snprintf(code, sizeof code, "%02X", unit.failureDetail);
        return std::string("exception ") + code + " (" + ExceptionName(unit.failureDetail) + ")";
    }
    case TransactionOutcome::PortClosed:
        return "port closed";
    default:
        return "no answer";
    }
}

} // namespace

std::string AwayText(Journal::Clock::duration away) {
    const long long ms = ToMs(away).count();
    if (ms < 60'000) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000);
        return text;
    }
    const long long seconds = ms / 1000;
    if (seconds < 3600)
        return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
    return std::to_string(seconds / 3600) + " h " + std::to_string(seconds % 3600 / 60) + " min";
}

SiteLine::SiteLine(LineConfig config, Journal& journal, QObject* parent)
    : QObject(parent), config_(std::move(config)), journal_(journal),
      poller_(channel_, FleetSetup{config_.port.name, config_.bitRate, config_.addresses,
                                   std::chrono::milliseconds(config_.intervalMs)}),
      watches_(config_.addresses.size()) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SiteLine::Tick);
}

std::optional<std::string> SiteLine::Start() {
    const auto now = Journal::Clock::now();
    const std::optional<OpenFailure> failure = poller_.Start(now);
    started_ = !failure;
    up_ = started_;
    if (failure) {
        lostAt_ = now;
        timer_.start(std::chrono::duration_cast<std::chrono::milliseconds>(kFleetReopenInterval));
        return cli::OpenFailureText(config_.port.label, *failure);
    }
    Tick();
    return std::nullopt;
}

bool SiteLine::Up() const {
    return started_ && channel_.IsOpen() && !channel_.PortVanished();
}

FleetLine SiteLine::Metrics() const {
    FleetLine line{&poller_, {{"port", config_.port.label}}};
    for (const auto& [name, value] : config_.labels)
        line.labels.emplace_back(name, value);
    return line;
}

void SiteLine::Tick() {
    if (!started_) return TryStart();
    const auto now = LinkClock::now();
    poller_.Tick(now);
    WatchLine(now);
    WatchUnits(now);
    timer_.start(poller_.MsToNextTick(LinkClock::now()));
}

// A port missing at start is the same as one lost later: the line waits for it.
void SiteLine::TryStart() {
    const auto now = Journal::Clock::now();
    if (poller_.Start(now)) {
        timer_.start(std::chrono::duration_cast<std::chrono::milliseconds>(kFleetReopenInterval));
        return;
    }
    started_ = true;
    Tick();
}

void SiteLine::WatchLine(Journal::Clock::time_point now) {
    const bool up = Up();
    if (up == up_) return;
    up_ = up;
    if (!up) {
        lostAt_ = now;
        journal_.Tell("lost " + config_.name, "line " + config_.name + " lost: " + LostWhy(), now);
        return;
    }
    journal_.Tell("back " + config_.name,
                  "line " + config_.name + " back after " + AwayText(now - lostAt_), now);
}

std::string SiteLine::LostWhy() const {
    const OpenFailure failure = channel_.LastOpenFailure();
    if (failure.reason == OpenFailureReason::None) return config_.port.label + " went away";
    return cli::OpenFailureText(config_.port.label, failure);
}

// A unit lost with its line is told with the line; one lost on a working line, by itself.
void SiteLine::WatchUnits(Journal::Clock::time_point now) {
    const std::vector<PolledUnit>& units = poller_.Units();
    for (std::size_t i = 0; i < units.size(); ++i) {
        const PolledUnit& unit = units[i];
        UnitWatch& watch = watches_[i];
        if (!unit.answered && !unit.failure) continue;
        const bool wasKnown = std::exchange(watch.known, true);
        if (wasKnown && unit.answered == watch.answered) continue;
        watch.answered = unit.answered;
        const std::string kind = UnitName(unit);
        if (!unit.answered) {
            watch.lostAt = now;
            watch.lossTold = unit.failure != TransactionOutcome::PortClosed;
            if (watch.lossTold)
                journal_.Tell("lost " + kind, kind + " lost: " + FailureWords(unit), now);
            continue;
        }
        if (std::exchange(watch.lossTold, false))
            journal_.Tell("back " + kind, kind + " back after " + AwayText(now - watch.lostAt),
                          now);
    }
}

std::string SiteLine::UnitName(const PolledUnit& unit) const {
    return "unit " + std::to_string(unit.address) + " on line " + config_.name;
}

} // namespace kvel::exporter
