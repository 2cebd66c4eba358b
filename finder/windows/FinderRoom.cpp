// The finder's hook: "Поиск устройства" borrows the line and scans rates and addresses.
#include "FinderWindow.h"
#include "LineLender.h"
#include "OneItemRoom.h"
#include "RoomRegistry.h"

namespace kvel {
namespace {

constexpr int kFinderPlace = 10;

class FinderRoom : public OneItemRoom {
public:
    explicit FinderRoom(RoomHost& host) : OneItemRoom(host, QStringLiteral("Поиск устройства")) {}

private:
    // A finished scan leaves its window open but the line free.
    void Open() override {
        host_.Line().Lend(
            [this] {
                return new FinderWindow(host_.Link().Channel(), host_.Link().StoredPortName(),
                                        host_.BaudIndex(), host_.Line(), &host_.Window());
            },
            [](QWidget& window) { return static_cast<FinderWindow&>(window).Finder().Running(); });
    }
};

const RoomRegistrar registrar{kFinderPlace, [](RoomHost& host) { return new FinderRoom(host); }};

} // namespace
} // namespace kvel
