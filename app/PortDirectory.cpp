// Port enumeration, each port with the COM number that names it.
#include "PortDirectory.h"

#include "PortNaming.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace kvel {

std::vector<SerialPortEntry> SystemSerialPorts() {
    std::vector<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.push_back({info.systemLocation(), info.portName(), info.description()});
    return ports;
}

std::vector<PortChoice> NumberPorts(const std::vector<SerialPortEntry>& ports) {
    std::vector<PortChoice> choices;
    for (const SerialPortEntry& entry : ports)
        choices.push_back({entry, ComNumberOf(entry.device)});
    return choices;
}

QString PortChoiceText(const PortChoice& choice) {
    const QString number = choice.comNumber > 0 ? QStringLiteral("COM%1").arg(choice.comNumber)
                                                : QStringLiteral("COM?");
    QString text = number + QStringLiteral(" — ") + choice.entry.name;
    if (!choice.entry.description.isEmpty())
        text += QStringLiteral(", ") + choice.entry.description;
    return text;
}

bool NumberIsListed(int number, const std::vector<PortChoice>& listed) {
    return std::any_of(listed.begin(), listed.end(),
                       [number](const PortChoice& choice) { return choice.comNumber == number; });
}

} // namespace kvel
