// How the windows and programs word what the link reports: its status, the address it talks
// to, and why a port would not open. The link core reports values; the words are here, once.
#pragma once

#include "LinkHost.h"
#include "SerialChannel.h"

#include <cstdint>
#include <string>

namespace kvel {

// The main window's status panels, left to right.
constexpr int kPanelLink = 0;
constexpr int kPanelPort = 1;
constexpr int kPanelRate = 2;
constexpr int kPanelAddress = 3;

// Panel 0: " ", "Нет связи", "ПРИЕМ ДАННЫХ".
std::string LinkStatusText(LinkStatus status);
// Panel 3: "Адрес17" each send tick, "Адрес 17" on a switch.
std::string AddressPanelText(std::uint8_t address, AddressNews news);

// `firstLine` alone when the reason is unknown, else with a second line: the device and why.
std::string OpenErrorMessage(const std::string& firstLine, const OpenFailure& failure);
// That second line, "/dev/ttyUSB0: нет такого устройства"; empty when the reason is unknown.
std::string OpenFailureText(const OpenFailure& failure);
// Its reason alone: "нет такого устройства", "соединение отвергнуто"…
std::string OpenFailureReasonText(const OpenFailure& failure);
// The port would not open at the rate the unit was just switched to.
std::string ReopenAtNewRateMessage(const OpenFailure& failure);

} // namespace kvel
