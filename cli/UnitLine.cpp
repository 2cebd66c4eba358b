// The unit on the direct transaction path.
#include "UnitLine.h"

#include "Crc16.h"
#include "FrameDecoder.h"
#include "ModbusFrame.h"
#include "ModbusLink.h"
#include "NetworkPort.h"

#include <algorithm>
#include <cstdio>

namespace kvel::cli {

namespace {

using std::chrono::milliseconds;

// Each try waits this long for the unit to turn round, the reply's own line time on top.
constexpr milliseconds kTurnRound{1000};
// Bytes of a frame that --verbose shows; a firmware block is 2 KiB.
constexpr std::size_t kShownBytes = 64;

// An answer that may come right if asked again: lost, garbled, or the unit busy for a moment.
bool WorthAskingAgain(const TransactionResult& result) {
    switch (result.outcome) {
    case TransactionOutcome::TimedOut:
    case TransactionOutcome::Corrupt:
    case TransactionOutcome::WrongAddress:
        return true;
    case TransactionOutcome::Exception:
        return result.exceptionCode == kExceptionAcknowledge ||
               result.exceptionCode == kExceptionBusy;
    case TransactionOutcome::Ok:
    case TransactionOutcome::PortClosed:
        return false;
    }
    return false;
}

// Which of two failed tries says more about the cause.
int Telling(TransactionOutcome outcome) {
    switch (outcome) {
    case TransactionOutcome::Ok:
    case TransactionOutcome::PortClosed:
        return 4;
    case TransactionOutcome::Exception:
        return 3;
    case TransactionOutcome::WrongAddress:
        return 2;
    case TransactionOutcome::Corrupt:
        return 1;
    case TransactionOutcome::TimedOut:
        return 0;
    }
    return 0;
}

const char* OutcomeWord(TransactionOutcome outcome) {
    switch (outcome) {
    case TransactionOutcome::Ok:
        return "ok";
    case TransactionOutcome::Exception:
        return "exception";
    case TransactionOutcome::TimedOut:
        return "no answer";
    case TransactionOutcome::Corrupt:
        return "garbled";
    case TransactionOutcome::WrongAddress:
        return "from another address";
    case TransactionOutcome::PortClosed:
        return "port closed";
    }
    return "";
}

std::string Seconds(int ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000)
                          : std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100);
}

std::string ExceptionText(std::uint8_t code) {
    char number[8];
    std::snprintf(number, sizeof number, "%02X", code);
    return std::string("exception ") + number + " (" + ExceptionName(code) + ")";
}

} // namespace

UnitLine::UnitLine(const Invocation& invocation)
    : invocation_(invocation), address_(invocation.address),
      bitRate_(BaudRateFromIndex(invocation.baudIndex)),
      transaction_(channel_, {bitRate_, milliseconds(invocation.gapMs), kTurnRound}) {
    init_crc16_tab();
}

std::optional<std::string> UnitLine::Open() {
    if (channel_.OpenComPort(invocation_.portName, bitRate_) == kOpenOk) return std::nullopt;
    return OpenFailureText(invocation_.portLabel, channel_.LastOpenFailure());
}

Answer UnitLine::Read(unit::Bank bank, std::uint16_t first, std::uint16_t count) {
    return Exchange(
        {address_, bank == unit::Bank::Holding ? kReadHolding : kReadInput, first, count});
}

Answer UnitLine::Write(std::uint16_t reg, std::uint16_t value) {
    return Exchange({address_, kWriteSingle, reg, value});
}

Answer UnitLine::ReadBanks(UnitImages& images) {
    Answer input = Read(unit::Bank::Input, 0, kPolledInputCount);
    if (!input.Ok()) return input;
    std::copy(input.words.begin(), input.words.end(), images.input.begin());
    Answer holding = Read(unit::Bank::Holding, 0, kPolledHoldingCount);
    if (holding.Ok()) std::copy(holding.words.begin(), holding.words.end(), images.holding.begin());
    return holding;
}

Answer UnitLine::Exchange(const TransactionRequest& request) {
    const auto deadline = LinkClock::now() + milliseconds(invocation_.timeoutMs);
    const auto replyLine =
        LineTime(bitRate_, ReplyLengthFor(request.function, request.countOrValue));
    const RequestFrame frame =
        BuildRequestFrame(request.address, request.function, request.reg, request.countOrValue);
    Answer answer;
    for (;;) {
        TransactionTiming timing = transaction_.Timing();
        const auto left = std::max<LinkClock::duration>(deadline - LinkClock::now(), {});
        timing.replyTimeout = std::min<LinkClock::duration>(kTurnRound + replyLine, left);
        transaction_.SetTiming(timing);
        ShowFrame(">", {frame.begin(), frame.end()}, {});
        const TransactionResult result = transaction_.Run(request);
        ++answer.tries;
        ShowFrame(
            "<", result.frame,
            std::string(OutcomeWord(result.outcome)) + ", " +
                std::to_string(std::chrono::duration_cast<milliseconds>(result.elapsed).count()) +
                " ms");
        if (answer.tries == 1 || Telling(result.outcome) >= Telling(answer.outcome)) {
            answer.outcome = result.outcome;
            answer.words = result.Words();
            answer.exceptionCode = result.exceptionCode;
            answer.replyAddress = result.frame.empty() ? 0 : result.frame[0];
        }
        if (!WorthAskingAgain(result) || LinkClock::now() >= deadline) return answer;
    }
}

void UnitLine::ShowFrame(const char* direction, const std::vector<std::uint8_t>& bytes,
                         const std::string& note) const {
    if (!invocation_.verbose) return;
    std::string line = HexBytes(bytes.data(), bytes.size(), kShownBytes);
    if (!note.empty()) line += (line.empty() ? "(" : "  (") + note + ")";
    std::fprintf(stderr, "kvel-cli: %s %s\n", direction, line.c_str());
}

std::string UnitLine::Where() const {
    return "address " + std::to_string(address_) + " on " + invocation_.portLabel + " at " +
           std::to_string(bitRate_) + " bit/s";
}

std::string UnitLine::Failure(const Answer& answer) const {
    const std::string tries =
        answer.tries > 1 ? " (" + std::to_string(answer.tries) + " tries)" : "";
    const std::string within = " within " + Seconds(invocation_.timeoutMs) + " s";
    switch (answer.outcome) {
    case TransactionOutcome::Ok:
        return {};
    case TransactionOutcome::Exception:
        return "the unit answered with " + ExceptionText(answer.exceptionCode) + tries;
    case TransactionOutcome::TimedOut:
        return "no answer from the unit at " + Where() + within + tries;
    case TransactionOutcome::Corrupt:
        return "only garbled answers from the unit at " + Where() + within + tries +
               ": check the bit rate and the wiring";
    case TransactionOutcome::WrongAddress:
        return "the answer came from address " + std::to_string(answer.replyAddress) +
               ", not from the unit at " + Where() + tries;
    case TransactionOutcome::PortClosed:
        // A connection that failed after the open says why, rather than blaming the unit.
        if (IsNetworkPortName(invocation_.portName) && channel_.PortVanished())
            return OpenFailureText(invocation_.portLabel, channel_.LastOpenFailure());
        return invocation_.portLabel + " went away";
    }
    return {};
}

} // namespace kvel::cli
