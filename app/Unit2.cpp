// TForm2, the connection parameters window: COM port, bit rate and the unit's address.
#include "Unit2.h"

#include "FormFont.h"
#include "FormPlacement.h"
#include "MessageBox.h"
#include "ModbusFrame.h"
#include "NetworkLine.h"
#include "NetworkPort.h"
#include "NewestWindow.h"
#include "PortNaming.h"
#include "TextFormats.h"
#include "Unit1.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace kvel {

namespace {
constexpr QSize kOuterSize(444, 285);
// The unit takes new addresses 1 to 254; 0 is the broadcast address, which no unit answers from.
constexpr std::uint32_t kLowestAddress = 1;
constexpr std::uint32_t kHighestNewAddress = 254;

// The port list takes the row under the port number; the rows are closer to make room for it.
constexpr int kFirstRowTop = 12;
constexpr int kRowPitch = 36;
constexpr int kPortListRow = 1;
constexpr int kCloseRow = 5;
constexpr QRect kStaticTextPlace(16, 3, 145, 17);
constexpr QRect kEntryPlace(168, 0, 121, 21);
constexpr QRect kButtonPlace(312, -2, 105, 25);

const QString kNotAnInteger = QStringLiteral("Введите целое число");
const QString kNotAnAddress = QStringLiteral("Введите целое число до 255");

SerialPortLister& PortLister() {
    static SerialPortLister lister;
    return lister;
}

std::vector<SerialPortEntry> ListPorts() {
    return PortLister() ? PortLister()() : SystemSerialPorts();
}
} // namespace

void TForm2::SetPortLister(SerialPortLister lister) {
    PortLister() = std::move(lister);
}

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window) {
    NewestWindow<TForm2>::Set(this);
    // Nothing is kept between activations, so a closed window has nothing left to show.
    setAttribute(Qt::WA_DeleteOnClose);
    BuildForm();
    ShowCentred(*this, kOuterSize);
}

void TForm2::BuildForm() {
    setWindowTitle(QStringLiteral("Параметры соединения"));
    setFont(MsSansSerif());

    StaticText1 = new QLabel(QStringLiteral("Номер COM-порта"), this);
    StaticText2 = new QLabel(QStringLiteral("Скорость COM-порта"), this);
    StaticText3 = new QLabel(QStringLiteral("Адрес"), this);
    StaticText4 = new QLabel(QStringLiteral("Новый адрес"), this);
    Edit1 = new QLineEdit(this);
    ComboBox1 = new QComboBox(this);
    // Item position is the baud index.
    for (int index = 0; index < kBaudIndexCount; ++index)
        ComboBox1->addItem(QString::number(BaudRateFromIndex(static_cast<std::uint8_t>(index))));
    Edit2 = new QLineEdit(this);
    Edit3 = new QLineEdit(this);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button2 = new QPushButton(QStringLiteral("OK"), this);
    Button3 = new QPushButton(QStringLiteral("Соединить"), this);
    Button4 = new QPushButton(QStringLiteral("Сменить"), this);
    Button5 = new QPushButton(QStringLiteral("Закрыть"), this);
    ComboBox2 = new QComboBox(this);
    Button6 = new QPushButton(QStringLiteral("Обновить"), this);

    PlaceRow(0, StaticText1, Edit1, Button1);
    PlaceRow(2, StaticText2, ComboBox1, Button2);
    PlaceRow(3, StaticText3, Edit2, Button3);
    PlaceRow(4, StaticText4, Edit3, Button4);
    // Across the label and entry columns, so the devices' descriptions can be read.
    const int portListTop = kFirstRowTop + kPortListRow * kRowPitch;
    ComboBox2->setGeometry(kStaticTextPlace.left(), portListTop + kEntryPlace.top(),
                           kEntryPlace.right() - kStaticTextPlace.left() + 1, kEntryPlace.height());
    Button6->setGeometry(kButtonPlace.translated(0, portListTop));
    setTabOrder(Edit1, ComboBox2);
    setTabOrder(Button1, Button6);
    Button5->setGeometry(kButtonPlace.translated(0, kFirstRowTop + kCloseRow * kRowPitch));

    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm2::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm2::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm2::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm2::RefreshPortList);
    // Only the operator's choice: the list's own refresh selects without filling Edit1.
    connect(ComboBox2, qOverload<int>(&QComboBox::activated), this, &TForm2::ComboBox2Change);
}

void TForm2::PlaceRow(int row, QLabel* staticText, QWidget* entry, QPushButton* button) {
    const int top = kFirstRowTop + row * kRowPitch;
    staticText->setGeometry(kStaticTextPlace.translated(0, top));
    entry->setGeometry(kEntryPlace.translated(0, top));
    button->setGeometry(kButtonPlace.translated(0, top));
}

TForm1& TForm2::Main() {
    return *NewestWindow<TForm1>::Get();
}

bool TForm2::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return handled;
}

// Typed but unconfirmed values give way to the settings in use.
void TForm2::FormActivate() {
    const LinkState& state = Main().State();
    Edit1->setText(QString::number(state.Settings.comPortWord));
    ShowStoredRate();
    Edit2->setText(QString::number(state.DeviceAddress));
    RefreshPortList();
}

