// Port enumeration and, on Linux, the dosdevices links that give devices their COM numbers.
#include "PortDirectory.h"

#include "SerialChannel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace kvel {

namespace {
constexpr int kHighestComNumber = 0xFFFF;
const QString kDosDevices = QStringLiteral("dosdevices");

bool NumberIsListed(int number, const std::vector<PortChoice>& listed) {
    return std::any_of(listed.begin(), listed.end(),
                       [number](const PortChoice& choice) { return choice.comNumber == number; });
}

#ifdef Q_OS_WIN
int ComNumberOf(const SerialPortEntry& entry) {
    return static_cast<int>(std::max(0L, ComPortNumber("\\\\.\\" + entry.name.toStdString())));
}
#else
// Where a path leads; a link to a device that is gone still names that device.
QString Resolved(const QString& path) {
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    if (!canonical.isEmpty()) return canonical;
    return file.isSymLink() ? file.symLinkTarget() : path;
}

// The lowest COM number the channel would resolve to this device.
int ComNumberOf(const SerialPortEntry& entry) {
    const QString device = Resolved(entry.device);
    const QDir links(kDosDevices);
    int lowest = 0;
    for (const QString& name :
         links.entryList({QStringLiteral("com*")}, QDir::AllEntries | QDir::System)) {
        bool isNumber = false;
        const int number = name.mid(3).toInt(&isNumber);
        if (!isNumber || number < 1) continue;
        if (Resolved(links.filePath(name)) != device) continue;
        if (lowest == 0 || number < lowest) lowest = number;
    }
    if (lowest != 0) return lowest;
    // Without a link, COM n opens /dev/ttyS<n-1>.
    const QString ttyS = QStringLiteral("/dev/ttyS");
    if (!device.startsWith(ttyS)) return 0;
    bool isNumber = false;
    const int number = device.mid(ttyS.size()).toInt(&isNumber) + 1;
    if (!isNumber || number > kHighestComNumber) return 0;
    const QString link = links.filePath(QStringLiteral("com%1").arg(number));
    return QFileInfo(link).isSymLink() || QFileInfo::exists(link) ? 0 : number;
}
#endif
} // namespace

std::vector<SerialPortEntry> SystemSerialPorts() {
    std::vector<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.push_back({info.systemLocation(), info.portName(), info.description()});
    return ports;
}

std::vector<PortChoice> NumberPorts(const std::vector<SerialPortEntry>& ports) {
    std::vector<PortChoice> choices;
    for (const SerialPortEntry& entry : ports)
        choices.push_back({entry, ComNumberOf(entry)});
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

int NameDevice(const QString& device, const std::vector<PortChoice>& listed, QString& error) {
    if (!QDir().mkpath(kDosDevices)) {
        error = QStringLiteral("не удалось создать папку %1").arg(QDir(kDosDevices).absolutePath());
        return 0;
    }
    const QDir links(kDosDevices);
    for (int number = 1; number <= kHighestComNumber; ++number) {
        const QString link = links.filePath(QStringLiteral("com%1").arg(number));
        // A dangling link still names a number someone chose; leave it to them.
        if (QFileInfo(link).isSymLink() || QFileInfo::exists(link)) continue;
        if (NumberIsListed(number, listed)) continue;
        if (QFile::link(device, link)) return number;
        error =
            QStringLiteral("не удалось создать ссылку %1").arg(QFileInfo(link).absoluteFilePath());
        return 0;
    }
    error = QStringLiteral("все номера COM заняты");
    return 0;
}

} // namespace kvel
