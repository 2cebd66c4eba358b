// Counts of the link's traffic since the program started, and why the link was last lost.
#pragma once

#include "LinkObserver.h"
#include "StreamCutter.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace kvel {

// Connection: a network line's connection failed or went down. GatewayNoAnswer: a gateway
// answered for the unit that nothing is there.
enum class LossCause {
    PortClosed,
    NoBytes,
    BytesNoFrames,
    OtherAddress,
    Exception,
    Connection,
    GatewayNoAnswer
};

struct CauseOfLoss {
    LossCause cause = LossCause::NoBytes;
    std::uint8_t detail = 0; // the other address, or the exception code
    OpenFailureReason connection = OpenFailureReason::None;
};

// "порт закрыт", "отвечает другой адрес 5", "исключение 02 (недопустимый адрес данных)"…
std::string CauseText(const CauseOfLoss& cause);
// The cause with what to check next and where: "нет ни одного байта — проверьте адрес и
// скорость (Сервис → Поиск устройства)".
std::string CauseWithHint(const CauseOfLoss& cause);
// "Нет связи: " and the cause with its hint, as the monitor heads its window and the status
// panel's tooltip says it.
std::string LossHeadline(const CauseOfLoss& cause);

struct Latency {
    using Duration = std::chrono::microseconds;
    std::uint64_t count = 0;
    Duration last{};
    Duration least{};
    Duration most{};
    Duration total{};

    void Add(Duration sample);
    Duration Mean() const {
        return count == 0 ? Duration{} : total / static_cast<std::int64_t>(count);
    }
};

class LinkCounters {
public:
    void RequestSent(LinkClock::time_point when);
    void ByteRead() { ++bytesSinceEvidence_; }
    void Received(const ReceivedPiece& piece);
    void LinkLost(bool portOpen);
    void PortOpened(bool opened);
    void NetworkNoted(const NetworkNote& note);

    std::uint64_t Requests() const { return requests_; }
    std::uint64_t Replies() const { return replies_; }
    std::uint64_t LinkLosses() const { return linkLosses_; }
    std::uint64_t Rejected(PieceKind kind) const {
        return rejected_[static_cast<std::size_t>(kind)];
    }
    std::uint64_t Exceptions(std::uint8_t code) const { return exceptions_[code]; }
    const Latency& ReplyLatency() const { return latency_; }
    // Connections that failed or went down, by reason.
    std::uint64_t ConnectionFailures(OpenFailureReason reason) const {
        return connectionFailures_[static_cast<std::size_t>(reason)];
    }
    std::uint64_t MbapDrops(MbapFault fault) const {
        return mbapDrops_[static_cast<std::size_t>(fault)];
    }
    // True once a network line has said anything.
    bool NetworkSeen() const { return networkSeen_; }
    // Why the link is down; nothing while it works or before it was ever lost.
    const std::optional<CauseOfLoss>& Cause() const { return cause_; }
    // Lost, and neither a reply nor an opened port since: a loss now is the same outage.
    bool Lost() const { return lost_; }
    // The causes of the last outages, oldest first, each as it was first told.
    const std::deque<CauseOfLoss>& RecentCauses() const { return recentCauses_; }
    static constexpr std::size_t kRecentCauses = 10;

private:
    void ForgetEvidence();
    // The connection's fault when there is one, else the port is simply closed.
    CauseOfLoss ClosedCause() const;

    std::uint64_t requests_ = 0;
    std::uint64_t replies_ = 0;
    std::uint64_t linkLosses_ = 0;
    bool lost_ = false;
    std::array<std::uint64_t, 6> rejected_{};
    std::array<std::uint64_t, 256> exceptions_{};
    Latency latency_;
    std::optional<LinkClock::time_point> requestSentAt_;
    std::optional<CauseOfLoss> cause_;
    std::deque<CauseOfLoss> recentCauses_;
    std::array<std::uint64_t, static_cast<std::size_t>(OpenFailureReason::ConnectionTimedOut) + 1>
        connectionFailures_{};
    std::array<std::uint64_t, static_cast<std::size_t>(MbapFault::WrongLength) + 1> mbapDrops_{};
    bool networkSeen_ = false;
    // Why the network line's connection is down, until it is up again or closed.
    std::optional<OpenFailureReason> connectionFault_;

    // What the line showed since the last reply or loss.
    std::uint64_t bytesSinceEvidence_ = 0;
    std::optional<std::uint8_t> otherAddress_;
    std::optional<std::uint8_t> exceptionCode_;
};

// The counts and the last outages' causes as a service report holds them, one per line.
std::string CountersReport(const LinkCounters& counters);

} // namespace kvel
