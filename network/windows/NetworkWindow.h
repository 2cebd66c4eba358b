// The window "Сетевое подключение": the host, TCP port and protocol of a network line, and
// "Подключить" to talk through it instead of the COM port.
#pragma once

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kvel {

// Talks through the network line of that name from now on and keeps the choice; returns what
// went wrong in keeping it, empty when nothing did.
using NetworkConnector = std::function<std::string(const std::string& portName)>;

class NetworkWindow : public QWidget {
    Q_OBJECT
public:
    // Filled from `portName`, the line in use or last chosen (empty: none); `recent` are the
    // lines connected to lately, newest first, offered to choose from. Shows itself.
    NetworkWindow(const std::string& portName, std::vector<std::string> recent,
                  NetworkConnector connector, QWidget* parent = nullptr);

    QLineEdit* HostEdit;
    QLineEdit* PortEdit;
    // Item 0 "RTU поверх TCP", item 1 "Modbus TCP", item 2 "RTU поверх RFC 2217".
    QComboBox* ProtocolBox;
    // The recent lines; choosing one fills the fields above.
    QComboBox* RecentBox;
    QPushButton* ConnectButton;
    QPushButton* CloseButton;

private:
    void BuildForm();
    void Fill(const std::string& portName);
    void ProtocolChange(int index);
    void RecentChange(int index);
    void ConnectClick();

    std::vector<std::string> recent_;
    NetworkConnector connector_;
};

} // namespace kvel
