// The serial channel on a real port. QSerialPort buffers in the event loop, which the link
// cannot wait for: the scheduler blocks the thread right after a write, so writes are flushed
// at once and the input count polls the device itself.
#include "SystemSerialChannel.h"

#include <QFileInfo>

#ifndef Q_OS_WIN
#include <sys/file.h>
#endif

namespace kvel {

SystemSerialChannel::SystemSerialChannel() {
    connect(&port_, &QSerialPort::errorOccurred, this, &SystemSerialChannel::OnError);
}

SystemSerialChannel::~SystemSerialChannel() { CloseComPort(); }

QString SystemSerialChannel::SystemPortPath(const std::string& name) {
#ifdef Q_OS_WIN
    return QString::fromStdString(name);
#else
    // kvel-cli may name the device itself.
    if (!name.empty() && name.front() == '/') return QString::fromStdString(name);
    // Wine's convention: dosdevices/comN in the working directory names the device behind COMN.
    const long number = ComPortNumber(name);
    if (number < 1) return {};
    const QString link = QStringLiteral("dosdevices/com%1").arg(number);
    // Absolute, because QSerialPort reads any other relative name as one under /dev.
    if (QFileInfo(link).isSymLink() || QFileInfo::exists(link)) return QFileInfo(link).absoluteFilePath();
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

int SystemSerialChannel::OpenComPort(const std::string& name, std::int32_t bitRate) {
    if (port_.isOpen()) CloseComPort();
    const QString path = SystemPortPath(name);
    if (path.isEmpty()) return kOpenFailed;

    port_.setPortName(path);
    ++openCount_;
    if (!port_.open(QIODevice::ReadWrite)) return kOpenFailed;
    if (!ClaimExclusively()) {
        port_.close();
        return kOpenFailed;
    }
    port_.setBaudRate(bitRate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    return kOpenOk;
}

// QSerialPort's lock file guards one name only, and root passes TIOCEXCL; an advisory lock on
// the device itself keeps a second program off the port whatever name it used.
bool SystemSerialChannel::ClaimExclusively() {
#ifdef Q_OS_WIN
    return true;
#else
    return ::flock(static_cast<int>(port_.handle()), LOCK_EX | LOCK_NB) == 0;
#endif
}

void SystemSerialChannel::CloseComPort() {
    if (!port_.isOpen()) return;
    PurgeComPort();
    port_.close();
}

void SystemSerialChannel::PurgeComPort() {
    if (port_.isOpen()) port_.clear(QSerialPort::AllDirections);
}

int SystemSerialChannel::WriteComPort(const std::uint8_t* bytes, int length) {
    if (!port_.isOpen()) return kWritePending;
    const qint64 queued = port_.write(reinterpret_cast<const char*>(bytes), length);
    port_.flush();
    const bool done = queued == length && port_.bytesToWrite() == 0;
    return done ? kWriteDone : kWritePending;
}

std::uint32_t SystemSerialChannel::PendingInputCount() {
    if (!port_.isOpen()) return 0;
    // Moves in what arrived while no event loop ran (during a pause, say).
    port_.waitForReadyRead(0);
    if (!port_.isOpen()) return 0;
    return static_cast<std::uint32_t>(port_.bytesAvailable());
}

std::uint8_t SystemSerialChannel::ReadComByte() {
    char byte = 0;
    if (port_.isOpen()) port_.getChar(&byte);
    return static_cast<std::uint8_t>(byte);
}

// A vanished device keeps raising ReadError on every event-loop pass while the port stays
// open; close it so the program does not spin. The link then times out as for a silent unit.
void SystemSerialChannel::OnError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) return;
    // Closed later, outside QSerialPort's own handler; a port reopened meanwhile is left alone.
    QMetaObject::invokeMethod(
        this,
        [this, failedOpen = openCount_] {
            if (failedOpen == openCount_) port_.close();
        },
        Qt::QueuedConnection);
}

} // namespace kvel
