// The window "Сетевое подключение".
#include "NetworkWindow.h"

#include "FormFont.h"
#include "FormPlacement.h"
#include "MessageBox.h"
#include "NetworkPort.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <array>

namespace kvel {

namespace {
constexpr QSize kOuterSize(344, 210);
// The protocol list's items, in order.
constexpr std::array<NetworkProtocol, 3> kProtocolItems{
    NetworkProtocol::RtuOverTcp, NetworkProtocol::ModbusTcp, NetworkProtocol::Rfc2217};
constexpr QRect kLabelPlace(16, 15, 100, 17);
constexpr QRect kEntryPlace(120, 12, 201, 21);
constexpr int kRowPitch = 32;

QLabel* RowLabel(const QString& text, int row, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(kLabelPlace.translated(0, row * kRowPitch));
    return label;
}
} // namespace

NetworkWindow::NetworkWindow(const std::string& portName, std::vector<std::string> recent,
                             NetworkConnector connector, QWidget* parent)
    : QWidget(parent, Qt::Window), recent_(std::move(recent)), connector_(std::move(connector)) {
    setAttribute(Qt::WA_DeleteOnClose);
    BuildForm();
    Fill(portName);
    ShowCentred(*this, kOuterSize);
}

void NetworkWindow::BuildForm() {
    setWindowTitle(QStringLiteral("Сетевое подключение"));
    setFont(MsSansSerif());
    RowLabel(QStringLiteral("Узел"), 0, this);
    RowLabel(QStringLiteral("Порт TCP"), 1, this);
    RowLabel(QStringLiteral("Протокол"), 2, this);
    RowLabel(QStringLiteral("Недавние"), 3, this);
    HostEdit = new QLineEdit(this);
    HostEdit->setGeometry(kEntryPlace);
    PortEdit = new QLineEdit(this);
    PortEdit->setGeometry(kEntryPlace.translated(0, kRowPitch));
    ProtocolBox = new QComboBox(this);
    ProtocolBox->addItems({QStringLiteral("RTU поверх TCP"), QStringLiteral("Modbus TCP"),
                           QStringLiteral("RTU поверх RFC 2217")});
    ProtocolBox->setGeometry(kEntryPlace.translated(0, 2 * kRowPitch));
    RecentBox = new QComboBox(this);
    for (const std::string& name : recent_)
        RecentBox->addItem(QString::fromStdString(name));
    RecentBox->setCurrentIndex(-1);
    RecentBox->setEnabled(!recent_.empty());
    RecentBox->setGeometry(kEntryPlace.translated(0, 3 * kRowPitch));

    const QSize client = ClientSizeOf(kOuterSize);
    ConnectButton = new QPushButton(QStringLiteral("Подключить"), this);
    ConnectButton->setGeometry(client.width() - 226, client.height() - 37, 105, 25);
    CloseButton = new QPushButton(QStringLiteral("Закрыть"), this);
    CloseButton->setGeometry(client.width() - 113, client.height() - 37, 105, 25);

    connect(ProtocolBox, qOverload<int>(&QComboBox::activated), this,
            &NetworkWindow::ProtocolChange);
    connect(RecentBox, qOverload<int>(&QComboBox::activated), this, &NetworkWindow::RecentChange);
    connect(ConnectButton, &QPushButton::clicked, this, &NetworkWindow::ConnectClick);
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);
}

void NetworkWindow::Fill(const std::string& portName) {
    std::string error;
    const std::optional<NetworkPort> port = ParseNetworkPort(portName, error);
    if (!port) return;
    HostEdit->setText(QString::fromStdString(port->host));
    PortEdit->setText(QString::number(port->port));
    const auto item = std::find(kProtocolItems.begin(), kProtocolItems.end(), port->protocol);
    ProtocolBox->setCurrentIndex(static_cast<int>(item - kProtocolItems.begin()));
}

// A gateway's own port is the usual one; a serial-device server's has no such custom.
void NetworkWindow::ProtocolChange(int index) {
    if (kProtocolItems[static_cast<std::size_t>(index)] == NetworkProtocol::ModbusTcp &&
        PortEdit->text().trimmed().isEmpty())
        PortEdit->setText(QString::number(kModbusTcpDefaultPort));
}

void NetworkWindow::RecentChange(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < recent_.size())
        Fill(recent_[static_cast<std::size_t>(index)]);
}

void NetworkWindow::ConnectClick() {
    bool portIsNumber = false;
    const uint tcpPort = PortEdit->text().trimmed().toUInt(&portIsNumber);
    if (!portIsNumber || tcpPort < 1 || tcpPort > 65535) {
        ShowMessage(QStringLiteral("Введите номер порта TCP от 1 до 65535"), this);
        return;
    }
    NetworkPort port;
    port.host = HostEdit->text().trimmed().toStdString();
    port.port = static_cast<std::uint16_t>(tcpPort);
    port.protocol = kProtocolItems[static_cast<std::size_t>(ProtocolBox->currentIndex())];
    std::string error;
    const std::string name = NetworkPortName(port);
    if (!ParseNetworkPort(name, error)) {
        ShowMessage(QStringLiteral("Введите имя или адрес узла: буквы, цифры, точки и дефисы"),
                    this);
        return;
    }
    const std::string notKept = connector_(name);
    if (!notKept.empty()) ShowMessage(QString::fromStdString(notKept), this);
}

} // namespace kvel
