// TForm1, the main window: menu, status bar, the link's timers, start-up and close.
#include "Unit1.h"

#include "Crc16.h"
#include "DataInf.h"
#include "FormControls.h"
#include "FormFont.h"
#include "FormPlacement.h"
#include "MessageBox.h"
#include "ModbusFrame.h"
#include "MonitorWindow.h"
#include "NewestWindow.h"
#include "Pause.h"
#include "RegisterMap.h"
#include "SettingsFileMenu.h"
#include "TelemetryTools.h"
#include "TextFormats.h"
#include "Unit2.h"
#include "Unit4.h"
#include "Unit6.h"
#include "Unit7.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>

#include <algorithm>

namespace kvel {

namespace {
constexpr QSize kOuterSize(415, 312);
constexpr std::array<int, 4> kPanelWidths{110, 60, 75, 75};
} // namespace

TForm1::TForm1(SerialChannel& channel, QWidget* parent)
    : QMainWindow(parent), link_(state_, channel, *this), portKeeper_(link_) {
    NewestWindow<TForm1>::Set(this);
    WatchLink();
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
    settingsFiles_ = new SettingsFileMenu(*ServiceMenu(), link_, *this);
    BuildStatusBar();
    telemetry_ = new TelemetryTools(state_, *ServiceMenu(), *statusBar(), this);
    Timer1 = new FormTimer([this] { link_.Timer1Timer(); }, this);
    Timer2 = new FormTimer([this] { link_.Timer2Timer(); }, this);
    Timer3 = new FormTimer([this] { link_.Timer3Timer(); }, this);
    Timer5 = new FormTimer([this] { link_.Timer5Timer(); }, this);
    ReopenTimer = new FormTimer([this] { portKeeper_.Tick(PortHeldElsewhere()); }, this);
    ReopenTimer->SetInterval(kReopenIntervalMs);

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
    FinderItem = ServiceMenu()->addAction(QStringLiteral("Поиск устройства"));
    connect(FinderItem, &QAction::triggered, this, &TForm1::FinderItemClick);
    MonitorItem = ServiceMenu()->addAction(QStringLiteral("Монитор обмена"));
    connect(MonitorItem, &QAction::triggered, this, &TForm1::OpenMonitor);
    OverviewItem = ServiceMenu()->addAction(QStringLiteral("Обзор шины"));
    connect(OverviewItem, &QAction::triggered, this, &TForm1::OverviewItemClick);
}

void TForm1::WatchLink() {
    linkObservers_.Add(&traffic_);
    link_.SetObserver(&linkObservers_);
    firmwareTransfer_.observer = &linkObservers_;
    traffic_.SetDecodeContext([this] { return DecodeContext{firmwareTransfer_.TotalBlocks()}; });
}

MonitorWindow* TForm1::OpenMonitor() {
    if (!monitorWindow_) return monitorWindow_ = new MonitorWindow(traffic_, this);
    monitorWindow_->raise();
    monitorWindow_->activateWindow();
    return monitorWindow_;
}

void TForm1::ShowLinkCause() {
    const auto& cause = traffic_.Counters().Cause();
    panels_[kPanelLink]->setToolTip(cause ? QStringLiteral("Нет связи: ") +
                                                QString::fromStdString(CauseText(*cause))
                                          : QString());
}

QMenu* TForm1::ServiceMenu() {
    if (!serviceMenu_) serviceMenu_ = menuBar()->addMenu(QStringLiteral("Сервис"));
    return serviceMenu_;
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
    init_crc16_tab();
    if (!LoadDataInf(kDataInfName, state_.Settings)) return;
    state_.DeviceAddress = static_cast<std::uint8_t>(state_.Settings.addressWord & 0xFF);
    ShowPortPanel();
    ShowRatePanel();
    ConnectStoredPort();
}

void TForm1::ShowPortPanel() {
    SetStatusPanel(kPanelPort, "COM" + std::to_string(state_.Settings.comPortWord));
}

void TForm1::ShowRatePanel() {
    const auto baudIndex = static_cast<std::uint8_t>(state_.Settings.baudIndexWord & 0xFF);
    SetStatusPanel(kPanelRate, std::to_string(BaudRateFromIndex(baudIndex)) + "бод");
}

void TForm1::ConnectStoredPort() {
    if (link_.OpenStoredPort() == kOpenFailed) {
        link_.StopLinkTimers();
        ShowLinkCause();
        ShowMessage(
            OpenErrorMessage("Ошибка открытия COM порта", link_.Channel().LastOpenFailure()));
        return;
    }
    ShowLinkCause();
    link_.StartLinkTimers();
}

// Leaving a setpoint box is what commits it, so the window never starts with one focused.
void TForm1::FormActivate() {
    Edit1->setFocus(Qt::ActiveWindowFocusReason);
}

void TForm1::FormClose() {
    link_.Channel().CloseComPort();
    state_.Settings.addressWord = state_.DeviceAddress;
    SaveDataInf(kDataInfName, state_.Settings);
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

RegisterWriter TForm1::RegisterWrites() {
    return [this](std::uint16_t reg, std::uint16_t value) {
        if (RefusedAsBroadcast(state_.DeviceAddress)) return;
        link_.EnqueueRequest(kWriteSingle, reg, value);
    };
}

void TForm1::N6Click() {
    new TForm6(versionInfo_, this);
}

void TForm1::N7Click() {
    new TForm7(state_.InputImage, this);
}

void TForm1::N5Click() {
    const std::uint16_t current = state_.HoldingImage[reg::holding::OutputCurrent];
    if (!CurrentAllowsUpdate(current)) {
        kvel::ShowMessage(QStringLiteral("Для обновления ПО отключите нагрузку\n"
                                         "Ток нагрузки %1 A, допустимо не более %2 A")
                              .arg(TenthsText(current), TenthsText(kMostCurrentForUpdate)));
        return;
    }
    const TForm4::MainTimers setMainTimers = [this](int timer1Ms, int timer2Ms) {
        Timer1->SetInterval(timer1Ms);
        Timer2->SetInterval(timer2Ms);
    };
    new TForm4(firmwareTransfer_, state_, link_.Channel(), setMainTimers, this);
}

// One scan at a time: a second choice brings the running finder forward.
void TForm1::FinderItemClick() {
    if (QWidget* borrower = LineBorrower()) {
        borrower->activateWindow();
        return;
    }
    new FinderWindow(link_.Channel(), state_.Settings.comPortWord,
                     static_cast<std::uint8_t>(state_.Settings.baudIndexWord & 0xFF), *this, this);
}

void TForm1::OverviewItemClick() {
    if (QWidget* borrower = LineBorrower()) {
        borrower->activateWindow();
        return;
    }
    new BusOverviewWindow(link_.Channel(), state_.Settings.comPortWord,
                          static_cast<std::uint8_t>(state_.Settings.baudIndexWord & 0xFF),
                          OverviewAddresses(), *this, this);
}

QWidget* TForm1::LineBorrower() {
    if (FinderWindow* finder = NewestWindow<FinderWindow>::Get();
        finder && finder->Finder().Running())
        return finder;
    return NewestWindow<BusOverviewWindow>::Get();
}

std::vector<std::uint8_t> TForm1::OverviewAddresses() const {
    const auto baudIndex = static_cast<std::uint8_t>(state_.Settings.baudIndexWord & 0xFF);
    std::vector<std::uint8_t> addresses;
    for (const FoundUnit& unit : lastFound_)
        if (unit.baudIndex == baudIndex) addresses.push_back(unit.address);
    if (addresses.empty()) addresses.push_back(std::max<std::uint8_t>(state_.DeviceAddress, 1));
    return addresses;
}

void TForm1::UnitsFound(const std::vector<FoundUnit>& units) {
    lastFound_ = units;
}

bool TForm1::PortHeldElsewhere() {
    if (pollingPaused_) return true;
    const QList<TForm4*> updates = findChildren<TForm4*>();
    return std::any_of(updates.begin(), updates.end(),
                       [](TForm4* update) { return update->isVisible(); });
}

void TForm1::PausePolling() {
    pausedTimers_ = {Timer1->Interval(), Timer2->Interval(), Timer3->Interval()};
    link_.StopLinkTimers();
    pollingPaused_ = true;
}

// The finder may have taken the awaited reply's place on the line, so it is not waited for.
void TForm1::ResumePolling() {
    pollingPaused_ = false;
    link_.ForgetAwaitedReply();
    const bool wasPolling = std::any_of(pausedTimers_.begin(), pausedTimers_.end(),
                                        [](int interval) { return interval != 0; });
    link_.Channel().CloseComPort();
    if (!wasPolling) return;
    if (link_.OpenStoredPort() == kOpenFailed) {
        ShowMessage(
            OpenErrorMessage("Ошибка открытия COM порта", link_.Channel().LastOpenFailure()));
        return;
    }
    SetLinkTimerIntervals(pausedTimers_[0], pausedTimers_[1], pausedTimers_[2]);
}

// As the connection window would: the port reopened at the unit's rate, then its address.
void TForm1::ConnectTo(const FoundUnit& unit) {
    state_.Settings.baudIndexWord = unit.baudIndex;
    ShowRatePanel();
    link_.SwitchDeviceAddress(unit.address);
    link_.Channel().CloseComPort();
    link_.ForgetAwaitedReply();
    ConnectStoredPort();
}

QString TForm1::PanelText(int panel) const {
    return panels_.at(panel)->text();
}

void TForm1::SetStatusPanel(int panel, const std::string& utf8Text) {
    panels_.at(panel)->setText(QString::fromStdString(utf8Text));
    if (panel == kPanelLink) ShowLinkCause();
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
    kvel::ShowMessage(QString::fromStdString(utf8Text));
}

void TForm1::Pause(int ms) {
    BlockingPause(ms);
}

// The calibration window before the settings window.
void TForm1::filling_out3() {
    telemetry_->HoldingReplyAccepted();
    display_->filling_out3(state_);
    if (state_.CalibrationWindowOpen)
        if (TForm5* calibration = NewestWindow<TForm5>::Get()) calibration->Refresh();
    if (state_.SettingsWindowOpen)
        if (TForm3* settings = NewestWindow<TForm3>::Get()) settings->Refresh();
    settingsFiles_->OnHoldingReply();
}

void TForm1::filling_out4() {
    versionInfo_ = VersionFromInputs(state_.InputImage);
    telemetry_->InputReplyAccepted();
}

void TForm1::CloseSettingsWindow() {
    if (TForm3* settings = NewestWindow<TForm3>::Get()) settings->close();
}

void TForm1::CloseCalibrationWindow() {
    if (TForm5* calibration = NewestWindow<TForm5>::Get()) calibration->close();
}

void TForm1::BlankReadings() {
    telemetry_->LinkLost();
    display_->BlankReadings();
}

} // namespace kvel
