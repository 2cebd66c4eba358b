// The telemetry tools of the menu "Сервис": the recorder fed by the main window, the CSV
// recording with its status-bar panel, and the items that open the log and chart windows.
#pragma once

#include "LinkState.h"
#include "TelemetryRecorder.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>

class QAction;
class QMenu;
class QStatusBar;
class QWidget;

namespace kvel {

class TelemetryRecording;

class TelemetryTools : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<std::int64_t()>;
    static std::int64_t WallClockMs();

    // Adds its items to `serviceMenu` and its panel to the end of `statusBar`; the windows it
    // opens belong to `windowParent`. `state` must outlive it.
    TelemetryTools(const LinkState& state, QMenu& serviceMenu, QStatusBar& statusBar,
                   QWidget* windowParent, Clock clock = WallClockMs);
    ~TelemetryTools() override;

    // The main window's hooks: after an accepted reply of each bank, and at a link loss.
    void HoldingReplyAccepted() { recorder_.HoldingReplyAccepted(clock_()); }
    void InputReplyAccepted() { recorder_.InputReplyAccepted(clock_()); }
    void LinkLost() { recorder_.LinkLost(clock_()); }

    const TelemetryRecorder& Recorder() const { return recorder_; }
    TelemetryRecording& Recording() { return *recording_; }

    QAction* LogItem;   // "Журнал"
    QAction* ChartItem; // "График"

private:
    void LogItemClick();
    void ChartItemClick();

    Clock clock_;
    TelemetryRecorder recorder_;
    TelemetryRecording* recording_;
    QWidget* windowParent_;
    // Windows read the recorder, so none may outlive it.
    QList<QPointer<QWidget>> windows_;
};

} // namespace kvel
