// Counters and the cause of a link loss, judged from what the line showed since the last reply.
#include "LinkCounters.h"

#include "LinkWords.h"
#include "ModbusFrame.h"

#include <algorithm>
#include <cstdio>

namespace kvel {

std::string CauseText(const CauseOfLoss& cause) {
    switch (cause.cause) {
    case LossCause::PortClosed:
        return "порт закрыт";
    case LossCause::NoBytes:
        return "нет ни одного байта";
    case LossCause::BytesNoFrames:
        return "байты есть, но кадров нет";
    case LossCause::OtherAddress:
        return "отвечает другой адрес " + std::to_string(cause.detail);
    case LossCause::Connection:
        return OpenFailureReasonText({cause.connection, {}, {}, {}});
    case LossCause::GatewayNoAnswer:
        return RussianExceptionName(kExceptionGatewayTargetSilent);
    case LossCause::Exception:
        break;
    }
    char code[4];
    std::snprintf(code, sizeof code, "%02X", cause.detail);
    const std::string name = RussianExceptionName(cause.detail);
    return std::string("исключение ") + code + (name.empty() ? "" : " (" + name + ")");
}

namespace {
std::string Hint(const CauseOfLoss& cause) {
    switch (cause.cause) {
    case LossCause::PortClosed:
        return "проверьте адаптер и номер порта (Меню → Параметры соединения)";
    case LossCause::NoBytes:
        return "проверьте адрес и скорость (Сервис → Поиск устройства)";
    case LossCause::BytesNoFrames:
        return "проверьте скорость и провода линии (Сервис → Поиск устройства)";
    case LossCause::OtherAddress:
        return "укажите адрес " + std::to_string(cause.detail) + " (Меню → Параметры соединения)";
    case LossCause::Connection:
        return "проверьте сеть и сервер последовательных портов (Сервис → Сетевое подключение…)";
    case LossCause::GatewayNoAnswer:
        return "проверьте адрес";
    case LossCause::Exception:
        break;
    }
    return "устройство отвергает опрос, проверьте, то ли это устройство";
}
} // namespace

std::string CauseWithHint(const CauseOfLoss& cause) {
    return CauseText(cause) + " — " + Hint(cause);
}

std::string LossHeadline(const CauseOfLoss& cause) {
    return "Нет связи: " + CauseWithHint(cause);
}

void Latency::Add(Duration sample) {
    least = count == 0 ? sample : std::min(least, sample);
    most = count == 0 ? sample : std::max(most, sample);
    last = sample;
    total += sample;
    ++count;
}

void LinkCounters::RequestSent(LinkClock::time_point when) {
    ++requests_;
    requestSentAt_ = when;
}

void LinkCounters::Received(const ReceivedPiece& piece) {
    switch (piece.kind) {
    case PieceKind::Accepted:
        ++replies_;
        if (requestSentAt_)
            latency_.Add(
                std::chrono::duration_cast<Latency::Duration>(piece.lastByte - *requestSentAt_));
        requestSentAt_.reset();
        cause_.reset();
        lost_ = false;
        ForgetEvidence();
        return;
    case PieceKind::Exception:
        ++exceptions_[piece.exceptionCode];
        exceptionCode_ = piece.exceptionCode;
        return;
    case PieceKind::OtherAddress:
        otherAddress_ = piece.address;
        break;
    case PieceKind::CrcError:
    case PieceKind::WrongLength:
    case PieceKind::Noise:
        break;
    }
    ++rejected_[static_cast<std::size_t>(piece.kind)];
}

// The strongest evidence wins: a closed port explains everything, another unit answering
// explains why ours seems silent, and an exception is an answer of sorts. The link says it is
// lost again every time-out while it stays silent, and the keeper after every failed retry:
// that is still the one outage, though its cause may read differently now.
void LinkCounters::LinkLost(bool portOpen) {
    const bool newOutage = !lost_;
    if (newOutage) ++linkLosses_;
    lost_ = true;
    requestSentAt_.reset();
    if (!portOpen)
        cause_ = ClosedCause();
    else if (otherAddress_)
        cause_ = CauseOfLoss{LossCause::OtherAddress, *otherAddress_};
    else if (exceptionCode_)
        cause_ = CauseOfLoss{GatewayFoundNoUnit(*exceptionCode_) ? LossCause::GatewayNoAnswer
                                                                 : LossCause::Exception,
                             *exceptionCode_};
    else if (bytesSinceEvidence_ != 0)
        cause_ = CauseOfLoss{LossCause::BytesNoFrames, 0};
    else
        cause_ = CauseOfLoss{LossCause::NoBytes, 0};
    ForgetEvidence();
    if (!newOutage) return;
    recentCauses_.push_back(*cause_);
    if (recentCauses_.size() > kRecentCauses) recentCauses_.pop_front();
}

void LinkCounters::PortOpened(bool opened) {
    ForgetEvidence();
    if (!opened) {
        cause_ = ClosedCause();
        return;
    }
    cause_.reset();
    lost_ = false;
}

CauseOfLoss LinkCounters::ClosedCause() const {
    if (!connectionFault_) return CauseOfLoss{LossCause::PortClosed, 0};
    return CauseOfLoss{LossCause::Connection, 0, *connectionFault_};
}

void LinkCounters::NetworkNoted(const NetworkNote& note) {
    networkSeen_ = true;
    switch (note.kind) {
    case NetworkNote::Kind::Connected:
    case NetworkNote::Kind::Closed:
        connectionFault_.reset();
        return;
    case NetworkNote::Kind::Failed:
        connectionFault_ = note.reason;
        ++connectionFailures_[static_cast<std::size_t>(note.reason)];
        return;
    case NetworkNote::Kind::ReplyDropped:
        ++mbapDrops_[static_cast<std::size_t>(note.drop.fault)];
        return;
    }
}

void LinkCounters::ForgetEvidence() {
    bytesSinceEvidence_ = 0;
    otherAddress_.reset();
    exceptionCode_.reset();
}

std::string CountersReport(const LinkCounters& counters) {
    const Latency& latency = counters.ReplyLatency();
    std::string text = "requests = " + std::to_string(counters.Requests()) +
                       "\nreplies = " + std::to_string(counters.Replies()) +
                       "\nlink losses = " + std::to_string(counters.LinkLosses()) +
                       "\nreply latency, ms: mean " +
                       std::to_string(latency.Mean().count() / 1000) + ", most " +
                       std::to_string(latency.most.count() / 1000) + "\n";
    for (int code = 0; code < 256; ++code) {
        const std::uint64_t count = counters.Exceptions(static_cast<std::uint8_t>(code));
        if (count != 0)
            text += "exception " + std::to_string(code) + " = " + std::to_string(count) + "\n";
    }
    for (int reason = 0; reason <= static_cast<int>(OpenFailureReason::ConnectionTimedOut);
         ++reason) {
        const OpenFailure failure{static_cast<OpenFailureReason>(reason), {}, {}, {}};
        const std::uint64_t count = counters.ConnectionFailures(failure.reason);
        if (count != 0)
            text += "connection: " + OpenFailureReasonText(failure) + " = " +
                    std::to_string(count) + "\n";
    }
    text += "\nlast losses, oldest first:\n";
    for (const CauseOfLoss& cause : counters.RecentCauses())
        text += CauseText(cause) + "\n";
    return text;
}

} // namespace kvel
