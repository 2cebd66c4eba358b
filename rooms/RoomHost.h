// What a room may ask of the main window, and nothing more: the parent of its windows, the link
// with the port, rate and address in use, the line lent to one borrower at a time, and polling
// paused or started again.
#pragma once

#include "FinderHost.h"
#include "ModbusLink.h"

#include <cstdint>
#include <string>

class QStatusBar;
class QWidget;

namespace kvel {

struct FirmwareTransfer;
class LineLender;

class RoomHost {
public:
    virtual ~RoomHost() = default;

    // The parent of the room's windows and hooks; boxes stand over it.
    virtual QWidget& Window() = 0;
    // A room's own panels go after the link's four.
    virtual QStatusBar& StatusBar() = 0;
    // The channel, the stored port, rate and address, and the request queue for writes.
    virtual ModbusLink& Link() = 0;
    // The line lent to the finder and the overview, one at a time.
    virtual LineLender& Line() = 0;
    // Who watches the bytes a borrower puts on the line, as the link's own are watched.
    virtual LinkObserver& LineObserver() = 0;
    // The upload in progress, if any: what the monitor decodes its block frames with.
    virtual const FirmwareTransfer& Upload() const = 0;
    // "COM3", or the network line's name.
    virtual std::string PortLabel() const = 0;

    // Polling stops and panel 0 says `statusText`; the port is the caller's until
    // ResumePolling brings back the stored port, and polling as it was.
    virtual void PausePolling(const std::string& statusText) = 0;
    virtual void ResumePolling() = 0;
    // From now on the program talks to `unit`: its rate on the port and its address.
    virtual void ConnectTo(const FoundUnit& unit) = 0;
    // The stored port or network line opened again, its panel shown, and polled.
    virtual void Reconnect() = 0;

    std::uint8_t BaudIndex() { return Link().State().Settings.BaudIndex(); }
};

} // namespace kvel
