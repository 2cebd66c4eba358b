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

    bool IsOpen() const override { return port_.isOpen(); }

    // Where a "\\.\COM<n>" name leads on this system; empty when it names no port.
    static QString SystemPortPath(const std::string& name);

private:
    bool ClaimExclusively();
    void OnError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    unsigned openCount_ = 0;
};

} // namespace kvel
