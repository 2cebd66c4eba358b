// Connections that hold a slot without using it.
#include "IdleWatch.h"

#include <algorithm>

namespace kvel::gateway {

IdleWatch::IdleWatch(const IdleLimits& limits) : limits_(limits) {
    limits_.unfinishedFrame = std::min(limits_.unfinishedFrame, limits_.idle);
}

void IdleWatch::Connected(ClientId client, LinkClock::time_point now) {
    clients_[client] = Seen{now, std::nullopt};
}

void IdleWatch::Gone(ClientId client) {
    clients_.erase(client);
}

void IdleWatch::Received(ClientId client, std::size_t wholeFrames, std::size_t heldBytes,
                         LinkClock::time_point now) {
    const auto found = clients_.find(client);
    if (found == clients_.end()) return;
    Seen& seen = found->second;
    if (wholeFrames > 0) {
        seen.active = now;
        seen.frameBegun.reset();
    }
    if (heldBytes == 0) {
        seen.frameBegun.reset();
        return;
    }
    if (!seen.frameBegun) seen.frameBegun = now;
}

void IdleWatch::Active(ClientId client, LinkClock::time_point now) {
    const auto found = clients_.find(client);
    if (found != clients_.end()) found->second.active = now;
}

LinkClock::time_point IdleWatch::Deadline(const Seen& seen) const {
    const LinkClock::time_point idleAt = seen.active + limits_.idle;
    if (!seen.frameBegun) return idleAt;
    return std::min(idleAt, *seen.frameBegun + limits_.unfinishedFrame);
}

std::vector<IdleCut> IdleWatch::Overdue(LinkClock::time_point now) const {
    std::vector<IdleCut> cuts;
    for (const auto& [client, seen] : clients_) {
        if (Deadline(seen) > now) continue;
        const bool unfinished =
            seen.frameBegun && *seen.frameBegun + limits_.unfinishedFrame <= now;
        cuts.push_back({client, unfinished ? IdleCause::UnfinishedFrame : IdleCause::Idle});
    }
    return cuts;
}

LinkClock::time_point IdleWatch::NextDeadline() const {
    LinkClock::time_point next = LinkClock::time_point::max();
    for (const auto& entry : clients_)
        next = std::min(next, Deadline(entry.second));
    return next;
}

LinkClock::time_point IdleWatch::DeadlineOf(ClientId client) const {
    const auto found = clients_.find(client);
    return found == clients_.end() ? LinkClock::time_point::max() : Deadline(found->second);
}

std::optional<ClientId> IdleWatch::Evictable(LinkClock::time_point now) const {
    const auto quietest =
        std::min_element(clients_.begin(), clients_.end(), [](const auto& a, const auto& b) {
            return a.second.active < b.second.active;
        });
    if (quietest == clients_.end() || now - quietest->second.active < limits_.evictable)
        return std::nullopt;
    return quietest->first;
}

} // namespace kvel::gateway
