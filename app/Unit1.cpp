// TForm1, the main window: menu, status bar, the link's timers, start-up and close.
#include "Unit1.h"

#include "ActivationBeforeClick.h"
#include "Crc16.h"
#include "DataInf.h"
#include "FormControls.h"
#include "FormFont.h"
#include "FormPlacement.h"
#include "MessageBox.h"
#include "ModbusFrame.h"
#include "NetworkPort.h"
#include "NewestWindow.h"
#include "Pause.h"
#include "RoomRegistry.h"
#include "Unit2.h"
#include "Unit4.h"
#include "Unit6.h"
#include "Unit7.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace kvel {

namespace {
constexpr QSize kOuterSize(415, 312);
constexpr std::array<int, 4> kPanelWidths{110, 60, 75, 75};

// The network line in use; none while the COM port is.
std::optional<NetworkPort> NetworkLineInUse(const LinkState& state) {
    std::string error;
    return ParseNetworkPort(state.NetworkPort, error);
}

const char* NetworkPanelText(NetworkProtocol protocol) {
    switch (protocol) {
    case NetworkProtocol::ModbusTcp:
        return "MB TCP";
    case NetworkProtocol::Rfc2217:
        return "RFC2217";
    case NetworkProtocol::RtuOverTcp:
        break;
    }
    return "TCP";
}

std::string ComPanelText(const LinkState& state) {
    return "COM" + std::to_string(state.Settings.comPortWord);
}
} // namespace

TForm1::TForm1(SerialChannel& channel, QWidget* parent)
    : QMainWindow(parent), link_(state_, channel, *this), portKeeper_(link_) {
    NewestWindow<TForm1>::Set(this);
    link_.SetObserver(&linkObservers_);
    firmwareTransfer_.observer = &linkObservers_;
    BuildForm();
    FormCreate();
}

void TForm1::BuildForm() {
    setWindowTitle(QStringLiteral("КВЕЛv1"));
    setFont(PixelFont(QStringLiteral("Arial"), 12));

    auto* client = new QWidget(this);
    client->setAutoFillBackground(true);
    QPalette palette = client->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Light));
    client->setPalette(palette);
    setCentralWidget(client);

    Edit1 = new QLineEdit(client);
    Edit1->setGeometry(-24, 32, 25, 22);
    display_ = new MainDisplay(client, Edit1, state_.HoldingImage, RegisterWrites());

    BuildMenu();
    BuildStatusBar();
    BuildServiceMenu();
    Timer1 = new FormTimer([this] { link_.Timer1Timer(); }, this);
    Timer2 = new FormTimer([this] { link_.Timer2Timer(); }, this);
    Timer3 = new FormTimer([this] { link_.Timer3Timer(); }, this);
    Timer5 = new FormTimer([this] { link_.Timer5Timer(); }, this);
    ReopenTimer = new FormTimer([this] { portKeeper_.Tick(PortHeldElsewhere()); }, this);
    ReopenTimer->SetInterval(kReopenIntervalMs);
    // A click into the inactive window lands after FormActivate, in the box it was aimed at.
    new ActivationBeforeClick(*this);

    CentreAtDesignedSize(*this, kOuterSize);
}

void TForm1::BuildMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("Меню"));
    N2 = menu->addAction(QStringLiteral("Параметры соединения"));
    N3 = menu->addAction(QStringLiteral("Установки"));
    N4 = menu->addAction(QStringLiteral("Калибровки"));
    N5 = menu->addAction(QStringLiteral("Обновление ПО"));
    N6 = menu->addAction(QStringLiteral("Версия ПО ЗУЛ"));
    N7 = menu->addAction(QStringLiteral("Сервисная информация"));
    N8 = menu->addAction(QStringLiteral("Выход"));
    connect(N2, &QAction::triggered, this, &TForm1::N2Click);
    connect(N3, &QAction::triggered, this, &TForm1::N3Click);
    connect(N4, &QAction::triggered, this, &TForm1::N4Click);
    connect(N5, &QAction::triggered, this, &TForm1::N5Click);
    connect(N6, &QAction::triggered, this, &TForm1::N6Click);
    connect(N7, &QAction::triggered, this, &TForm1::N7Click);
    connect(N8, &QAction::triggered, this, &QWidget::close);
}

void TForm1::BuildServiceMenu() {
    for (const RoomFactory& makeHook : RegisteredRooms()) {
        RoomHook* hook = makeHook(*this);
        rooms_.push_back(hook);
        for (QAction* item : hook->ServiceItems())
            ServiceMenu()->addAction(item);
        if (LinkObserver* observer = hook->Observer()) linkObservers_.Add(observer);
    }
}

// The first room that knows why the link is down says it.
void TForm1::ShowLinkCause() {
    QString cause;
    for (const RoomHook* hook : rooms_)
        if (cause.isEmpty()) cause = hook->LinkCause();
    panels_[kPanelLink]->setToolTip(cause);
}

