// The line diagnostics of the menu "Сервис": the traffic monitor watching the link from start-up,
// and the item that opens its window.
#pragma once

#include "RoomHook.h"
#include "TrafficMonitor.h"

#include <QPointer>
#include <QString>

class QAction;
class QWidget;

namespace kvel {

class MonitorWindow;

class DiagnosticsTools : public RoomHook {
    Q_OBJECT
public:
    // The monitor window belongs to `windowParent`.
    explicit DiagnosticsTools(QWidget* windowParent);

    QList<QAction*> ServiceItems() const override { return {MonitorItem}; }
    // Watches the link and the firmware upload.
    LinkObserver* Observer() override { return &traffic_; }
    TrafficMonitor& Traffic() { return traffic_; }
    // Opens the monitor, or brings the open one forward.
    MonitorWindow* OpenMonitor();
    // "Нет связи: …" while the last loss has a known cause, else empty.
    QString LinkCause() const override;
    // The monitor window's last `count` lines with its header; empty while it is closed, since
    // the lines are made only while it is open.
    QString MonitorLinesText(int count) const;

    QAction* MonitorItem; // "Монитор обмена"

private:
    TrafficMonitor traffic_;
    QWidget* windowParent_;
    QPointer<MonitorWindow> window_;
};

} // namespace kvel
