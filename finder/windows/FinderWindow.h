// The unit finder window "Поиск устройства": runs the scan on the stored port with polling
// paused, lists the units that answer, and connects to the one the operator picks.
#pragma once

#include "FinderHost.h"
#include "FormTimer.h"
#include "ObservedChannel.h"
#include "UnitFinder.h"

#include <QElapsedTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace kvel {

class FinderWindow : public QWidget {
    Q_OBJECT
public:
    // Pauses polling and starts scanning at once; shows itself.
    FinderWindow(SerialChannel& channel, std::uint16_t comPort, std::uint8_t storedBaudIndex,
                 FinderHost& host, QWidget* parent = nullptr);
    // On the port of that name: a COM port or an RFC 2217 line at every rate, a raw network
    // line at the server's rate only.
    FinderWindow(SerialChannel& channel, const std::string& portName, std::uint8_t storedBaudIndex,
                 FinderHost& host, QWidget* parent = nullptr);

    const UnitFinder& Finder() const { return finder_; }

    QTableWidget* UnitList;
    QProgressBar* Progress;
    QLabel* StatusText;
    // Unticked, the scan ends with the rate where units answered: a line has one rate.
    QCheckBox* AllRatesBox;
    QPushButton* StopButton;
    QPushButton* ConnectButton;
    QPushButton* CloseButton;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildForm();
    void Tick();
    void ShowFoundUnits();
    void ShowProgress();
    void EndScan();
    void StopClick();
    void ConnectClick();

    FinderHost& host_;
    ObservedChannel line_;
    UnitFinder finder_;
    FormTimer* timer_;
    QElapsedTimer clock_;
    bool pollingPaused_ = false;
};

} // namespace kvel
