// The line diagnostics of the menu "Сервис": the traffic monitor watching the link from start-up,
// and the item that opens its window.
#pragma once

#include "TrafficMonitor.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QMenu;
class QWidget;

namespace kvel {

class MonitorWindow;

class DiagnosticsTools : public QObject {
    Q_OBJECT
public:
    // Adds its item to `serviceMenu`; the monitor window belongs to `windowParent`.
    DiagnosticsTools(QMenu& serviceMenu, QWidget* windowParent);

    // Watches the link and the firmware upload.
    LinkObserver& Observer() { return traffic_; }
    TrafficMonitor& Traffic() { return traffic_; }
    // Opens the monitor, or brings the open one forward.
    MonitorWindow* OpenMonitor();
    // "Нет связи: …" while the last loss has a known cause, else empty.
    QString LinkCauseText() const;
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
