// The bus overview "Обзор шины": several units on the stored port, one row each, polled in turn
// with the main window's polling paused; a double-click connects the main window to a row's unit.
// A screen to keep open: a silent unit's row stands out, with the time it last answered.
#pragma once

#include "FinderHost.h"
#include "FleetPoller.h"
#include "FormTimer.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kvel {

class BusOverviewWindow : public QWidget {
    Q_OBJECT
public:
    // Pauses polling and starts polling `addresses` at once; shows itself.
    BusOverviewWindow(SerialChannel& channel, std::string portName, std::uint8_t baudIndex,
                      const std::vector<std::uint8_t>& addresses, FinderHost& host,
                      QWidget* parent = nullptr);

    // Nothing while the port would not open.
    const FleetPoller* Poller() const { return poller_.get(); }

    QLineEdit* UnitsEdit;
    QPushButton* PollButton;
    QTableWidget* UnitTable;
    // The port and its rate, or "сеть" for a network line, which has none.
    QLabel* LineText;
    QLabel* RoundText;
    QPushButton* CloseButton;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildForm();
    void PlaceControls(QSize client);
    void StartPolling(const std::vector<std::uint8_t>& addresses);
    void Tick();
    void ShowUnits();
    void ShowRow(int row, const PolledUnit& unit);
    void MarkSilence(int row, bool silent);
    void ShowRoundTime();
    void PollClick();
    // In overview.ini, for the next time the overview opens.
    void KeepList(const std::vector<std::uint8_t>& addresses);
    void RowDoubleClicked(int row);
    void GiveLineBack();

    SerialChannel& channel_;
    std::string portName_;
    std::uint8_t baudIndex_;
    FinderHost& host_;
    std::unique_ptr<FleetPoller> poller_;
    QTimer timer_;
    FormTimer* refresh_;
    // Per row, the requests its unit had been sent when the row was last drawn.
    std::vector<std::uint64_t> rowsShownAt_;
    bool pollingPaused_ = false;
};

} // namespace kvel
