// What a window that borrows the line from polling needs from the program around it: the
// finder, and the bus overview.
#pragma once

#include "LinkObserver.h"
#include "UnitFinder.h"

#include <string>
#include <vector>

namespace kvel {

class FinderHost {
public:
    virtual ~FinderHost() = default;
    // Polling stops; the port is the caller's until ResumePolling. The main window's status
    // says who has it: `statusText`.
    virtual void PausePolling(const std::string& statusText) = 0;
    // The stored port at the stored rate again, and polling as it was before the pause.
    virtual void ResumePolling() = 0;
    // From now on the program talks to `unit`: its rate on the port and its address.
    virtual void ConnectTo(const FoundUnit& unit) = 0;
    // Who watches the finder's bytes on the line, as the link's own are watched; none by default.
    virtual LinkObserver* LineObserver() { return nullptr; }
    // The units a finished or stopped scan found, for whoever lists units next.
    virtual void UnitsFound(const std::vector<FoundUnit>& units) { (void)units; }
};

} // namespace kvel
