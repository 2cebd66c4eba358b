// The unit finder window "Поиск устройства": runs the scan on the stored port with polling
// paused, lists the units that answer, and connects to the one the operator picks.
#pragma once

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

// What the finder needs from the program around it.
class FinderHost {
public:
    virtual ~FinderHost() = default;
    // Polling stops; the port is the finder's until ResumePolling.
    virtual void PausePolling() = 0;
    // The stored port at the stored rate again, and polling as it was before the pause.
    virtual void ResumePolling() = 0;
    // From now on the program talks to `unit`: its rate on the port and its address.
    virtual void ConnectTo(const FoundUnit& unit) = 0;
    // Who watches the finder's bytes on the line, as the link's own are watched; none by default.
    virtual LinkObserver* LineObserver() { return nullptr; }
};

class FinderWindow : public QWidget {
    Q_OBJECT
public:
    // Pauses polling and starts scanning at once; shows itself.
    FinderWindow(SerialChannel& channel, std::uint16_t comPort, std::uint8_t storedBaudIndex,
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
