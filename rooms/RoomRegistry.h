// The rooms of the menu "Сервис": each registers the factory of its hook from its own library,
// so a new room is added without touching the main window.
#pragma once

#include <functional>
#include <vector>

namespace kvel {

class RoomHook;
class RoomHost;

// Makes the room's hook, a child of the host's window.
using RoomFactory = std::function<RoomHook*(RoomHost&)>;

// Places order the rooms' items in the menu, lowest first; equal places keep no set order.
void RegisterRoom(int place, RoomFactory factory);
std::vector<RoomFactory> RegisteredRooms();

// A room's library defines one at namespace scope: it registers as the program starts.
struct RoomRegistrar {
    RoomRegistrar(int place, RoomFactory factory) { RegisterRoom(place, std::move(factory)); }
};

} // namespace kvel
