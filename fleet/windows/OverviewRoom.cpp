// The bus overview's hook: "Обзор шины" borrows the line and polls the units it lists.
#include "BusOverviewWindow.h"
#include "LineLender.h"
#include "MessageBox.h"
#include "OneItemRoom.h"
#include "OverviewList.h"
#include "RoomRegistry.h"

#include <algorithm>

namespace kvel {
namespace {

constexpr int kOverviewPlace = 30;

class OverviewRoom : public OneItemRoom {
public:
    explicit OverviewRoom(RoomHost& host) : OneItemRoom(host, QStringLiteral("Обзор шины")) {}

private:
    void Open() override {
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
};

const RoomRegistrar registrar{kOverviewPlace,
                              [](RoomHost& host) { return new OverviewRoom(host); }};

} // namespace
} // namespace kvel
