// Register banks and plant of the simulated unit.
#include "UnitModel.h"

#include <algorithm>
#include <cmath>

namespace kvel::sim {

namespace {
namespace h = reg::holding;
namespace in = reg::input;

// The plant is a set of first-order lags: quick enough for the voltage to settle between two
// polls of the master, slow enough for temperature and load to look like hardware.
constexpr double kVoltageLagSeconds = 0.8;
constexpr double kTemperatureLagSeconds = 60.0;
constexpr double kLoadReturnSeconds = 120.0;
constexpr double kMeanLoadAmperes = 12.0;
constexpr double kLoadWanderAmperes = 0.3;
constexpr double kAmbientDegrees = 25.0;
constexpr double kDegreesPerAmpere = 1.5;
constexpr double kPowerStageHeadroomVolts = 1.2;
constexpr double kPowerStageVoltsPerAmpere = 0.04;
constexpr double kSecondsPerBatteryStep = 10.0;
// A battery found half charged shows on the bar from the first poll.
constexpr int kInitialBatteryLevel = 2;
constexpr std::uint16_t kHighestAddress = 254;

constexpr HoldingBank DefaultSettings() {
    HoldingBank bank{};
    bank[h::MaxTemperature] = 75;
    bank[h::ChargeVoltageFull] = 545;
    bank[h::ChargeVoltageEmpty] = 520;
    bank[h::MinBatteryVoltage] = 420;
    bank[h::CalibVoltageMin] = 100;
    bank[h::CalibVoltageMax] = 600;
    bank[h::CalibCurrentMin] = 0;
    bank[h::CalibCurrentMax] = 300;
    bank[h::ShowVoltageSetpoint] = 1;
    bank[h::VoltageSetpoint] = 545;
    bank[h::CurrentSetpoint] = 150;
    bank[h::SoundSignal] = 1;
    bank[h::RelayOnBatteryLow] = 1;
    bank[h::RelayOnOverheat] = 1;
    return bank;
}

constexpr InputBank FirmwareIdentity() {
    InputBank bank{};
    bank[in::FirmwareVersion] = 112;
    bank[in::CompileYear] = 2026;
    bank[in::CompileMonth] = 11;
    bank[in::CompileDay] = 20;
    bank[in::CompileNumber] = 37;
    bank[in::VoltageCorrection] = static_cast<std::uint16_t>(-3);
    return bank;
}

// Fraction of the way a first-order lag closes its gap in `seconds`.
double LagStep(double seconds, double lagSeconds) {
    return 1.0 - std::exp(-seconds / lagSeconds);
}

std::uint16_t SourceIndex(std::uint16_t value) {
    return value <= 2 ? value : 0;
}
} // namespace

UnitModel::UnitModel(const UnitSetup& setup)
    : rng_(setup.seed), holding_(DefaultSettings()), input_(FirmwareIdentity()),
      load_(kMeanLoadAmperes), temperature_(kAmbientDegrees),
      chargingSeconds_(kInitialBatteryLevel * kSecondsPerBatteryStep) {
    holding_[h::DeviceAddress] = std::min<std::uint16_t>(setup.address, kHighestAddress);
    holding_[h::BaudIndex] = setup.baudIndex;
    outputVoltage_ = TargetVoltage();
    PublishMeasurements();
}

bool UnitModel::WriteHolding(std::uint16_t reg, std::uint16_t value) {
    if (reg >= holding_.size()) return false;
    if (reg == h::DeviceAddress && value > kHighestAddress) return false;
    // Calibration stays locked unless the exact key is written; anything else relocks it.
    if (reg == h::CalibrationEnable && value != reg::kCalibrationEnabled) value = 0;
    holding_[reg] = value;
    // A new current limit acts at once: the output current follows it before the next measurement,
    // as the unit's regulator does, so a check of the current right after the write sees it.
    if (reg == h::CurrentSetpoint || reg == h::CurrentSource)
        holding_[h::OutputCurrent] = Noisy(DeliveredCurrent());
    PublishStatus();
    return true;
}

double UnitModel::TargetVoltage() const {
    static constexpr std::array<std::uint16_t, 3> sources{h::VoltageSetpoint, h::CalibVoltageMin,
                                                          h::CalibVoltageMax};
    return TenthsOf(sources[SourceIndex(holding_[h::VoltageSource])]);
}

double UnitModel::DeliveredCurrent() const {
    switch (SourceIndex(holding_[h::CurrentSource])) {
    case 1:
        return TenthsOf(h::CalibCurrentMin);
    case 2:
        return TenthsOf(h::CalibCurrentMax);
    default:
        return std::min(load_, TenthsOf(h::CurrentSetpoint));
    }
}

void UnitModel::DriftLoad(double seconds) {
    std::normal_distribution<double> wander(0.0, kLoadWanderAmperes * std::sqrt(seconds));
    load_ += (kMeanLoadAmperes - load_) * LagStep(seconds, kLoadReturnSeconds) + wander(rng_);
    load_ = std::clamp(load_, kMeanLoadAmperes / 2, kMeanLoadAmperes * 1.5);
}

void UnitModel::Tick(double seconds) {
    // Also rejects NaN, which would otherwise poison every value from here on.
    if (!(seconds > 0)) return;
    DriftLoad(seconds);
    const double current = DeliveredCurrent();
    outputVoltage_ += (TargetVoltage() - outputVoltage_) * LagStep(seconds, kVoltageLagSeconds);
    const double heatTarget = kAmbientDegrees + kDegreesPerAmpere * current;
    temperature_ += (heatTarget - temperature_) * LagStep(seconds, kTemperatureLagSeconds);
    if (current > 0) chargingSeconds_ += seconds;
    PublishMeasurements();
}

std::uint16_t UnitModel::Noisy(double value) {
    std::uniform_int_distribution<int> ripple(-1, 1);
    const long tenths = std::lround(value * 10) + ripple(rng_);
    return static_cast<std::uint16_t>(std::clamp<long>(tenths, 0, 0xFFFF));
}

void UnitModel::PublishMeasurements() {
    const double current = DeliveredCurrent();
    const double stageVoltage =
        outputVoltage_ + kPowerStageHeadroomVolts + kPowerStageVoltsPerAmpere * current;
    holding_[h::OutputVoltage] = Noisy(outputVoltage_);
    holding_[h::OutputCurrent] = Noisy(current);
    holding_[h::PowerStageVoltage] = Noisy(stageVoltage);
    holding_[h::PowerStageTemperature] =
        static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(temperature_)));
    PublishStatus();
}

int UnitModel::BatteryLevel() const {
    const double steps = chargingSeconds_ / kSecondsPerBatteryStep;
    return static_cast<int>(std::min<double>(steps, reg::status::LevelSteps));
}

void UnitModel::PublishStatus() {
    std::uint16_t status = reg::status::Working;
    if (temperature_ > holding_[h::MaxTemperature]) status |= reg::status::Overheat;
    if (holding_[h::OutputVoltage] < holding_[h::MinBatteryVoltage])
        status |= reg::status::BatteryLow;
    const unsigned levelBits = (1u << BatteryLevel()) - 1u;
    status |= static_cast<std::uint16_t>(levelBits << reg::status::FirstLevelBit);
    input_[in::Status] = status;
}

} // namespace kvel::sim
