// The shared line's one master.
#include "LineScheduler.h"

#include "Crc16.h"
#include "ModbusFrame.h"

#include <algorithm>

namespace kvel::gateway {

namespace {
// A reply that came garbled is asked for once more before the client is told it failed.
constexpr int kMostTries = 2;

// The reply frame's PDU, without the address and the CRC, under the client's transaction id.
std::vector<std::uint8_t> AnswerFor(std::uint16_t transaction,
                                    const std::vector<std::uint8_t>& rtu) {
    return MbapBytes(transaction, rtu.front(), rtu.data() + 1, rtu.size() - 3);
}

auto Refusing(std::uint8_t code) {
    return [code](const auto& entry) {
        return ExceptionReply(entry.transaction, entry.unit, entry.function, code);
    };
}
} // namespace

LineScheduler::LineScheduler(SerialChannel& channel, const SchedulerSettings& settings,
                             SchedulerEvents& events)
    : channel_(channel), settings_(settings), events_(events),
      transaction_(channel, settings.timing) {}

void LineScheduler::AddClient(ClientId client) {
    clients_.try_emplace(client);
}

void LineScheduler::RemoveClient(ClientId client) {
    clients_.erase(client);
}

bool LineScheduler::Submit(ClientId id, const MbapFrame& frame, LinkClock::time_point now) {
    const auto found = clients_.find(id);
    if (found == clients_.end()) return false;
    Client& client = found->second;
    const Ruling ruling = RuleOn(frame, settings_.policy);
    if (ruling.kind == Ruling::Kind::Disconnect) return false;
    if (client.entries.size() >= settings_.outstandingLimit) return false;
    Entry entry{nextSerial_++, frame.transaction, frame.unit, frame.pdu.front(), {}, {}, now};
    if (ruling.kind == Ruling::Kind::Refuse)
        Refuse(client, std::move(entry), ruling.exception);
    else if (lent_ || client.waiting >= settings_.queueLimit)
        Refuse(client, std::move(entry), kExceptionBusy);
    else if (!channel_.IsOpen())
        Refuse(client, std::move(entry), kPathUnavailable);
    else {
        entry.request = ruling.request;
        Queue(client, std::move(entry));
    }
    Flush(id, client);
    Poll(now);
    return true;
}

void LineScheduler::Queue(Client& client, Entry entry) {
    client.entries.push_back(std::move(entry));
    ++client.waiting;
}

void LineScheduler::Refuse(Client& client, Entry entry, std::uint8_t code) {
    entry.answer = ExceptionReply(entry.transaction, entry.unit, entry.function, code);
    client.entries.push_back(std::move(entry));
}

void LineScheduler::Poll(LinkClock::time_point now) {
    for (;;) {
        if (transaction_.Busy() && transaction_.Poll(now) == ModbusTransaction::Step::Pending)
            return;
        if (onLine_) {
            Conclude(now);
            continue;
        }
        if (!channel_.IsOpen()) {
            AnswerAllWaiting(kPathUnavailable);
            return;
        }
        const auto next = NextClientWaiting();
        if (lent_ || next == clients_.end()) return;
        StartNext(next, now);
    }
}

LinkClock::time_point LineScheduler::WakeAt() const {
    return transaction_.WakeAt();
}

std::map<ClientId, LineScheduler::Client>::iterator LineScheduler::NextClientWaiting() {
    auto after = clients_.upper_bound(lastServed_);
    for (auto it = after; it != clients_.end(); ++it)
        if (it->second.waiting > 0) return it;
    for (auto it = clients_.begin(); it != after; ++it)
        if (it->second.waiting > 0) return it;
    return clients_.end();
}

// The client's oldest request still waiting goes on the line: its answers keep its order.
void LineScheduler::StartNext(std::map<ClientId, Client>::iterator next,
                              LinkClock::time_point now) {
    lastServed_ = next->first;
    Client& client = next->second;
    const auto entry = std::find_if(client.entries.begin(), client.entries.end(),
                                    [](const Entry& each) { return each.request.has_value(); });
    --client.waiting;
    onLine_ = OnLine{next->first, entry->serial, *entry->request, entry->queuedAt, now, 1};
    entry->request.reset();
    transaction_.Begin(onLine_->request, now);
}

void LineScheduler::Conclude(LinkClock::time_point now) {
    const TransactionResult& result = transaction_.Result();
    const std::uint8_t unit = onLine_->request.address;
    switch (result.outcome) {
    case TransactionOutcome::Ok:
    case TransactionOutcome::Exception:
        NoteUnit(unit, true);
        Report(LineOutcome::Answered, now);
        Settle([&](const Entry& entry) { return AnswerFor(entry.transaction, result.frame); });
        return;
    case TransactionOutcome::Corrupt:
    case TransactionOutcome::WrongAddress:
        if (onLine_->tries < kMostTries) {
            ++onLine_->tries;
            transaction_.Begin(onLine_->request, now);
            return;
        }
        Report(LineOutcome::Garbled, now);
        Settle(Refusing(kTargetFailed));
        return;
    case TransactionOutcome::TimedOut:
        NoteUnit(unit, false);
        Report(LineOutcome::Silent, now);
        Settle(Refusing(kTargetFailed));
        return;
    // A gateway further along found no unit there: its own answer says so to the client.
    case TransactionOutcome::NoUnit:
        NoteUnit(unit, false);
        Report(LineOutcome::Silent, now);
        Settle([&](const Entry& entry) { return AnswerFor(entry.transaction, result.frame); });
        return;
    case TransactionOutcome::PortClosed:
        Report(LineOutcome::LineLost, now);
        Settle(Refusing(kPathUnavailable));
        return;
    }
}

void LineScheduler::Report(LineOutcome outcome, LinkClock::time_point now) {
    events_.Served(onLine_->client, onLine_->request.address,
                   onLine_->startedAt - onLine_->queuedAt, now - onLine_->startedAt, outcome);
}

template <typename MakeAnswer> void LineScheduler::Settle(MakeAnswer reply) {
    const OnLine done = *onLine_;
    onLine_.reset();
    const auto found = clients_.find(done.client);
    if (found == clients_.end()) return;
    Client& client = found->second;
    for (Entry& entry : client.entries) {
        if (entry.serial != done.serial) continue;
        entry.answer = reply(entry);
        break;
    }
    Flush(done.client, client);
}

// Every request still waiting is told at once; none is kept for a line that may not return.
void LineScheduler::AnswerAllWaiting(std::uint8_t code) {
    for (auto& [id, client] : clients_) {
        for (Entry& entry : client.entries) {
            if (!entry.request) continue;
            entry.request.reset();
            entry.answer = ExceptionReply(entry.transaction, entry.unit, entry.function, code);
        }
        client.waiting = 0;
        Flush(id, client);
    }
}

void LineScheduler::NoteUnit(std::uint8_t unit, bool answered) {
    if (answered && silentUnits_.erase(unit) > 0) events_.UnitBack(unit);
    if (!answered && silentUnits_.insert(unit).second) events_.UnitSilent(unit);
}

// Answers leave in the order asked: one still on the line holds back those behind it.
void LineScheduler::Flush(ClientId id, Client& client) {
    while (!client.entries.empty() && !client.entries.front().answer.empty()) {
        std::vector<std::uint8_t> answer = std::move(client.entries.front().answer);
        client.entries.pop_front();
        events_.Answer(id, std::move(answer));
    }
}

void LineScheduler::Lend() {
    lent_ = true;
    AnswerAllWaiting(kExceptionBusy);
}

void LineScheduler::Return() {
    lent_ = false;
}

std::size_t LineScheduler::QueueDepth(ClientId client) const {
    const auto found = clients_.find(client);
    return found == clients_.end() ? 0 : found->second.waiting;
}

} // namespace kvel::gateway
