// The serial channel on a real port, through QSerialPort.
#pragma once

#include "SerialChannel.h"

#include <QObject>
#include <QSerialPort>

namespace kvel {

class SystemSerialChannel : public QObject, public SerialChannel {
    Q_OBJECT
public:
    SystemSerialChannel();
    ~SystemSerialChannel() override;

    int OpenComPort(const std::string& name, std::int32_t bitRate) override;
    void CloseComPort() override;
    void PurgeComPort() override;
    int WriteComPort(const std::uint8_t* bytes, int length) override;
    std::uint32_t PendingInputCount() override;
    std::uint8_t ReadComByte() override;
    bool WaitForInput(int ms) override;
    OpenFailure LastOpenFailure() const override { return lastFailure_; }
    bool PortVanished() const override { return vanished_; }

    bool IsOpen() const override { return port_.isOpen(); }

    // Where a "\\.\COM<n>" name (or, off Windows, a device path) leads on this system; empty
    // when it names no port.
    static QString SystemPortPath(const std::string& name);
    // The programs that hold `device` open, as "name (pid n)"; empty where the system cannot tell.
    static std::string PortHolder(const QString& device);

private:
    bool ClaimExclusively();
    int Fail(OpenFailureReason reason, const QString& path);
    OpenFailureReason ReasonForRefusedOpen(const QString& path) const;
    void OnError(QSerialPort::SerialPortError error);
    void CloseVanishedPort();

    QSerialPort port_;
    unsigned openCount_ = 0;
    OpenFailure lastFailure_;
    bool vanished_ = false;
};

} // namespace kvel
