// The unit finder without widgets: tries the bit rates and every address a unit can be given
// on the port with a one-register read of the address register, and lists the units that
// answer. A line has one rate, so the rate where units answered is the last one tried unless
// all are asked for. Driven by ticks
// that carry the time, like the firmware upload, so a test or a benchmark can run it on a
// simulated clock.
#pragma once

#include "LinkObserver.h"
#include "SerialChannel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvel {

constexpr std::uint8_t kFirstFinderAddress = 1;
constexpr std::uint8_t kLastFinderAddress = 254;
// A unit turns a request round within this; the frames' own line time comes on top.
constexpr int kFinderReplyWaitMs = 50;
// How often the finder is meant to be ticked: short enough for an answer at 115200 bit/s to be
// taken in within a few ms of its arrival.
constexpr int kFinderTickMs = 5;
// Tries in a row that bring only bytes no unit would send: the rate carries noise, not units.
constexpr int kNoisyTriesToSkipRate = 8;

struct FoundUnit {
    std::uint8_t address = 0;
    std::uint8_t baudIndex = 0;
    // Empty when the unit did not say.
    std::optional<std::uint16_t> firmwareVersion;
};

enum class FinderState { Idle, Scanning, Finished, Stopped, OpenFailed };

// Stored rate first, then 9600, 19200, 38400, 57600 and 115200, then the slow and rare ones.
std::vector<std::uint8_t> FinderRateOrder(std::uint8_t storedBaudIndex);

// The longest one try may take at `bitRate`: the wait plus the request's and reply's line time.
int FinderTryMs(std::int32_t bitRate);

// How long the finder lets the line quiet down before its first try: the longest answer to a
// poll that may still be on its way, and the wait.
int FinderSettleMs(std::int32_t bitRate);

class UnitFinder {
public:
    // The stored port, its rate first, every address.
    UnitFinder(SerialChannel& channel, std::uint16_t comPort, std::uint8_t storedBaudIndex);
    // `rates` as baud indexes in the order tried; addresses `first` to `last`. A raw network
    // line is scanned at the first rate only: the server's serial side keeps its own rate
    // whatever the program asks for. An RFC 2217 server takes each rate asked for on the open
    // connection, which it may not let go of and take again at once.
    UnitFinder(SerialChannel& channel, std::string portName, std::vector<std::uint8_t> rates,
               std::uint8_t first, std::uint8_t last);

    // Opens the port at the first rate, and tries once the line has settled; OpenFailed when the
    // port will not open.
    void Start(std::int64_t nowMs);
    // Takes in what arrived, and moves on when the try is answered or its time is up.
    void Tick(std::int64_t nowMs);
    // Ends the scan where it is; the port is left for the caller to restore.
    void Stop();
    // Goes on to the other rates after one where units answered; may change while scanning.
    void SetAllRates(bool allRates) { allRates_ = allRates; }

    FinderState State() const { return state_; }
    bool Running() const { return state_ == FinderState::Scanning; }
    const std::vector<FoundUnit>& Found() const { return found_; }
    const OpenFailure& Failure() const { return failure_; }
    int TriesDone() const { return triesDone_; }
    // The tries up to the last rate the scan will try, as far as it can tell yet.
    int TriesTotal() const { return static_cast<int>(RatesToTry()) * AddressCount(); }
    // The worst case for the tries still to come.
    std::int64_t MsLeft() const;
    std::uint8_t BaudIndex() const { return rates_[rateIndex_]; }
    std::uint8_t Address() const { return address_; }
    // Whom the bytes coming in now are taken to be from: the address being asked.
    ReceiverContext Listening() const;

private:
    // Settling: the line quiets down after polling before the first try.
    enum class Asking { Settling, Presence, Version };

    bool OpenRate();
    void Send(Asking asking, std::int64_t nowMs);
    void TakeInput();
    // The newest bytes as an exception to the presence read from the address asked.
    const std::uint8_t* PresenceException() const;
    bool AnsweredPresence() const;
    // A gateway answered for the address asked that no unit is behind it.
    bool GatewayFoundNone() const;
    std::optional<std::uint16_t> AnsweredVersion() const;
    // No answer in time: a rate that keeps bringing only noise is given up.
    void EndSilentTry(std::int64_t nowMs);
    void NextTry(std::int64_t nowMs);
    int AddressCount() const { return last_ - first_ + 1; }
    std::size_t RatesToTry() const;

    SerialChannel& channel_;
    std::string portName_;
    std::vector<std::uint8_t> rates_;
    std::uint8_t first_;
    std::uint8_t last_;
    std::size_t rateIndex_ = 0;
    std::uint8_t address_;
    Asking asking_ = Asking::Presence;
    std::int64_t deadlineMs_ = 0;
    std::vector<std::uint8_t> received_;
    int noisyTries_ = 0;
    int triesDone_ = 0;
    bool allRates_ = false;
    FinderState state_ = FinderState::Idle;
    std::vector<FoundUnit> found_;
    OpenFailure failure_;
};

} // namespace kvel
