// The settings files' hook: save, compare and write from a file.
#include "RoomHost.h"
#include "RoomRegistry.h"
#include "SettingsFileMenu.h"

namespace kvel {
namespace {

constexpr int kSettingsPlace = 50;

const RoomRegistrar registrar{kSettingsPlace, [](RoomHost& host) {
                                  return new SettingsFileMenu(host.Link(), host.Window());
                              }};

} // namespace
} // namespace kvel
