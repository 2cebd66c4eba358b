// One request and its reply, straight on the channel, for programs other than the window program
// (kvel-cli, overviews, exporters): RTU's silent interval before every request, then the window
// receiver's rules on what comes back. Step-driven: Begin, then Poll as time passes and bytes
// arrive; Run does both for a caller that may block.
#pragma once

#include "LinkObserver.h"
#include "SerialChannel.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace kvel {

enum class TransactionOutcome {
    Ok,           // the reply the request asked for
    Exception,    // the unit answered with an exception code
    NoUnit,       // a gateway answered for the unit that nothing is there (0A or 0B)
    TimedOut,     // not a byte came back
    Corrupt,      // bytes came back, but no reply the receiver takes
    WrongAddress, // a whole reply came back, from another address
    PortClosed,   // the port is closed, or went away meanwhile
};

struct TransactionRequest {
    std::uint8_t address = 1;
    std::uint8_t function = 0;
    std::uint16_t reg = 0;
    std::uint16_t countOrValue = 0;
};

struct TransactionResult {
    TransactionOutcome outcome = TransactionOutcome::TimedOut;
    // Ok, Exception, NoUnit, WrongAddress: the frame that ended the wait; Corrupt: every byte
    // received.
    std::vector<std::uint8_t> frame;
    std::uint8_t exceptionCode = 0;
    // From the request going out to the end of the wait.
    LinkClock::duration elapsed{};

    // Ok read: the registers in the reply. Ok write: the value the unit echoed.
    std::vector<std::uint16_t> Words() const;
};

struct TransactionTiming {
    std::int32_t bitRate = 9600;
    // Silence the caller wants before a request; never less than the SilentInterval.
    LinkClock::duration minimumGap{};
    // From the end of the request on the line to giving up on the reply.
    LinkClock::duration replyTimeout = std::chrono::seconds(1);
};

// How long `bytes` characters take on the line at `bitRate`.
LinkClock::duration LineTime(std::int32_t bitRate, std::size_t bytes);
// The silence that separates RTU frames: 3.5 characters, and 1.75 ms above 19200 bit/s.
LinkClock::duration SilentInterval(std::int32_t bitRate);

class ModbusTransaction {
public:
    enum class Step { Pending, Done };

    ModbusTransaction(SerialChannel& channel, TransactionTiming timing)
        : channel_(channel), timing_(timing) {}

    void SetTiming(const TransactionTiming& timing) { timing_ = timing; }
    const TransactionTiming& Timing() const { return timing_; }
    // Sees every byte written and read, as the window link's tap does.
    void SetObserver(LinkObserver* observer) { observer_ = observer; }

    // False, changing nothing, while another transaction is under way. Polls once: a request
    // whose silence has passed goes out at once.
    bool Begin(const TransactionRequest& request, LinkClock::time_point now);
    // Takes in what arrived, sends once the line has been silent long enough, and ends the wait
    // on a reply or the time-out.
    Step Poll(LinkClock::time_point now);
    bool Busy() const { return phase_ != Phase::Idle; }
    // When Poll has something to do even if no byte arrives: the silence's end or the time-out.
    LinkClock::time_point WakeAt() const;
    // The last transaction's result, once Poll has said Done.
    const TransactionResult& Result() const { return result_; }

    // Begin and Poll until done, waiting on the channel in between; a transaction already under
    // way is seen to its end first.
    TransactionResult Run(const TransactionRequest& request);

private:
    enum class Phase { Idle, Silence, Awaiting };

    void WaitUntilDone();
    void TakeInput(LinkClock::time_point now);
    Step Send(LinkClock::time_point now);
    bool Judge(std::uint8_t byte, LinkClock::time_point now);
    bool ReplyEnded(LinkClock::time_point now) const;
    bool NewestAreFrame(std::uint16_t length, std::uint8_t function) const;
    Step Finish(TransactionOutcome outcome, LinkClock::time_point now);
    LinkClock::duration Gap() const;

    SerialChannel& channel_;
    TransactionTiming timing_;
    LinkObserver* observer_ = nullptr;
    Phase phase_ = Phase::Idle;
    TransactionRequest request_;
    std::uint16_t expectedLength_ = 0;
    std::vector<std::uint8_t> received_;
    // The line was last busy until then: a byte in, or the end of the request going out.
    LinkClock::time_point lineBusyUntil_{};
    LinkClock::time_point sentAt_{};
    LinkClock::time_point deadline_{};
    TransactionResult result_;
};

} // namespace kvel
