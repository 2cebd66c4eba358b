// The telemetry tools of the menu "Сервис": the recorder fed by the link, the CSV recording with
// its status-bar panel, and the items that open the log and chart windows.
#pragma once

#include "LinkObserver.h"
#include "LinkState.h"
#include "RoomHook.h"
#include "TelemetryRecorder.h"

#include <QList>
#include <QPointer>

#include <cstdint>
#include <functional>

class QAction;
class QStatusBar;
class QWidget;

namespace kvel {

class TelemetryRecording;

class TelemetryTools : public RoomHook, public LinkObserver {
    Q_OBJECT
public:
    using Clock = std::function<std::int64_t()>;
    static std::int64_t WallClockMs();

    // Adds its panel to the end of `statusBar`; the windows it opens belong to `windowParent`.
    // `state` must outlive it.
    TelemetryTools(const LinkState& state, QStatusBar& statusBar, QWidget* windowParent,
                   Clock clock = WallClockMs);
    ~TelemetryTools() override;

    QList<QAction*> ServiceItems() const override { return {LogItem, ChartItem}; }
    LinkObserver* Observer() override { return this; }

    // Watching the link it samples the images after every read reply, and marks a gap where
    // they were zeroed.
    void ReplyAccepted(LinkClock::time_point, ReplyKind kind) override;
    void ImagesZeroed(LinkClock::time_point) override { recorder_.LinkLost(clock_()); }

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
