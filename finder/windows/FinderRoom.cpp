// The finder's hook: "Поиск устройства" borrows the line and scans rates and addresses.
#include "FinderWindow.h"
#include "LineLender.h"
#include "RoomHook.h"
#include "RoomHost.h"
#include "RoomRegistry.h"

#include <QAction>

namespace kvel {
namespace {

constexpr int kFinderPlace = 10;

class FinderRoom : public RoomHook {
public:
    explicit FinderRoom(RoomHost& host)
        : RoomHook(&host.Window()), host_(host),
          item_(new QAction(QStringLiteral("Поиск устройства"), this)) {
        connect(item_, &QAction::triggered, this, &FinderRoom::Open);
    }

    QList<QAction*> ServiceItems() const override { return {item_}; }

private:
    // A finished scan leaves its window open but the line free.
    void Open() {
        host_.Line().Lend(
            [this] {
                return new FinderWindow(host_.Link().Channel(), host_.Link().StoredPortName(),
                                        host_.BaudIndex(), host_.Line(), &host_.Window());
            },
            [](QWidget& window) { return static_cast<FinderWindow&>(window).Finder().Running(); });
    }

    RoomHost& host_;
    QAction* item_;
};

const RoomRegistrar registrar{kFinderPlace, [](RoomHost& host) { return new FinderRoom(host); }};

} // namespace
} // namespace kvel
