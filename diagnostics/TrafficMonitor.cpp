// Turns link events into counters, a cause of loss and, while recording, monitor lines.
#include "TrafficMonitor.h"

#include "LinkWords.h"
#include "NetworkPort.h"

namespace kvel {

namespace {
std::string Bytes(std::size_t count) {
    return std::to_string(count) + " байт";
}
} // namespace

// A raw network line's rate is set in the server, and the program does not know it.
std::string PortContextText(const PortContext& port) {
    const std::string rate =
        LineTakesBitRate(port.port) ? std::to_string(port.bitRate) + " бод, " : "";
    return port.port + ", " + rate + "адрес " + std::to_string(port.address);
}

std::string PieceText(const ReceivedPiece& piece) {
    const std::uint8_t* bytes = piece.bytes.data();
    const std::size_t length = piece.bytes.size();
    switch (piece.kind) {
    case PieceKind::Accepted:
    case PieceKind::Exception:
        return DescribeReply(bytes, length);
    case PieceKind::CrcError:
        return "Отклонено: ошибка CRC (" + Bytes(length) + ")";
    case PieceKind::OtherAddress:
        return "Отклонено: отвечает другой адрес " + std::to_string(piece.address) + ": " +
               DescribeReply(bytes, length);
    case PieceKind::WrongLength:
        return "Отклонено: неожиданная длина: " + DescribeReply(bytes, length);
    case PieceKind::Noise:
        break;
    }
    return "Отклонено: шум (" + Bytes(length) + ")";
}

namespace {
std::string MbapDropText(const MbapDrop& drop) {
    const std::string dropped = " (" + Bytes(drop.droppedBytes) + ")";
    switch (drop.fault) {
    case MbapFault::WrongTransaction:
        return "Отклонено: MBAP: транзакция " + std::to_string(drop.value) +
               (drop.awaited ? ", ожидалась " + std::to_string(*drop.awaited)
                             : ", ответ не ожидался") +
               dropped;
    case MbapFault::WrongProtocol:
        return "Отклонено: MBAP: протокол " + std::to_string(drop.value) + dropped;
    case MbapFault::WrongLength:
        break;
    }
    return "Отклонено: MBAP: длина " + std::to_string(drop.value) + dropped;
}
} // namespace

std::string NetworkNoteText(const NetworkNote& note) {
    switch (note.kind) {
    case NetworkNote::Kind::Connected:
        return "Соединение с " + note.where + " установлено";
    case NetworkNote::Kind::Closed:
        return "Соединение с " + note.where + " закрыто";
    case NetworkNote::Kind::Failed:
        return "Соединение с " + note.where + ": " +
               OpenFailureReasonText({note.reason, {}, {}, {}});
    case NetworkNote::Kind::ReplyDropped:
        break;
    }
    return MbapDropText(note.drop);
}

LineKind PieceLineKind(const ReceivedPiece& piece) {
    if (piece.kind == PieceKind::Accepted) return LineKind::Reply;
    if (piece.kind == PieceKind::Exception) return LineKind::Exception;
    return LineKind::Rejected;
}

void TrafficMonitor::SetRecording(bool recording) {
    recording_ = recording;
    if (!recording_) lines_.clear();
}

std::deque<MonitorLine> TrafficMonitor::TakeLines() {
    std::deque<MonitorLine> taken;
    taken.swap(lines_);
    return taken;
}

void TrafficMonitor::BytesWritten(LinkClock::time_point when, const std::uint8_t* bytes,
                                  std::size_t length) {
    // Whatever came in since the last request and was not taken will never be.
    TakeIn(cutter_.Flush(lastDeviceAddress_));
    counters_.RequestSent(when);
    if (!recording_) return;
    const DecodeContext context = context_ ? context_() : DecodeContext{};
    Record(when, LineKind::Request, true, bytes, length, DescribeRequest(bytes, length, context));
}

void TrafficMonitor::ByteRead(LinkClock::time_point when, std::uint8_t byte,
                              ReceiverContext context) {
    lastDeviceAddress_ = context.deviceAddress;
    counters_.ByteRead();
    TakeIn(cutter_.Push(when, byte, context));
}

void TrafficMonitor::LinkLost(LinkClock::time_point when, bool portOpen) {
    TakeIn(cutter_.Flush(lastDeviceAddress_));
    counters_.LinkLost(portOpen);
    RecordTrouble(when, LineKind::Event, "Нет связи: " + CauseText(*counters_.Cause()));
}

void TrafficMonitor::PortOpened(LinkClock::time_point when, bool opened) {
    counters_.PortOpened(opened);
    if (!opened) return RecordTrouble(when, LineKind::Event, PortOpenedText(opened));
    OutageOver();
    if (recording_) Record(when, LineKind::Event, false, nullptr, 0, PortOpenedText(opened));
}

// The rate and address with an open port; the system's reason with one that would not open.
std::string TrafficMonitor::PortOpenedText(bool opened) const {
    if (!port_) return opened ? "Порт открыт" : "Порт не открылся";
    const PortContext port = port_();
    if (opened) return "Порт открыт: " + PortContextText(port);
    const std::string why = OpenFailureText(port.failure);
    return "Порт не открылся: " + port.port + (why.empty() ? "" : " — " + why);
}

void TrafficMonitor::NetworkNoted(LinkClock::time_point when, const NetworkNote& note) {
    counters_.NetworkNoted(note);
    if (note.kind == NetworkNote::Kind::Failed)
        return RecordTrouble(when, LineKind::Event, NetworkNoteText(note));
    if (note.kind != NetworkNote::Kind::ReplyDropped) OutageOver();
    if (!recording_) return;
    const bool dropped = note.kind == NetworkNote::Kind::ReplyDropped;
    Record(when, dropped ? LineKind::Rejected : LineKind::Event, false, nullptr, 0,
           NetworkNoteText(note));
}

void TrafficMonitor::TakeIn(const std::vector<ReceivedPiece>& pieces) {
    for (const ReceivedPiece& piece : pieces) {
        counters_.Received(piece);
        if (piece.kind == PieceKind::Accepted) OutageOver();
        if (recording_)
            Record(piece.lastByte, PieceLineKind(piece), false, piece.bytes.data(),
                   piece.bytes.size(), PieceText(piece));
    }
}

void TrafficMonitor::RecordTrouble(LinkClock::time_point when, LineKind kind, std::string text) {
    if (!recording_ || !troubleShown_.insert(text).second) return;
    Record(when, kind, false, nullptr, 0, std::move(text));
}

void TrafficMonitor::Record(LinkClock::time_point when, LineKind kind, bool outgoing,
                            const std::uint8_t* bytes, std::size_t length, std::string text) {
    const auto wallClock =
        std::chrono::system_clock::now() -
        std::chrono::duration_cast<std::chrono::system_clock::duration>(LinkClock::now() - when);
    lines_.push_back(MonitorLine{when, wallClock, kind, outgoing,
                                 HexBytes(bytes, length, kBytesShownPerLine), std::move(text)});
    if (lines_.size() > kMonitorHistory) lines_.pop_front();
}

} // namespace kvel
