// The multi-target pattern.
#include "Prober.h"

#include "Exposition.h"
#include "FleetMetrics.h"
#include "NetworkPort.h"
#include "SiteLine.h"

#include <QHttpServerRequest>
#include <QUrlQuery>

#include <algorithm>

namespace kvel::exporter {

namespace {

constexpr char kMetricsType[] = "text/plain; version=0.0.4; charset=utf-8";

HttpAnswer Refusal(int status, const std::string& why) {
    return {status, "text/plain; charset=utf-8", QByteArray::fromStdString(why + "\n"), {}};
}

bool AllAnswered(const FleetPoller& poller) {
    const std::vector<PolledUnit>& units = poller.Units();
    return !units.empty() && std::all_of(units.begin(), units.end(),
                                         [](const PolledUnit& unit) { return unit.answered; });
}

std::chrono::duration<double> ProbeTimeout(const QHttpServerRequest& request) {
    bool ok = false;
    const double scrape = request.value("x-prometheus-scrape-timeout-seconds").toDouble(&ok);
    const double seconds =
        (ok && scrape > 0 ? scrape : kDefaultProbeTimeoutSeconds) - kProbeAnswerMarginSeconds;
    return std::chrono::duration<double>(std::clamp(seconds, 0.5, 60.0));
}

} // namespace

std::string ProbePage(const FleetLine& line, bool success, double seconds) {
    ExpositionWriter writer;
    writer.Family("kvel_probe_success", "1 when every unit probed answered.", MetricType::Gauge);
    writer.Sample({}, success ? 1 : 0);
    writer.Family("kvel_probe_duration_seconds", "How long the probe took.", MetricType::Gauge);
    writer.Sample({}, seconds);
    return FleetMetricsText({line}, LinkClock::now()) + writer.Text();
}

ProbeTarget::ProbeTarget(cli::NamedPort port) : port_(std::move(port)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &ProbeTarget::Tick);
}

bool ProbeTarget::Enqueue(Probe probe) {
    if (waiting_.size() >= kMostWaitingProbes) return false;
    lastUsed_ = LinkClock::now();
    waiting_.push_back(std::move(probe));
    if (!poller_) BeginNext();
    return true;
}

void ProbeTarget::BeginNext() {
    if (waiting_.empty()) return;
    current_ = std::move(waiting_.front());
    waiting_.pop_front();
    if (!channel_) channel_ = std::make_unique<NetworkChannel>();
    poller_ = std::make_unique<FleetPoller>(
        *channel_, FleetSetup{port_.name, 9600, current_->addresses, {}, kFleetReplyTimeout});
    // A gateway that refuses shows every unit down at once.
    if (poller_->Start(LinkClock::now())) return Finish();
    Tick();
}

void ProbeTarget::Tick() {
    const LinkClock::time_point now = LinkClock::now();
    poller_->Tick(now);
    if (poller_->RoundsDone() > 0 || now >= current_->deadline) return Finish();
    const auto untilDeadline =
        std::chrono::ceil<std::chrono::milliseconds>(current_->deadline - now).count();
    timer_.start(std::min<int>(poller_->MsToNextTick(now), static_cast<int>(untilDeadline)));
}

void ProbeTarget::Finish() {
    timer_.stop();
    const std::chrono::duration<double> took = LinkClock::now() - current_->startedAt;
    const FleetLine line{poller_.get(), {{"port", port_.label}}};
    const std::string page = ProbePage(line, AllAnswered(*poller_), took.count());
    current_->reply({200, kMetricsType, QByteArray::fromStdString(page), {}});
    current_.reset();
    poller_.reset();
    // Qt keeps the descriptor of a connection that failed until its socket goes; a kept target
    // holds one only while connected.
    if (!channel_->IsOpen()) channel_.reset();
    lastUsed_ = LinkClock::now();
    BeginNext();
}

