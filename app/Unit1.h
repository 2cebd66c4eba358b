// TForm1, the main window: menu, status bar, the link's timers, start-up and close.
#pragma once

#include "FirmwareTransfer.h"
#include "FormTimer.h"
#include "LineLender.h"
#include "LinkHost.h"
#include "LinkState.h"
#include "LinkWords.h"
#include "MainDisplay.h"
#include "ModbusLink.h"
#include "ObserverFanOut.h"
#include "PortKeeper.h"
#include "RoomHook.h"
#include "RoomHost.h"
#include "SerialChannel.h"
#include "Unit3.h"
#include "Unit5.h"
#include "VersionInfo.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;

namespace kvel {

class TForm1 : public QMainWindow, public LinkHost, public RoomHost {
    Q_OBJECT
public:
    // Runs FormCreate: reads data.inf from the working directory and opens the port.
    explicit TForm1(SerialChannel& channel, QWidget* parent = nullptr);

    ModbusLink& Link() override { return link_; }
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
    // The item of that text in "Сервис"; none when no room offers it.
    QAction* ServiceItem(const QString& text) const;
    // The hook of that type a room handed over; none when no room did.
    template <class Hook> Hook* Room() const {
        for (RoomHook* hook : rooms_)
            if (auto* room = dynamic_cast<Hook*>(hook)) return room;
        return nullptr;
    }
    // Every observer of the link and the firmware upload hangs here.
    ObserverFanOut& LinkObservers() { return linkObservers_; }
    void SetStatusPanel(int panel, const std::string& utf8Text);
    void ShowMessage(const std::string& utf8Text);
    // The readings redrawn from the images just stored.
    void filling_out3();
    void filling_out4();

    // LinkHost
    void ShowLinkStatus(LinkStatus status) override;
    void ShowDeviceAddress(std::uint8_t address, AddressNews news) override;
    void SetLinkTimerIntervals(int timer1Ms, int timer2Ms, int timer3Ms) override;
    void SetTimer5Interval(int ms) override;
    void Pause(int ms) override;
    void ReopenAtNewRateFailed(const OpenFailure& failure) override;
    void HoldingRegistersStored() override { filling_out3(); }
    void InputRegistersStored() override { filling_out4(); }
    void SettingsSessionEnded() override;
    void CalibrationSessionEnded() override;
    void BlankReadings() override;

    // RoomHost
    QWidget& Window() override { return *this; }
    QStatusBar& StatusBar() override { return *statusBar(); }
    LineLender& Line() override { return lineLender_; }
    LinkObserver& LineObserver() override { return linkObservers_; }
    const FirmwareTransfer& Upload() const override { return firmwareTransfer_; }
    std::string PortLabel() const override;
    void PausePolling(const std::string& statusText) override;
    void ResumePolling() override;
    void ConnectTo(const FoundUnit& unit) override;
    void Reconnect() override;

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
    // Something other than polling drives the port: a firmware upload or a borrower of the line.
    bool PortHeldElsewhere();
    // Function-6 writes through the request queue, for the windows that change registers.
    RegisterWriter RegisterWrites();
    // Every registered room's hook: its items make the menu "Сервис", in the rooms' places, and
    // its observer joins the fan-out.
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
    // Timer1..Timer3 as they ran when a borrower paused them.
    std::array<int, 3> pausedTimers_{};
    std::string pausedLinkText_;
    bool pollingPaused_ = false;
    // A refusal of a write to the broadcast address is waiting to be shown.
    bool refusalWaiting_ = false;
    ObserverFanOut linkObservers_;
    MainDisplay* display_ = nullptr;
    std::array<QLabel*, 4> panels_{};
    QMenu* serviceMenu_ = nullptr;
    LineLender lineLender_{*this};
    std::vector<RoomHook*> rooms_;
};

} // namespace kvel
