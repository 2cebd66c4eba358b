// The one serial port the program talks through, as the link core sees it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace kvel {

class LinkObserver;

constexpr int kOpenOk = 0;
constexpr int kOpenFailed = 100;
constexpr int kWriteDone = 0;
constexpr int kWritePending = 4;
// Nothing went out: there is no line to put it on (a network connection down or not yet up).
constexpr int kWriteNotSent = 5;

// Why the last open failed; the windows and programs word it. Those from
// HostNotFound on are a network line's, which also say why an open connection went down;
// ConnectionTimedOut stays the last.
enum class OpenFailureReason {
    None,
    NoSuchDevice,
    Busy,
    NoPermission,
    NotSerialPort,
    Other,
    // The port opened but would not take the line settings: `detail` has the system's words.
    SettingsRefused,
    HostNotFound,
    ConnectionRefused,
    ConnectionDropped,
    HostUnreachable,
    // A server that should take the line's settings from us (RFC 2217) refused to, did not
    // answer in time, or sent what telnet is not.
    PortControlRefused,
    PortControlUnanswered,
    TelnetGarbled,
    ConnectionTimedOut,
};

struct OpenFailure {
    OpenFailureReason reason = OpenFailureReason::None;
    // The system's own name of the port the COM number led to.
    std::string device;
    // Busy: the program holding the port, where the system can tell.
    std::string holder;
    // Other: the system's own words.
    std::string detail;
};

// What a channel's readiness handler is told: something to read now, or the line gone.
enum class ChannelEvent { BytesArrived, ConnectionLost };

class SerialChannel {
public:
    virtual ~SerialChannel() = default;

    // 0 when the port was opened and configured 8N1 at `bitRate`, 100 when it could not be.
    virtual int OpenComPort(const std::string& name, std::int32_t bitRate) = 0;
    // Discards what is queued in both directions, then closes. Harmless on a closed port.
    virtual void CloseComPort() = 0;
    virtual void PurgeComPort() = 0;
    virtual bool IsOpen() const = 0;
    // 0 when the block went to the line at once, 4 when it is on its way, 5 when nothing went.
    virtual int WriteComPort(const std::uint8_t* bytes, int length) = 0;
    virtual std::uint32_t PendingInputCount() = 0;
    // Called only as many times as PendingInputCount reported.
    virtual std::uint8_t ReadComByte() = 0;

    // Returns once input is pending, or after about `ms`; true when input is pending. A channel
    // that cannot wait on its device looks again after a millisecond, so callers loop.
    virtual bool WaitForInput(int ms);

    // Open, but its connection still coming up: nothing can be sent yet. Only a network line
    // connects after its open.
    virtual bool Connecting() const { return false; }
    // Where no event loop runs: brings the connection up within `ms`, or gives it up as timed
    // out; true when the channel can send.
    virtual bool WaitUntilConnected(int /*ms*/) { return IsOpen(); }
    // Moves an open line to `bitRate` without closing it; false where the channel cannot, and
    // the caller closes and opens it again. Only a server that takes its rate from us can: it
    // may not take a new connection at once after one closes.
    virtual bool SetBitRate(std::int32_t /*bitRate*/) { return false; }

    // Why the last OpenComPort returned 100; a channel that cannot tell says nothing.
    virtual OpenFailure LastOpenFailure() const { return {}; }
    // True once the channel has closed itself because its device went away; a close by the
    // program or a successful open clears it, a failed open does not.
    virtual bool PortVanished() const { return false; }
    // Opens again, at `bitRate`, what the last successful open reached: the link or device by
    // the path it had then, never whatever the port's name would lead to now. A replugged
    // adapter comes back as itself; only the operator moves the program to another device.
    // A channel that cannot vanish has nothing to reopen.
    virtual int ReopenVanishedPort(std::int32_t /*bitRate*/) { return kOpenFailed; }
    // Where a channel tells what its bytes do not show (a network connection's ups and downs);
    // the link hands it its own observer. Null: nobody watches.
    virtual void SetObserver(LinkObserver*) {}
    // Lets a program driven by an event loop wait on the line instead of looking every tick.
    // Called from the event loop, possibly inside PendingInputCount or WaitForInput: a handler
    // should note the event and act after it returns. True when the channel will tell; one that
    // cannot never calls, and its caller must look at the line for itself.
    virtual bool SetReadinessHandler(std::function<void(ChannelEvent)>) { return false; }
};

// An open line, its connection up, moved to `bitRate` where its channel can do that without
// closing it; false when the caller must open it (again).
bool MoveOpenLineTo(SerialChannel& channel, std::int32_t bitRate);

// The line rates by index; the connection window lists them in this order. The uncommon ones
// are those few adapters and fewer plants use.
struct LineRate {
    std::int32_t bitsPerSecond;
    bool common;
};
inline constexpr std::array<LineRate, 10> kLineRates{{{1200, true},
                                                      {2400, true},
                                                      {4800, true},
                                                      {9600, true},
                                                      {14400, false},
                                                      {19200, true},
                                                      {38400, true},
                                                      {56000, false},
                                                      {57600, true},
                                                      {115200, true}}};
constexpr int kBaudIndexCount = static_cast<int>(kLineRates.size());
// Units leave the works at 9600, and any index outside the table opens at it.
constexpr std::uint8_t kDefaultBaudIndex = 3;

// Baud index to bit rate; any index outside the table gives the default rate.
std::int32_t BaudRateFromIndex(std::uint8_t index);

// "\\.\COM" followed by the number, the form every caller builds port names in.
std::string ComPortName(std::uint16_t number);

// The number at the end of a "\\.\COM<n>" name; -1 when the name is not of that form.
long ComPortNumber(const std::string& name);

} // namespace kvel