QMenu* TForm1::ServiceMenu() {
    if (!serviceMenu_) serviceMenu_ = menuBar()->addMenu(QStringLiteral("Сервис"));
    return serviceMenu_;
}

QAction* TForm1::ServiceItem(const QString& text) const {
    if (!serviceMenu_) return nullptr;
    for (QAction* item : serviceMenu_->actions())
        if (item->text() == text) return item;
    return nullptr;
}

void TForm1::BuildStatusBar() {
    // The old toolkit's status bar kept the system's small font whatever the form's was.
    statusBar()->setFont(PixelFont(QStringLiteral("Arial"), kFormFontPixels));
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        panels_[i] = new QLabel(this);
        panels_[i]->setFixedWidth(kPanelWidths[i]);
        statusBar()->addWidget(panels_[i]);
    }
    statusBar()->setSizeGripEnabled(false);
}

void TForm1::FormCreate() {
    if (!LoadDataInf(kDataInfName, state_.Settings)) return;
    state_.DeviceAddress = static_cast<std::uint8_t>(state_.Settings.addressWord & 0xFF);
    ShowPortPanel();
    ShowRatePanel();
    ConnectStoredPort();
}

void TForm1::ShowPortPanel() {
    const std::optional<NetworkPort> network = NetworkLineInUse(state_);
    panels_[kPanelPort]->setToolTip(network ? QString::fromStdString(NetworkPortLabel(*network))
                                            : QString());
    if (!network) {
        SetStatusPanel(kPanelPort, ComPanelText(state_));
        return;
    }
    SetStatusPanel(kPanelPort, NetworkPanelText(network->protocol));
}

void TForm1::Reconnect() {
    ShowPortPanel();
    ConnectStoredPort();
}

std::string TForm1::PortLabel() const {
    const std::optional<NetworkPort> network = NetworkLineInUse(state_);
    return network ? NetworkPortName(*network) : ComPanelText(state_);
}

void TForm1::ShowRatePanel() {
    SetStatusPanel(kPanelRate, std::to_string(BaudRateFromIndex(BaudIndex())) + "бод");
}

void TForm1::ConnectStoredPort() {
    const bool opened = link_.OpenStoredPort() == kOpenOk;
    ShowLinkCause();
    if (!opened) return ShowPortNotOpened(link_.Channel().LastOpenFailure());
    StartPollingOnceConnected();
}

// Nothing is sent to a network line before its connection is up.
void TForm1::StartPollingOnceConnected() {
    if (link_.Channel().Connecting()) return portKeeper_.AwaitConnection();
    link_.StartLinkTimers();
}

// A network line is not a COM port, and says where it would not connect to.
void TForm1::ShowPortNotOpened(const OpenFailure& failure) {
    const std::optional<NetworkPort> network = NetworkLineInUse(state_);
    link_.PortNotOpened();
    if (!network) return ShowMessage(OpenErrorMessage("Ошибка открытия COM порта", failure));
    const std::string reason = OpenFailureReasonText(failure);
    ShowMessage("Ошибка подключения к " + NetworkPortLabel(*network) +
                (reason.empty() ? "" : "\n" + reason));
}

// Leaving a setpoint box is what commits it, so the window never starts with one focused.
void TForm1::FormActivate() {
    Edit1->setFocus(Qt::ActiveWindowFocusReason);
}

// A failed save is no box: the program is ending, perhaps at a signal with nobody to answer one.
void TForm1::FormClose() {
    link_.Channel().CloseComPort();
    state_.Settings.addressWord = state_.DeviceAddress;
    std::string failure;
    if (!SaveDataInf(kDataInfName, state_.Settings, &failure))
        std::fprintf(stderr, "kvel: %s not saved: %s\n", kDataInfName, failure.c_str());
    for (RoomHook* hook : rooms_)
        hook->FormClose();
}

bool TForm1::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return handled;
}

// The other windows go with the main window without closing: their close handlers would queue
// writes (calibration locks the unit) on a port that is already closed.
void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    DestroySecondaryWindows();
    event->accept();
}

void TForm1::DestroySecondaryWindows() {
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isWindow()) delete child;
}

void TForm1::N2Click() {
    new TForm2(this);
}

void TForm1::N3Click() {
    new TForm3(state_, settingsHolds_, RegisterWrites(), this);
}

void TForm1::N4Click() {
    new TForm5(state_, calibrationHolds_, RegisterWrites(), this);
}

// Writes refused at one go (the calibration window writing both choices back on its first
// reply) are one piece of news, so one box says it.
RegisterWriter TForm1::RegisterWrites() {
    return [this](std::uint16_t reg, std::uint16_t value, WriteOrigin origin) {
        if (link_.EnqueueRequest(kWriteSingle, reg, value) != Enqueued::RefusedAsBroadcast ||
            origin != WriteOrigin::Operator || refusalWaiting_)
            return;
        refusalWaiting_ = true;
        ShowBroadcastRefusal();
        QTimer::singleShot(0, this, [this] { refusalWaiting_ = false; });
    };
}

void TForm1::N6Click() {
    new TForm6(versionInfo_, this);
}

