// The unit finder's item in the menu "Сервис".
#include "FinderTools.h"

#include "NewestWindow.h"

#include <QAction>
#include <QMenu>

namespace kvel {

FinderTools::FinderTools(QMenu& serviceMenu, SerialChannel& channel,
                         const ConnectionSettings& settings, FinderHost& host,
                         QWidget* windowParent)
    : QObject(windowParent), channel_(channel), settings_(settings), host_(host),
      windowParent_(windowParent) {
    FinderItem = serviceMenu.addAction(QStringLiteral("Поиск устройства"));
    connect(FinderItem, &QAction::triggered, this, &FinderTools::FinderItemClick);
}

// A second choice while a scan runs brings the running finder forward.
void FinderTools::FinderItemClick() {
    if (FinderWindow* finder = NewestWindow<FinderWindow>::Get();
        finder && finder->Finder().Running()) {
        finder->activateWindow();
        return;
    }
    new FinderWindow(channel_, settings_.comPortWord,
                     static_cast<std::uint8_t>(settings_.baudIndexWord & 0xFF), host_,
                     windowParent_);
}

} // namespace kvel
