// The shared line's one master: Modbus TCP clients' requests go onto it one at a time, taken
// round-robin between clients, each after the line's silence and with its own time-out. A unit
// that does not answer costs its own time-out and no more; each client's queue is bounded, and
// its answers keep its order. Plain C++ on the channel, driven by Poll as time passes and bytes
// arrive, so that the tests drive it with a fake line and a clock of their own.
#pragma once

#include "MbapFraming.h"
#include "ModbusTransaction.h"
#include "RequestRules.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace kvel::gateway {

using ClientId = std::uint64_t;

// How a request that went on the line ended, for the metrics.
enum class LineOutcome { Answered, Silent, Garbled, LineLost };

class SchedulerEvents {
public:
    virtual ~SchedulerEvents() = default;
    // The MBAP bytes of `client`'s next answer, in the order it asked.
    virtual void Answer(ClientId client, std::vector<std::uint8_t> bytes) = 0;
    virtual void UnitSilent(std::uint8_t /*unit*/) {}
    virtual void UnitBack(std::uint8_t /*unit*/) {}
    // A request off the line: how long it waited for its turn, how long the line took.
    virtual void Served(ClientId, std::uint8_t /*unit*/, LinkClock::duration /*waited*/,
                        LinkClock::duration /*onLine*/, LineOutcome) {}
};

struct SchedulerSettings {
    TransactionTiming timing;
    SharingPolicy policy;
    // Requests of one client waiting for the line; one more is answered "busy".
    std::size_t queueLimit = 16;
    // Answers one client may have outstanding, queued or held for its order; a client past it
    // sends without reading and is cut off.
    std::size_t outstandingLimit = 64;
};

class LineScheduler {
public:
    LineScheduler(SerialChannel& channel, const SchedulerSettings& settings,
                  SchedulerEvents& events);

    void AddClient(ClientId client);
    // Its queued requests go with it; one already on the line is seen out and its answer
    // dropped.
    void RemoveClient(ClientId client);
    // False when the client is to be cut off: a frame that leaves the stream unreadable, or
    // more outstanding than allowed.
    bool Submit(ClientId client, const MbapFrame& frame, LinkClock::time_point now);
    // Takes in what the line brought, ends a wait that is over, starts the next request.
    void Poll(LinkClock::time_point now);
    // When Poll has something to do though no byte arrives; max() when nothing.
    LinkClock::time_point WakeAt() const;

    // The line lent out whole: queued requests and new ones are answered "busy" until Return.
    // A request already on the line is seen out first.
    void Lend();
    void Return();
    bool Lent() const { return lent_; }
    // No request of a client on the line: the borrower may use it.
    bool LineFree() const { return !transaction_.Busy(); }

    std::size_t QueueDepth(ClientId client) const;

private:
    struct Entry {
        // Unique among all entries: clients may use one transaction id for several requests.
        std::uint64_t serial = 0;
        std::uint16_t transaction = 0;
        std::uint8_t unit = 0;
        std::uint8_t function = 0;
        // Set while the entry waits for the line; moved out when it goes on the line.
        std::optional<TransactionRequest> request;
        // Empty until the entry has its answer.
        std::vector<std::uint8_t> answer;
        LinkClock::time_point queuedAt{};
    };
    struct Client {
        std::deque<Entry> entries;
        std::size_t waiting = 0;
    };
    struct OnLine {
        ClientId client = 0;
        std::uint64_t serial = 0;
        TransactionRequest request;
        LinkClock::time_point queuedAt{};
        LinkClock::time_point startedAt{};
        int tries = 0;
    };

    void Queue(Client& client, Entry entry);
    void Refuse(Client& client, Entry entry, std::uint8_t code);
    void StartNext(std::map<ClientId, Client>::iterator next, LinkClock::time_point now);
    std::map<ClientId, Client>::iterator NextClientWaiting();
    void Conclude(LinkClock::time_point now);
    void Report(LineOutcome outcome, LinkClock::time_point now);
    // The answer of the request on the line, built by `reply` from its entry.
    template <typename MakeAnswer> void Settle(MakeAnswer reply);
    void AnswerAllWaiting(std::uint8_t code);
    void NoteUnit(std::uint8_t unit, bool answered);
    void Flush(ClientId id, Client& client);

    SerialChannel& channel_;
    SchedulerSettings settings_;
    SchedulerEvents& events_;
    ModbusTransaction transaction_;
    std::map<ClientId, Client> clients_;
    std::optional<OnLine> onLine_;
    // Round-robin: the next turn goes to the first client after this one.
    ClientId lastServed_ = 0;
    std::uint64_t nextSerial_ = 1;
    std::set<std::uint8_t> silentUnits_;
    bool lent_ = false;
};

} // namespace kvel::gateway