void TForm1::N7Click() {
    new TForm7(state_.InputImage, this);
}

void TForm1::N5Click() {
    if (!UploadMayStart(state_, this)) return;
    const TForm4::MainTimers setMainTimers = [this](int timer1Ms, int timer2Ms) {
        Timer1->SetInterval(timer1Ms);
        Timer2->SetInterval(timer2Ms);
    };
    new TForm4(firmwareTransfer_, state_, link_.Channel(), setMainTimers, this);
}

bool TForm1::PortHeldElsewhere() {
    if (pollingPaused_) return true;
    const QList<TForm4*> updates = findChildren<TForm4*>();
    return std::any_of(updates.begin(), updates.end(),
                       [](TForm4* update) { return update->isVisible(); });
}

// The readings go blank as at a link loss: nothing is read while a borrower has the line.
void TForm1::PausePolling(const std::string& statusText) {
    pausedTimers_ = {Timer1->Interval(), Timer2->Interval(), Timer3->Interval()};
    pausedLinkText_ = PanelText(kPanelLink).toStdString();
    link_.StopLinkTimers();
    SetTimer5Interval(0);
    pollingPaused_ = true;
    link_.netu_svyasi();
    SetStatusPanel(kPanelLink, statusText);
}

// The borrower may have taken the awaited reply's place on the line, so it is not waited for.
void TForm1::ResumePolling() {
    pollingPaused_ = false;
    SetStatusPanel(kPanelLink, pausedLinkText_);
    link_.ForgetAwaitedReply();
    const bool wasPolling = std::any_of(pausedTimers_.begin(), pausedTimers_.end(),
                                        [](int interval) { return interval != 0; });
    if (wasPolling && link_.MoveLineToStoredRate())
        return SetLinkTimerIntervals(pausedTimers_[0], pausedTimers_[1], pausedTimers_[2]);
    link_.Channel().CloseComPort();
    if (!wasPolling) return;
    if (link_.OpenStoredPort() == kOpenFailed)
        return ShowPortNotOpened(link_.Channel().LastOpenFailure());
    if (link_.Channel().Connecting()) return portKeeper_.AwaitConnection();
    SetLinkTimerIntervals(pausedTimers_[0], pausedTimers_[1], pausedTimers_[2]);
}

// As the connection window would: the port reopened at the unit's rate, then its address.
void TForm1::ConnectTo(const FoundUnit& unit) {
    state_.Settings.baudIndexWord = unit.baudIndex;
    ShowRatePanel();
    link_.SwitchDeviceAddress(unit.address);
    link_.ForgetAwaitedReply();
    if (link_.MoveLineToStoredRate()) {
        StartPollingOnceConnected();
    } else {
        link_.Channel().CloseComPort();
        ConnectStoredPort();
    }
    for (TForm2* connection : findChildren<TForm2*>())
        connection->FormActivate();
}

QString TForm1::PanelText(int panel) const {
    return panels_.at(panel)->text();
}

void TForm1::SetStatusPanel(int panel, const std::string& utf8Text) {
    panels_.at(panel)->setText(QString::fromStdString(utf8Text));
    if (panel == kPanelLink) ShowLinkCause();
}

void TForm1::ShowLinkStatus(LinkStatus status) {
    SetStatusPanel(kPanelLink, LinkStatusText(status));
}

void TForm1::ShowDeviceAddress(std::uint8_t address, AddressNews news) {
    SetStatusPanel(kPanelAddress, AddressPanelText(address, news));
}

void TForm1::SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) {
    Timer1->SetInterval(timer1Ms);
    Timer2->SetInterval(timer2Ms);
    Timer3->SetInterval(timer3Ms);
}

void TForm1::SetTimer5Interval(int ms) {
    Timer5->SetInterval(ms);
}

void TForm1::ShowMessage(const std::string& utf8Text) {
    kvel::ShowMessage(QString::fromStdString(utf8Text), this);
}

void TForm1::Pause(int ms) {
    BlockingPause(ms);
}

void TForm1::ReopenAtNewRateFailed(const OpenFailure& failure) {
    ShowMessage(ReopenAtNewRateMessage(failure));
}

// The calibration window before the settings window.
void TForm1::filling_out3() {
    display_->filling_out3(state_);
    if (state_.CalibrationWindowOpen)
        if (TForm5* calibration = NewestWindow<TForm5>::Get()) calibration->Refresh();
    if (state_.SettingsWindowOpen)
        if (TForm3* settings = NewestWindow<TForm3>::Get()) settings->Refresh();
}

void TForm1::filling_out4() {
    versionInfo_ = VersionFromInputs(state_.InputImage);
}

void TForm1::SettingsSessionEnded() {
    if (TForm3* settings = NewestWindow<TForm3>::Get()) settings->close();
}

void TForm1::CalibrationSessionEnded() {
    if (TForm5* calibration = NewestWindow<TForm5>::Get()) calibration->close();
}

void TForm1::BlankReadings() {
    display_->BlankReadings();
}

} // namespace kvel
