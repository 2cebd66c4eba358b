// TForm1, the main window: menu, status bar, the link's timers, start-up and close.
#pragma once

#include "BusOverviewWindow.h"
#include "DiagnosticsTools.h"
#include "FinderWindow.h"
#include "FirmwareTransfer.h"
#include "FormTimer.h"
#include "LinkHost.h"
#include "LinkState.h"
#include "MainDisplay.h"
#include "ModbusLink.h"
#include "ObserverFanOut.h"
#include "PortKeeper.h"
#include "SerialChannel.h"
#include "Unit3.h"
#include "Unit5.h"
#include "VersionInfo.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;

namespace kvel {

class TelemetryTools;

class TForm1 : public QMainWindow, public LinkHost, public FinderHost {
    Q_OBJECT
public:
    // Runs FormCreate: reads data.inf from the working directory and opens the port.
    explicit TForm1(SerialChannel& channel, QWidget* parent = nullptr);

    ModbusLink& Link() { return link_; }
    LinkState& State() { return state_; }
    MainDisplay& Display() { return *display_; }
    const kvel::VersionInfo& VersionInfo() const { return versionInfo_; }
    QString PanelText(int panel) const;
    // Panels 1 and 2 from the stored COM port number (or the network line in use) and baud index.
    void ShowPortPanel();
    void ShowRatePanel();
    // Opens the stored port and starts polling; a failed open stops polling and says so.
    void ConnectStoredPort();
    // "Ошибка открытия COM порта" (for a network line "Ошибка подключения к HOST:PORT") with the
    // reason, over readings blanked as on a link loss.
    void ShowPortNotOpened(const OpenFailure& failure);
    // The menu "Сервис" beside "Меню", made when its first item is added.
    QMenu* ServiceMenu();
    TelemetryTools& Telemetry() { return *telemetry_; }
    // Every observer of the link and the firmware upload hangs here.
    ObserverFanOut& LinkObservers() { return linkObservers_; }
    TrafficMonitor& Traffic() { return diagnostics_->Traffic(); }
    // "Монитор обмена": opens it, or brings the open one forward.
    MonitorWindow* OpenMonitor() { return diagnostics_->OpenMonitor(); }
    // Talks through the network line of that name from now on, instead of the COM port.
    void UseNetworkPort(const std::string& portName);

    // LinkHost
    void SetStatusPanel(int panel, const std::string& utf8Text) override;
    void SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) override;
    void SetTimer5Interval(int ms) override;
    void ShowMessage(const std::string& utf8Text) override;
    void Pause(int ms) override;
    void filling_out3() override;
    void filling_out4() override;
    void CloseSettingsWindow() override;
    void CloseCalibrationWindow() override;
    void BlankReadings() override;

    // FinderHost
    void PausePolling() override;
    void ResumePolling() override;
    void ConnectTo(const FoundUnit& unit) override;
    void UnitsFound(const std::vector<FoundUnit>& units) override;
    LinkObserver* LineObserver() override { return &linkObservers_; }

    FormTimer* Timer1;
    FormTimer* Timer2;
    FormTimer* Timer3;
    FormTimer* Timer5;
    // Reopens a port whose device went away, once a second.
    FormTimer* ReopenTimer;
    QLineEdit* Edit1;
    QAction* N2;
    QAction* N3;
    QAction* N4;
    QAction* N5;
    QAction* N6;
    QAction* N7;
    QAction* N8;
    // "Поиск устройства" in the menu "Сервис".
    QAction* FinderItem;
    QAction* MonitorItem;
    // "Обзор шины" in the menu "Сервис".
    QAction* OverviewItem;
    QAction* NetworkItem;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void StartPollingOnceConnected();
    void BuildForm();
    void BuildMenu();
    void BuildStatusBar();
    void FormCreate();
    void FormActivate();
    void FormClose();
    void DestroySecondaryWindows();
    // Menu items; each window item creates a new window every time it is chosen.
    void N2Click();
    void N3Click();
    void N4Click();
    void N5Click();
    void N6Click();
    void N7Click();
    void FinderItemClick();
    void OverviewItemClick();
    // The finder or the bus overview has the line; a second one is not started beside it.
    QWidget* LineBorrower();
    // The units the overview starts with: the last scan's at the stored rate, else the one
    // polling talks to.
    std::vector<std::uint8_t> OverviewAddresses() const;
    void NetworkItemClick();
    void ReadNetworkChoice();
    void WriteNetworkChoice() const;
    // Something other than polling drives the port: a firmware upload or the unit finder.
    bool PortHeldElsewhere();
    // Function-6 writes through the request queue, for the windows that change registers.
    RegisterWriter RegisterWrites();
    // The rooms of the menu "Сервис" that watch the link hand it their observers here.
    void BuildServiceMenu();
    // Panel 0's tooltip says why the link is down; its text stays as the link sets it.
    void ShowLinkCause();

    LinkState state_;
    kvel::VersionInfo versionInfo_;
    // The settings and calibration windows' RefreshHold counters live as long as the program.
    SettingsHolds settingsHolds_;
    CalibrationHolds calibrationHolds_;
    // Outlives every update window, as the transfer it records may.
    FirmwareTransfer firmwareTransfer_;
    ModbusLink link_;
    PortKeeper portKeeper_;
    // Timer1..Timer3 as they ran when the finder paused them.
    std::array<int, 3> pausedTimers_{};
    std::string pausedLinkText_;
    bool pollingPaused_ = false;
    std::vector<FoundUnit> lastFound_;
    ObserverFanOut linkObservers_;
    MainDisplay* display_ = nullptr;
    std::array<QLabel*, 4> panels_{};
    QMenu* serviceMenu_ = nullptr;
    DiagnosticsTools* diagnostics_ = nullptr;
    // The network line last chosen, in use or not; kept in network.ini.
    std::string lastNetworkPort_;
    // The network lines connected to lately, newest first; kept in network.ini.
    std::vector<std::string> recentNetworkPorts_;
    TelemetryTools* telemetry_ = nullptr;
};

} // namespace kvel
