// The log window ("Журнал"): starts and stops recording the telemetry to a CSV file.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kvel {

class TelemetryRecording;

class TelemetryLogWindow : public QWidget {
    Q_OBJECT
public:
    using Clock = std::function<std::int64_t()>;

    // Shows itself at once; `recording` must outlive it. The clock dates the proposed names.
    TelemetryLogWindow(TelemetryRecording& recording, Clock clock, QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* Button1; // choose a file
    QLabel* Label3;
    QComboBox* ComboBox1; // the CSV dialect, in CsvDialect's order
    QPushButton* Button2; // start
    QPushButton* Button3; // stop
    QLabel* Label2;       // the recording's state

private:
    void BuildForm();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void ShowState();
    QString ProposedPath() const;

    TelemetryRecording& recording_;
    Clock clock_;
};

} // namespace kvel
