// COM numbers and the devices they name.
#include "PortNaming.h"

#include "SerialChannel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace kvel {

namespace {
constexpr int kHighestComNumber = 0xFFFF;
const QString kDosDevices = QStringLiteral("dosdevices");

#ifndef Q_OS_WIN
QString LinkOf(long number) {
    return QDir(kDosDevices).filePath(QStringLiteral("com%1").arg(number));
}

// A dangling link still names a number someone chose.
bool LinkExists(const QString& link) {
    return QFileInfo(link).isSymLink() || QFileInfo::exists(link);
}

// The number of the /dev/ttyS device COM n falls back to; 0 for any other device.
int FallbackNumberOf(const QString& device) {
    const QString ttyS = QStringLiteral("/dev/ttyS");
    if (!device.startsWith(ttyS)) return 0;
    bool isNumber = false;
    const int number = device.mid(ttyS.size()).toInt(&isNumber) + 1;
    if (!isNumber || number > kHighestComNumber) return 0;
    return LinkExists(LinkOf(number)) ? 0 : number;
}
#endif
} // namespace

QString SystemPortPath(const std::string& name) {
#ifdef Q_OS_WIN
    return QString::fromStdString(name);
#else
    // Every path leaves here absolute, because QSerialPort reads a relative name as one under
    // /dev. kvel-cli may name the device itself.
    if (name.find('/') != std::string::npos)
        return QFileInfo(QString::fromStdString(name)).absoluteFilePath();
    const long number = ComPortNumber(name);
    if (number < 1) return {};
    const QString link = LinkOf(number);
    if (LinkExists(link)) return QFileInfo(link).absoluteFilePath();
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

QString ResolvedDevice(const QString& path) {
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    if (!canonical.isEmpty()) return canonical;
    return file.isSymLink() ? file.symLinkTarget() : path;
}

int ComNumberOf(const QString& device) {
#ifdef Q_OS_WIN
    return static_cast<int>(std::max(0L, ComPortNumber(device.toStdString())));
#else
    const QString resolved = ResolvedDevice(device);
    const QDir links(kDosDevices);
    int lowest = 0;
    for (const QString& name :
         links.entryList({QStringLiteral("com*")}, QDir::AllEntries | QDir::System)) {
        bool isNumber = false;
        const int number = name.mid(3).toInt(&isNumber);
        if (!isNumber || number < 1) continue;
        if (ResolvedDevice(links.filePath(name)) != resolved) continue;
        if (lowest == 0 || number < lowest) lowest = number;
    }
    return lowest != 0 ? lowest : FallbackNumberOf(resolved);
#endif
}

int FreeComNumber(const std::function<bool(int)>& taken, QString& error) {
    for (int number = 1; number <= kHighestComNumber; ++number) {
#ifndef Q_OS_WIN
        if (LinkExists(LinkOf(number))) continue;
#endif
        if (!taken(number)) return number;
    }
    error = QStringLiteral("все номера COM заняты");
    return 0;
}

int NameDevice(const QString& device, const std::function<bool(int)>& taken, QString& error) {
    if (!QDir().mkpath(kDosDevices)) {
        error = QStringLiteral("не удалось создать папку %1").arg(QDir(kDosDevices).absolutePath());
        return 0;
    }
    const int number = FreeComNumber(taken, error);
    if (number == 0) return 0;
    const QString link = QDir(kDosDevices).filePath(QStringLiteral("com%1").arg(number));
    if (QFile::link(device, link)) return number;
    error = QStringLiteral("не удалось создать ссылку %1").arg(QFileInfo(link).absoluteFilePath());
    return 0;
}

} // namespace kvel
