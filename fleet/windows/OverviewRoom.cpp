// The bus overview's hook: "Обзор шины" borrows the line and polls the units it lists.
#include "BusOverviewWindow.h"
#include "LineLender.h"
#include "MessageBox.h"
#include "OverviewList.h"
#include "RoomHook.h"
#include "RoomHost.h"
#include "RoomRegistry.h"

#include <QAction>

#include <algorithm>

namespace kvel {
namespace {

constexpr int kOverviewPlace = 30;

class OverviewRoom : public RoomHook {
public:
    explicit OverviewRoom(RoomHost& host)
        : RoomHook(&host.Window()), host_(host),
          item_(new QAction(QStringLiteral("Обзор шины"), this)) {
        connect(item_, &QAction::triggered, this, &OverviewRoom::Open);
    }

    QList<QAction*> ServiceItems() const override { return {item_}; }

private:
    void Open() {
        host_.Line().Lend([this] {
            return new BusOverviewWindow(host_.Link().Channel(), host_.Link().StoredPortName(),
                                         host_.BaudIndex(), Addresses(), host_.Line(),
                                         &host_.Window());
        });
    }

    // The list it polled last, kept in overview.ini; else the last scan's at the stored rate,
    // else the one polling talks to.
    std::vector<std::uint8_t> Addresses() {
        std::string problem;
        const std::optional<std::vector<std::uint8_t>> kept =
            ReadOverviewList(kOverviewIniName, problem);
        if (!problem.empty())
            ShowMessage(QString::fromStdString(std::string("Файл ") + kOverviewIniName +
                                               " не прочитан: " + problem),
                        &host_.Window());
        if (kept) return *kept;
        std::vector<std::uint8_t> addresses;
        for (const FoundUnit& unit : host_.Line().LastFound())
            if (unit.baudIndex == host_.BaudIndex()) addresses.push_back(unit.address);
        if (addresses.empty())
            addresses.push_back(std::max<std::uint8_t>(host_.Link().State().DeviceAddress, 1));
        return addresses;
    }

    RoomHost& host_;
    QAction* item_;
};

const RoomRegistrar registrar{kOverviewPlace,
                              [](RoomHost& host) { return new OverviewRoom(host); }};

} // namespace
} // namespace kvel
