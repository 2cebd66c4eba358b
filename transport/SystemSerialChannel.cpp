// The serial channel on a real port. QSerialPort buffers in the event loop, which the link
// cannot wait for: the scheduler blocks the thread right after a write, so writes are flushed
// at once and the input count polls the device itself.
#include "SystemSerialChannel.h"

#include "PortNaming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kvel {

SystemSerialChannel::SystemSerialChannel() {
    connect(&port_, &QSerialPort::errorOccurred, this, &SystemSerialChannel::OnError);
    connect(&port_, &QSerialPort::readyRead, this, [this] {
        if (readiness_) readiness_(ChannelEvent::BytesArrived);
    });
}

SystemSerialChannel::~SystemSerialChannel() {
    CloseComPort();
}

int SystemSerialChannel::OpenComPort(const std::string& name, std::int32_t bitRate) {
    if (port_.isOpen()) CloseComPort();
    const QString path = SystemPortPath(name);
    if (path.isEmpty()) {
        const long number = ComPortNumber(name);
        return Fail(OpenFailureReason::NoSuchDevice, number < 0
                                                         ? QString::fromStdString(name)
                                                         : QStringLiteral("COM%1").arg(number));
    }

    return OpenPath(path, bitRate);
}

int SystemSerialChannel::ReopenVanishedPort(std::int32_t bitRate) {
    if (port_.isOpen()) CloseComPort();
    if (openedPath_.isEmpty()) return Fail(OpenFailureReason::NoSuchDevice, openedPath_);
    return OpenPath(openedPath_, bitRate);
}

int SystemSerialChannel::OpenPath(const QString& path, std::int32_t bitRate) {
    port_.setPortName(path);
    ++openCount_;
    if (!port_.open(QIODevice::ReadWrite)) return Fail(ReasonForRefusedOpen(path), path);
    if (!ClaimExclusively()) {
        port_.close();
        return Fail(OpenFailureReason::Busy, path);
    }
    if (!ApplyLineSettings(bitRate)) {
        const QString refusal = port_.errorString();
        port_.close();
        Fail(OpenFailureReason::SettingsRefused, path);
        lastFailure_.detail = refusal.toStdString();
        return kOpenFailed;
    }
    openedPath_ = path;
    lastFailure_ = {};
    vanished_ = false;
    return kOpenOk;
}

// A rate the adapter does not have would otherwise look like a silent unit.
bool SystemSerialChannel::ApplyLineSettings(std::int32_t bitRate) {
    return port_.setBaudRate(bitRate) && port_.setDataBits(QSerialPort::Data8) &&
           port_.setParity(QSerialPort::NoParity) && port_.setStopBits(QSerialPort::OneStop) &&
           port_.setFlowControl(QSerialPort::NoFlowControl);
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
    vanished_ = false;
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

// Sleeps in the system's own wait on the device, so a caller without an event loop wakes as
// soon as the first byte is in.
bool SystemSerialChannel::WaitForInput(int ms) {
    if (!port_.isOpen()) return false;
    if (port_.bytesAvailable() > 0 || port_.waitForReadyRead(ms)) return true;
    // No event loop runs to deliver the queued close, and every further wait would fail at once.
    if (port_.error() == QSerialPort::ReadError || port_.error() == QSerialPort::ResourceError)
        CloseVanishedPort();
    return false;
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
            if (failedOpen == openCount_) CloseVanishedPort();
        },
        Qt::QueuedConnection);
}

void SystemSerialChannel::CloseVanishedPort() {
    if (!port_.isOpen()) return;
    port_.close();
    vanished_ = true;
    if (readiness_) readiness_(ChannelEvent::ConnectionLost);
}

int SystemSerialChannel::Fail(OpenFailureReason reason, const QString& path) {
    // The device behind a link is what the operator recognises, not the link.
    const QString device = QDir::toNativeSeparators(ResolvedDevice(path));
    lastFailure_ = {reason, device.toStdString(), {}, {}};
    if (reason == OpenFailureReason::Busy) lastFailure_.holder = PortHolder(device);
    if (reason == OpenFailureReason::Other) lastFailure_.detail = port_.errorString().toStdString();
    return kOpenFailed;
}

#ifdef Q_OS_WIN
OpenFailureReason SystemSerialChannel::ReasonForRefusedOpen(const QString&) const {
    switch (port_.error()) {
    case QSerialPort::DeviceNotFoundError:
        return OpenFailureReason::NoSuchDevice;
    case QSerialPort::PermissionError:
        // Windows answers "access denied" to a port another program holds.
        return OpenFailureReason::Busy;
    default:
        return OpenFailureReason::Other;
    }
}

std::string SystemSerialChannel::PortHolder(const QString&) {
    return {};
}
#else
// QSerialPort says "permission" both for a device the user may not open and for one whose lock
// another program holds; the file's own rights tell them apart.
OpenFailureReason SystemSerialChannel::ReasonForRefusedOpen(const QString& path) const {
    const QByteArray file = QFile::encodeName(path);
    struct stat status {};
    if (::stat(file.constData(), &status) != 0) return OpenFailureReason::NoSuchDevice;
    if (!S_ISCHR(status.st_mode)) return OpenFailureReason::NotSerialPort;
    switch (port_.error()) {
    case QSerialPort::DeviceNotFoundError:
        return OpenFailureReason::NoSuchDevice;
    case QSerialPort::PermissionError:
        return ::access(file.constData(), R_OK | W_OK) == 0 ? OpenFailureReason::Busy
                                                            : OpenFailureReason::NoPermission;
    default:
        break;
    }
    const int fd = ::open(file.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const bool terminal = fd >= 0 && ::isatty(fd);
    if (fd >= 0) ::close(fd);
    return fd >= 0 && !terminal ? OpenFailureReason::NotSerialPort : OpenFailureReason::Other;
}

// The programs with the device open, from /proc; empty where the system does not say.
std::string SystemSerialChannel::PortHolder(const QString& device) {
    QStringList holders;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pid.toInt() <= 0) continue;
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System)) {
            if (fd.symLinkTarget() != device) continue;
            QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
            const QString program = comm.open(QIODevice::ReadOnly)
                                        ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                        : QString();
            holders << QStringLiteral("%1 (pid %2)").arg(program, pid);
            break;
        }
    }
    return holders.join(QStringLiteral(", ")).toStdString();
}
#endif

} // namespace kvel
