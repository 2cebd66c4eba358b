// The unit finder's item in the menu "Сервис": one scan at a time on the stored port.
#pragma once

#include "FinderWindow.h"
#include "LinkState.h"

#include <QObject>

class QAction;
class QMenu;

namespace kvel {

class FinderTools : public QObject {
    Q_OBJECT
public:
    // Adds its item to `serviceMenu`; scans the port of `settings` on `channel`, as it is when
    // the item is chosen. The finder window belongs to `windowParent`.
    FinderTools(QMenu& serviceMenu, SerialChannel& channel, const ConnectionSettings& settings,
                FinderHost& host, QWidget* windowParent);

    QAction* FinderItem; // "Поиск устройства"

private:
    void FinderItemClick();

    SerialChannel& channel_;
    const ConnectionSettings& settings_;
    FinderHost& host_;
    QWidget* windowParent_;
};

} // namespace kvel