void TForm2::ShowStoredRate() {
    const int baudIndex = Main().State().Settings.baudIndexWord;
    ComboBox1->setCurrentIndex(baudIndex < kBaudIndexCount ? baudIndex : -1);
}

// The entry of the stored port number is selected, if the list has one. A choice not yet
// confirmed goes with the list it was made in.
void TForm2::RefreshPortList() {
    unnamedChoice_.reset();
    ports_ = NumberPorts(ListPorts());
    ComboBox2->clear();
    int stored = -1;
    const int storedNumber = Main().State().Settings.comPortWord;
    for (const PortChoice& port : ports_) {
        if (port.comNumber != 0 && port.comNumber == storedNumber && stored < 0)
            stored = ComboBox2->count();
        ComboBox2->addItem(PortChoiceText(port));
    }
    ComboBox2->setCurrentIndex(stored);
}

// Fills Edit1 only: "OK" confirms the port as for a number typed by hand. A device without a
// number shows the one its link would get.
void TForm2::ComboBox2Change(int index) {
    if (index < 0 || index >= static_cast<int>(ports_.size())) return;
    PortChoice port = ports_[static_cast<std::size_t>(index)];
    unnamedChoice_.reset();
    if (port.comNumber == 0) {
        QString error;
        port.comNumber = FreeComNumber([this](int n) { return NumberIsListed(n, ports_); }, error);
        if (port.comNumber == 0) return ShowMessage(error, this);
        unnamedChoice_ = port;
    }
    Edit1->setText(QString::number(port.comNumber));
}

bool TForm2::NameChosenDevice(std::uint16_t& number) {
    if (!unnamedChoice_ || unnamedChoice_->comNumber != number) return true;
    const QString device = unnamedChoice_->entry.device;
    unnamedChoice_.reset();
    RefreshPortList();
    const auto listed = std::find_if(ports_.begin(), ports_.end(), [&](const PortChoice& port) {
        return port.entry.device == device;
    });
    if (listed == ports_.end()) {
        Main().Link().Channel().CloseComPort();
        Main().ShowPortNotOpened({OpenFailureReason::NoSuchDevice, device.toStdString(), {}, {}});
        return false;
    }
    // Someone may have named it meanwhile.
    int named = listed->comNumber;
    QString error;
    if (named == 0)
        named = NameDevice(
            device, [this](int n) { return NumberIsListed(n, ports_); }, error);
    if (named == 0) {
        ShowMessage(error, this);
        return false;
    }
    number = static_cast<std::uint16_t>(named);
    Edit1->setText(QString::number(number));
    return true;
}

// Polling stays stopped until a port number that reads is confirmed.
void TForm2::Button1Click() {
    TForm1& main = Main();
    main.Link().StopLinkTimers();
    const std::optional<long long> port = ParseWholeNumber(Edit1->text());
    if (!port) {
        ShowMessage(kNotAnInteger, this);
        return;
    }
    std::uint16_t number = LowWord(*port);
    if (!NameChosenDevice(number)) return;
    main.State().Settings.comPortWord = number;
    main.State().NetworkPort.clear();
    main.Link().Channel().CloseComPort();
    main.ShowPortPanel();
    main.ConnectStoredPort();
    RefreshPortList();
}

// The port itself is reopened at the new rate by the scheduler, once this write is out. A rate
// that cannot be sent is not kept either, or the program and the unit would part company.
void TForm2::Button2Click() {
    TForm1& main = Main();
    if (!LineTakesBitRate(main.Link().StoredPortName())) {
        ShowMessage(QString::fromUtf8(kRateChangeRefusedOverNetwork), this);
        // The list must not show a rate the line was not set to.
        ShowStoredRate();
        return;
    }
    const auto baudIndex = static_cast<std::uint16_t>(ComboBox1->currentIndex());
    if (main.Link().EnqueueRequest(kWriteSingle, kBaudRegister, baudIndex) ==
        Enqueued::RefusedAsBroadcast)
        return ShowBroadcastRefusal(this);
    main.State().Settings.baudIndexWord = baudIndex;
    main.ShowRatePanel();
}

// Only the low byte counts (300 talks to 44), and a low byte of 0 would be the broadcast address.
void TForm2::Button3Click() {
    const std::optional<long long> address = ParseWholeNumber(Edit2->text());
    if (!address || (LowWord(*address) & 0xFF) < kLowestAddress) {
        ShowMessage(kNotAnAddress, this);
        return;
    }
    Main().Link().SwitchDeviceAddress(LowWord(*address));
}

// Negative numbers count as large ones and are refused with them.
void TForm2::Button4Click() {
    const std::optional<long long> address = ParseWholeNumber(Edit3->text());
    if (!address || static_cast<std::uint32_t>(*address) < kLowestAddress ||
        static_cast<std::uint32_t>(*address) > kHighestNewAddress) {
        ShowMessage(kNotAnAddress, this);
        return;
    }
    if (Main().Link().EnqueueRequest(kWriteSingle, kAddressRegister, LowWord(*address)) ==
        Enqueued::RefusedAsBroadcast)
        ShowBroadcastRefusal(this);
}

// Closes the newest connection window, which need not be this one.
void TForm2::Button5Click() {
    if (TForm2* newest = NewestWindow<TForm2>::Get()) newest->close();
}

} // namespace kvel
