// Watches the link from program start: keeps the counters and the cause of a loss always, and
// while recording also turns the traffic into lines for the monitor window.
#pragma once

#include "FrameDecoder.h"
#include "LinkCounters.h"
#include "LinkObserver.h"
#include "SerialChannel.h"
#include "StreamCutter.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <set>
#include <string>

namespace kvel {

enum class LineKind { Request, Reply, Rejected, Exception, Event };

struct MonitorLine {
    LinkClock::time_point when;
    std::chrono::system_clock::time_point wallClock;
    LineKind kind = LineKind::Event;
    bool outgoing = false;
    std::string hex;
    std::string text;
};

// The port the program talks through as the operator set it, and why it last would not open.
struct PortContext {
    std::string port; // "COM1", or a network line's "tcp://10.0.0.5:4001"
    std::int32_t bitRate = 0;
    std::uint8_t address = 0;
    OpenFailure failure;
};

// "COM1, 9600 бод, адрес 1"; a network line has no rate: "tcp://10.0.0.5:4001, адрес 1"
std::string PortContextText(const PortContext& port);

// How many lines the monitor keeps, and how many bytes of one frame it shows.
constexpr std::size_t kMonitorHistory = 20000;
constexpr std::size_t kBytesShownPerLine = 64;

class TrafficMonitor : public LinkObserver {
public:
    // Lines are made only while recording; the counters run regardless.
    void SetRecording(bool recording);
    // Lines made since the last call, oldest first; at most kMonitorHistory are kept waiting.
    std::deque<MonitorLine> TakeLines();
    // What the firmware upload knows of itself, for the block lines.
    void SetDecodeContext(std::function<DecodeContext()> context) { context_ = std::move(context); }
    // Names the port in the lines about opening it and in a saved file's header.
    void SetPortContext(std::function<PortContext()> port) { port_ = std::move(port); }
    PortContext Port() const { return port_ ? port_() : PortContext{}; }

    const LinkCounters& Counters() const { return counters_; }

    void BytesWritten(LinkClock::time_point when, const std::uint8_t* bytes,
                      std::size_t length) override;
    void ByteRead(LinkClock::time_point when, std::uint8_t byte, ReceiverContext context) override;
    void LinkLost(LinkClock::time_point when, bool portOpen) override;
    void PortOpened(LinkClock::time_point when, bool opened) override;
    void NetworkNoted(LinkClock::time_point when, const NetworkNote& note) override;

private:
    void TakeIn(const std::vector<ReceivedPiece>& pieces);
    std::string PortOpenedText(bool opened) const;
    void Record(LinkClock::time_point when, LineKind kind, bool outgoing, const std::uint8_t* bytes,
                std::size_t length, std::string text);
    // A line about the trouble, once per outage: retries that fail the same way add nothing.
    void RecordTrouble(LinkClock::time_point when, LineKind kind, std::string text);
    void OutageOver() { troubleShown_.clear(); }

    StreamCutter cutter_;
    LinkCounters counters_;
    std::uint8_t lastDeviceAddress_ = 0;
    bool recording_ = false;
    std::deque<MonitorLine> lines_;
    std::function<DecodeContext()> context_;
    std::function<PortContext()> port_;
    // The trouble lines of the outage under way.
    std::set<std::string> troubleShown_;
};

// One line for a received piece, in the monitor's words.
std::string PieceText(const ReceivedPiece& piece);
// One line for what a network line noted: "Соединение с 10.0.0.5:4001 разорвано"…
std::string NetworkNoteText(const NetworkNote& note);
// The line kind a received piece is shown as.
LineKind PieceLineKind(const ReceivedPiece& piece);

} // namespace kvel
