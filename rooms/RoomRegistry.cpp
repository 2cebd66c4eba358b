// The registered rooms, kept in place order.
#include "RoomRegistry.h"

#include <algorithm>
#include <utility>

namespace kvel {

namespace {
struct RegisteredRoom {
    int place;
    RoomFactory factory;
};

// Built on first use: registrars run during static initialisation, in no set order.
std::vector<RegisteredRoom>& Rooms() {
    static std::vector<RegisteredRoom> rooms;
    return rooms;
}
} // namespace

void RegisterRoom(int place, RoomFactory factory) {
    std::vector<RegisteredRoom>& rooms = Rooms();
    const auto after = std::upper_bound(
        rooms.begin(), rooms.end(), place,
        [](int wanted, const RegisteredRoom& room) { return wanted < room.place; });
    rooms.insert(after, {place, std::move(factory)});
}

std::vector<RoomFactory> RegisteredRooms() {
    std::vector<RoomFactory> factories;
    for (const RegisteredRoom& room : Rooms())
        factories.push_back(room.factory);
    return factories;
}

} // namespace kvel
