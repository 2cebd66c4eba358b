// A room whose one item of "Сервис" opens its window: the hook holds the item and the host.
#pragma once

#include "RoomHook.h"
#include "RoomHost.h"

#include <QAction>
#include <QWidget>

namespace kvel {

class OneItemRoom : public RoomHook {
public:
    OneItemRoom(RoomHost& host, const QString& itemText)
        : RoomHook(&host.Window()), host_(host), item_(new QAction(itemText, this)) {
        connect(item_, &QAction::triggered, this, [this] { Open(); });
    }

    QList<QAction*> ServiceItems() const override { return {item_}; }

protected:
    virtual void Open() = 0;

    RoomHost& host_;

private:
    QAction* item_;
};

} // namespace kvel
