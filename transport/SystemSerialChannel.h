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
    int ReopenVanishedPort(std::int32_t bitRate) override;
    void SetReadinessHandler(std::function<void(ChannelEvent)> handler) override {
        readiness_ = std::move(handler);
    }

    bool IsOpen() const override { return port_.isOpen(); }

    // The programs that hold `device` open, as "name (pid n)"; empty where the system cannot tell.
    static std::string PortHolder(const QString& device);

private:
    int OpenPath(const QString& path, std::int32_t bitRate);
    bool ClaimExclusively();
    // 8N1 at `bitRate`, no flow control; false when the port refuses any of it.
    bool ApplyLineSettings(std::int32_t bitRate);
    int Fail(OpenFailureReason reason, const QString& path);
    OpenFailureReason ReasonForRefusedOpen(const QString& path) const;
    void OnError(QSerialPort::SerialPortError error);
    void CloseVanishedPort();

    QSerialPort port_;
    unsigned openCount_ = 0;
    OpenFailure lastFailure_;
    // The path of the last successful open, as it was named (a dosdevices link stays the link).
    QString openedPath_;
    bool vanished_ = false;
    std::function<void(ChannelEvent)> readiness_;
};

} // namespace kvel
