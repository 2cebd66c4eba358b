// One conversation with the unit.
#include "UnitSession.h"

#include "Crc16.h"
#include "ModbusFrame.h"
#include "PortNaming.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTimer>

namespace kvel::cli {

UnitSession::UnitSession(const Invocation& invocation)
    : invocation_(invocation), host_(invocation.verbose), link_(state_, channel_, host_) {
    init_crc16_tab();
    host_.Drive(link_);
    state_.DeviceAddress = invocation.address;
    state_.Settings.addressWord = invocation.address;
    state_.Settings.baudIndexWord = invocation.baudIndex;
}

UnitSession::~UnitSession() {
    link_.StopLinkTimers();
    channel_.CloseComPort();
}

std::optional<std::string> UnitSession::Open() {
    if (channel_.OpenComPort(invocation_.portName, BaudRateFromIndex(invocation_.baudIndex)) ==
        kOpenFailed)
        return OpenFailure();
    link_.StartLinkTimers();
    return std::nullopt;
}

std::string UnitSession::OpenFailure() const {
    const QString path = SystemPortPath(invocation_.portName);
    const std::string cannot = "cannot open " + invocation_.portLabel;
    if (path.isEmpty()) return cannot + ": it names no serial port";
    const QFileInfo device(path);
    const std::string shown = path.toStdString();
    if (!device.exists()) return cannot + ": " + shown + " does not exist";
    if (!device.isReadable() || !device.isWritable())
        return cannot + ": no permission for " + shown + " (on Debian: adduser $USER dialout)";
    return cannot + ": " + shown + " is in use by another program, or is not a serial port";
}

bool UnitSession::ReadBanks() {
    const int holding = host_.HoldingReplies();
    const int input = host_.InputReplies();
    link_.EnqueueRequest(kReadInput, 0, kPolledInputCount);
    link_.EnqueueRequest(kReadHolding, 0, kPolledHoldingCount);
    return WaitFor(
        [&] { return host_.HoldingReplies() > holding && host_.InputReplies() > input; });
}

bool UnitSession::WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    // Wakes the wait at the deadline even if nothing else happens by then.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

std::string UnitSession::Where() const {
    return "address " + std::to_string(invocation_.address) + " on " + invocation_.portLabel +
           " at " + std::to_string(BaudRateFromIndex(invocation_.baudIndex)) + " bit/s";
}

std::string UnitSession::NoAnswer() const {
    const int ms = invocation_.timeoutMs;
    const std::string seconds =
        ms % 1000 == 0 ? std::to_string(ms / 1000)
                       : std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100);
    return "no answer from the unit at " + Where() + " within " + seconds + " s";
}

} // namespace kvel::cli