Prober::Prober(FindLine findLine, QObject* parent)
    : QObject(parent), findLine_(std::move(findLine)) {}

void Prober::Allow(const std::vector<std::string>& allowed) {
    networks_.clear();
    hostNames_.clear();
    for (const std::string& item : allowed) {
        const QString text = QString::fromStdString(item);
        if (item.find('/') != std::string::npos) {
            networks_.push_back(QHostAddress::parseSubnet(text));
            continue;
        }
        const QHostAddress address(text);
        if (address.isNull()) {
            hostNames_.push_back(QString::fromStdString(item).toLower().toStdString());
            continue;
        }
        networks_.emplace_back(address,
                               address.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32);
    }
}

bool Prober::Allowed(const std::string& host) const {
    const QHostAddress address(QString::fromStdString(host));
    if (address.isNull())
        return std::find(hostNames_.begin(), hostNames_.end(),
                         QString::fromStdString(host).toLower().toStdString()) != hostNames_.end();
    return std::any_of(networks_.begin(), networks_.end(),
                       [&](const auto& network) { return address.isInSubnet(network); });
}

void Prober::Answer(const QHttpServerRequest& request, const MetricsEndpoint::Reply& reply) {
    const QUrlQuery query = request.query();
    const std::string target = query.queryItemValue("target", QUrl::FullyDecoded).toStdString();
    if (target.empty()) return reply(Refusal(400, "target is missing: /probe?target=NAME or URL"));
    const bool addressGiven = query.hasQueryItem("address");
    if (const SiteLine* line = findLine_(target)) {
        if (addressGiven)
            return reply(
                Refusal(400, "a configured line is probed with all its units: no address"));
        return AnswerLine(*line, reply);
    }
    std::string error;
    const std::optional<NetworkPort> port = ParseNetworkPort(target, error);
    if (!IsNetworkPortName(target) || !port)
        return reply(Refusal(400, "target wants a configured line's name, tcp://HOST:PORT or "
                                  "modbus-tcp://HOST[:PORT]" +
                                      (error.empty() ? "" : ": " + error)));
    if (!Allowed(port->host))
        return reply(Refusal(403, port->host + " is not in the exporter's probe-allow list"));
    const cli::Read<std::vector<std::uint8_t>> addresses = cli::ReadAddressList(
        "address",
        addressGiven ? query.queryItemValue("address", QUrl::FullyDecoded).toStdString() : "1");
    if (!addresses.value) return reply(Refusal(400, addresses.error));
    ProbeTarget* kept = TargetFor({target, target});
    const LinkClock::time_point now = LinkClock::now();
    const auto deadline =
        now + std::chrono::duration_cast<LinkClock::duration>(ProbeTimeout(request));
    if (!kept || !kept->Enqueue({*addresses.value, now, deadline, reply}))
        return reply(Refusal(503, "too many probes under way; try again"));
}

void Prober::AnswerLine(const SiteLine& line, const MetricsEndpoint::Reply& reply) const {
    const std::string page = ProbePage(line.Metrics(), line.Up() && AllAnswered(line.Poller()), 0);
    reply({200, kMetricsType, QByteArray::fromStdString(page), {}});
}

// The least recently used idle target makes room for a new one; when all are busy, none.
ProbeTarget* Prober::TargetFor(const cli::NamedPort& port) {
    const auto known = targets_.find(port.name);
    if (known != targets_.end()) return known->second.get();
    if (targets_.size() >= kMostProbeTargets) {
        auto oldest = targets_.end();
        for (auto at = targets_.begin(); at != targets_.end(); ++at)
            if (at->second->Idle() &&
                (oldest == targets_.end() || at->second->LastUsed() < oldest->second->LastUsed()))
                oldest = at;
        if (oldest == targets_.end()) return nullptr;
        targets_.erase(oldest);
    }
    return targets_.emplace(port.name, std::make_unique<ProbeTarget>(port)).first->second.get();
}

} // namespace kvel::exporter
