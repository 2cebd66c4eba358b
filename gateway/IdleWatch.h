// Which Modbus TCP connections hold a slot without using it. A master sends whole frames; a
// connection that sends nothing for the idle time, or leaves a frame unfinished for seconds (a
// slowloris), is cut, so that such connections cannot fill --max-clients and lock out real
// masters. Plain C++ with the time given by the caller, for the tests.
#pragma once

#include "LineScheduler.h"

#include <chrono>
#include <map>
#include <optional>
#include <vector>

namespace kvel::gateway {

struct IdleLimits {
    // No whole frame and no answer owed for this long: the connection is idle.
    std::chrono::seconds idle{60};
    // A frame begun must be whole within this; any live master sends one in milliseconds.
    std::chrono::seconds unfinishedFrame{5};
    // With every slot taken, a newcomer takes the slot of the connection quiet longest, if it
    // has been quiet at least this long: masters that poll at least every second or two are
    // never the ones put out.
    std::chrono::seconds evictable{2};
};

// What a connection is cut for.
enum class IdleCause { Idle, UnfinishedFrame };

struct IdleCut {
    ClientId client = 0;
    IdleCause cause = IdleCause::Idle;
};

class IdleWatch {
public:
    explicit IdleWatch(const IdleLimits& limits);

    void Connected(ClientId client, LinkClock::time_point now);
    void Gone(ClientId client);
    // Bytes came: `wholeFrames` of them completed frames, `heldBytes` begin the next frame.
    void Received(ClientId client, std::size_t wholeFrames, std::size_t heldBytes,
                  LinkClock::time_point now);
    // An answer went to the client or is owed to it: a master waiting for answers from a slow
    // line is not idle.
    void Active(ClientId client, LinkClock::time_point now);

    // The connections past their limits.
    std::vector<IdleCut> Overdue(LinkClock::time_point now) const;
    // When the next connection will be past a limit; max() with no connection.
    LinkClock::time_point NextDeadline() const;
    LinkClock::time_point DeadlineOf(ClientId client) const;
    // The connection to put out for a newcomer, if one is quiet enough.
    std::optional<ClientId> Evictable(LinkClock::time_point now) const;

private:
    struct Seen {
        LinkClock::time_point active{};
        std::optional<LinkClock::time_point> frameBegun;
    };
    LinkClock::time_point Deadline(const Seen& seen) const;

    IdleLimits limits_;
    std::map<ClientId, Seen> clients_;
};

} // namespace kvel::gateway
