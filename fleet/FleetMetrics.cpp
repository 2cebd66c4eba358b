// What the exporter tells Prometheus about the units on one port.
#include "FleetMetrics.h"

#include "Exposition.h"
#include "Registers.h"
#include "VersionInfo.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>

namespace kvel {

namespace {

struct ReadingMetric {
    const char* metric;
    const char* registerName; // in the register catalogue, which knows its scale
    const char* help;
};

const std::array<ReadingMetric, 6> kReadingMetrics{{
    {"kvel_output_voltage_volts", "output-voltage", "Output voltage (U вых)."},
    {"kvel_output_current_amperes", "output-current", "Output current (I вых)."},
    {"kvel_power_stage_voltage_volts", "power-stage-voltage", "Power stage voltage (U бпс)."},
    {"kvel_power_stage_temperature_celsius", "power-stage-temperature",
     "Power stage temperature (t бпс)."},
    {"kvel_voltage_setpoint_volts", "voltage-setpoint", "Output voltage setpoint."},
    {"kvel_current_setpoint_amperes", "current-setpoint", "Output current setpoint."},
}};

// A lamp's name as a label value: the register table's, with underscores as Prometheus writes.
std::string LampLabel(const unit::Lamp& lamp) {
    std::string label = lamp.name;
    std::replace(label.begin(), label.end(), '-', '_');
    return label;
}

class FleetPage {
public:
    FleetPage(const std::vector<FleetLine>& lines, LinkClock::time_point now)
        : lines_(lines), now_(now) {}

    std::string Text() {
        Readings();
        Lamps();
        Identity();
        Link();
        return writer_.Text();
    }

private:
    using UnitSample = std::function<void(const PolledUnit&)>;

    MetricLabels Labels(const PolledUnit& unit) const { return UnitLabels(*line_, unit); }

    // One family over the units `which` picks.
    void Family(const char* name, const char* help, MetricType type, bool answeredOnly,
                const UnitSample& sample) {
        writer_.Family(name, help, type);
        for (const FleetLine& line : lines_) {
            line_ = &line;
            for (const PolledUnit& unit : line.poller->Units())
                if (unit.answered || !answeredOnly) sample(unit);
        }
    }

    void Readings() {
        for (const ReadingMetric& metric : kReadingMetrics) {
            const unit::Register& info = *unit::ByName(metric.registerName);
            Family(
                metric.metric, metric.help, MetricType::Gauge, true, [&](const PolledUnit& unit) {
                    const auto& bank = info.bank == unit::Bank::Holding ? unit.holding : unit.input;
                    writer_.Sample(Labels(unit), unit::NumericValue(info, bank[info.number]));
                });
        }
    }

    void Lamps() {
        Family("kvel_lamp", "The main window's lamps: 1 lit, 0 dark.", MetricType::Gauge, true,
               [&](const PolledUnit& unit) {
                   const std::uint16_t status = unit.input[reg::input::Status];
                   for (const unit::Lamp& lamp : unit::kLamps) {
                       MetricLabels labels = Labels(unit);
                       labels.emplace_back("lamp", LampLabel(lamp));
                       writer_.Sample(labels, (status & lamp.bit) ? 1 : 0);
                   }
               });
        Family("kvel_battery_level", "Battery level in steps, 0 to 5.", MetricType::Gauge, true,
               [&](const PolledUnit& unit) {
                   writer_.Sample(Labels(unit),
                                  reg::status::BatteryLevel(unit.input[reg::input::Status]));
               });
    }

    void Identity() {
        Family("kvel_firmware_info", "The controller's firmware version and build.",
               MetricType::Gauge, true, [&](const PolledUnit& unit) {
                   const VersionInfo firmware = VersionFromInputs(unit.input);
                   MetricLabels labels = Labels(unit);
                   labels.emplace_back("version", std::to_string(firmware.firmwareVersion));
                   labels.emplace_back("build", std::to_string(firmware.compileNumber));
                   writer_.Sample(labels, 1);
               });
    }

    void Link() {
        Family("kvel_up", "1 when the unit answered its last poll, both banks.", MetricType::Gauge,
               false, [&](const PolledUnit& unit) { writer_.Sample(Labels(unit), unit.answered); });
        Family("kvel_last_reply_age_seconds", "Seconds since the unit last answered.",
               MetricType::Gauge, false, [&](const PolledUnit& unit) {
                   if (!unit.lastReply) return;
                   const std::chrono::duration<double> age = now_ - *unit.lastReply;
                   writer_.Sample(Labels(unit), age.count());
               });
        Family("kvel_requests_total", "Requests sent to the unit.", MetricType::Counter, false,
               [&](const PolledUnit& unit) {
                   writer_.Sample(Labels(unit), static_cast<double>(unit.requests));
               });
        Family("kvel_replies_total", "Replies taken from the unit.", MetricType::Counter, false,
               [&](const PolledUnit& unit) {
                   writer_.Sample(Labels(unit), static_cast<double>(unit.replies));
               });
        Family("kvel_link_errors_total", "Polls of the unit that failed, by cause.",
               MetricType::Counter, false, [&](const PolledUnit& unit) {
                   for (std::size_t i = 0; i < kPollFailures.size(); ++i) {
                       MetricLabels labels = Labels(unit);
                       labels.emplace_back("cause", FailureCauseLabel(kPollFailures[i]));
                       writer_.Sample(labels, static_cast<double>(unit.failures[i]));
                   }
               });
    }

    const std::vector<FleetLine>& lines_;
    const FleetLine* line_ = nullptr;
    LinkClock::time_point now_;
    ExpositionWriter writer_;
};

} // namespace

const char* FailureCauseLabel(TransactionOutcome outcome) {
    switch (outcome) {
    case TransactionOutcome::TimedOut:
        return "timeout";
    case TransactionOutcome::Corrupt:
        return "corrupt";
    case TransactionOutcome::WrongAddress:
        return "wrong_address";
    case TransactionOutcome::Exception:
        return "exception";
    case TransactionOutcome::PortClosed:
        return "port_closed";
    case TransactionOutcome::NoUnit:
        return "gateway_no_answer";
    case TransactionOutcome::Ok:
        break;
    }
    return "none";
}

std::string FleetMetricsText(const std::string& port, const FleetPoller& poller,
                             LinkClock::time_point now) {
    return FleetMetricsText({FleetLine{&poller, {{"port", port}}}}, now);
}

std::string FleetMetricsText(const std::vector<FleetLine>& lines, LinkClock::time_point now) {
    return FleetPage(lines, now).Text();
}

MetricLabels UnitLabels(const FleetLine& line, const PolledUnit& unit) {
    MetricLabels labels = line.labels;
    labels.insert(labels.begin() + (labels.empty() ? 0 : 1),
                  {"address", std::to_string(unit.address)});
    return labels;
}

} // namespace kvel
