// The traffic monitor "Монитор обмена": the line's frames as they pass, the counters kept since
// the program started, and why the link was lost with what to check, at the top.
#pragma once

#include "FormTimer.h"
#include "TrafficMonitor.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTextStream;

namespace kvel {

class MonitorTableModel;

class MonitorWindow : public QWidget {
    Q_OBJECT
public:
    // Starts the monitor's recording and shows itself; closing stops the recording.
    explicit MonitorWindow(TrafficMonitor& monitor, QWidget* parent = nullptr);

    QPushButton* PauseButton;
    QPushButton* ClearButton;
    QComboBox* FilterBox;
    QPushButton* SaveButton;
    QTableView* Table;
    QLabel* CountersLabel;
    QLabel* CauseLabel;
    FormTimer* RefreshTimer;

    // The file to save to, empty when cancelled. Runs a save dialog unless replaced, so tests
    // can choose without a modal dialog.
    std::function<QString()> ChooseFileName;
    // What the save dialog offers: the date and time, so saved files do not overwrite each other.
    static QString SuggestedFileName();

    // Takes in the lines recorded since the last refresh (unless paused) and the counters.
    void Refresh();
    // Rows shown with the current filter.
    int ShownRows() const;
    QString ShownText(int row, int column) const;
    // The last `count` rows shown, up to now, as the saved file has them with its header.
    QString LastLinesText(int count);

    // Every refresh that adds rows repaints the whole table, which costs more than all the rest
    // of the window; every 2 s keeps it within 1.5 x the CPU of kvel without the monitor (the
    // lines carry their own times, so nothing is lost but immediacy).
    static constexpr int kRefreshMs = 2000;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildForm();
    void Clear();
    void Save();
    bool WriteLines(const QString& path) const;
    void WriteRows(QTextStream& out, int firstRow) const;
    void WriteHeader(QTextStream& out) const;
    QStringList ColumnTitles() const;
    void ShowCounters();
    // The view shows the newest line, so new ones and a new filter keep it there.
    bool Following() const;
    QString RunSaveDialog();

    TrafficMonitor& monitor_;
    MonitorTableModel* model_;
    QSortFilterProxyModel* filter_;
};

} // namespace kvel
