// The serial ports the system has, each with the COM number that names it for this program.
#pragma once

#include <QString>

#include <functional>
#include <vector>

namespace kvel {

struct SerialPortEntry {
    // Where the device is, e.g. /dev/ttyUSB0 or COM3.
    QString device;
    // The system's short name, e.g. ttyUSB0 or COM3.
    QString name;
    // What the driver calls it, e.g. FT232R USB UART; may be empty.
    QString description;
};

using SerialPortLister = std::function<std::vector<SerialPortEntry>()>;

// The ports QSerialPortInfo finds.
std::vector<SerialPortEntry> SystemSerialPorts();

struct PortChoice {
    SerialPortEntry entry;
    // 0 while no COM number names the device (Linux: no dosdevices link leads to it).
    int comNumber = 0;
};

// Pairs each port with its COM number, the way the serial channel resolves numbers.
std::vector<PortChoice> NumberPorts(const std::vector<SerialPortEntry>& ports);

// "COM3 — ttyUSB0, FT232R USB UART"; "COM? — …" while the device has no number yet.
QString PortChoiceText(const PortChoice& choice);

// Whether a listed port already goes by `number`: a new link must not take it.
bool NumberIsListed(int number, const std::vector<PortChoice>& listed);

} // namespace kvel
