// What a room hands the main window: its items of the menu "Сервис", its observer of the link
// when it watches the link, and what it says about the link or keeps at close.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QAction;

namespace kvel {

class LinkObserver;

class RoomHook : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // In the order they stand in the menu.
    virtual QList<QAction*> ServiceItems() const = 0;
    // Reported after a reply's registers are stored; none when the room does not watch.
    virtual LinkObserver* Observer() { return nullptr; }
    // Why the link is down, for panel 0's tooltip; empty when the room cannot tell.
    virtual QString LinkCause() const { return {}; }
    // The main window closes: what the room keeps is saved now, with no box.
    virtual void FormClose() {}
};

} // namespace kvel
