// The unit on the direct transaction path.
#include "UnitLine.h"

#include "Crc16.h"
#include "FrameDecoder.h"
#include "LinkWords.h"
#include "ModbusFrame.h"
#include "ModbusLink.h"
#include "NetworkPort.h"

#include <algorithm>
#include <cstdio>

namespace kvel::cli {

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

// Each try waits this long for the unit to turn round, the reply's own line time on top.
constexpr milliseconds kTurnRound{1000};
// Bytes of a frame that --verbose shows; a firmware block is 2 KiB.
constexpr std::size_t kShownBytes = 64;
// A unit that says it is busy is left alone for a while before it is asked again, longer each
// time it says so: asked at once, it would be kept busy answering the same question.
constexpr milliseconds kFirstBusyPause{50};
constexpr milliseconds kLongestBusyPause{1000};

bool SaysItIsBusy(const TransactionResult& result) {
    return result.outcome == TransactionOutcome::Exception &&
           (result.exceptionCode == kExceptionAcknowledge ||
            result.exceptionCode == kExceptionBusy);
}

milliseconds NextBusyPause(milliseconds pause) {
    return pause == milliseconds{} ? kFirstBusyPause : std::min(2 * pause, kLongestBusyPause);
}

// An answer that may come right if asked again: lost, garbled, or the unit busy for a moment.
bool WorthAskingAgain(const TransactionResult& result) {
    switch (result.outcome) {
    case TransactionOutcome::TimedOut:
    case TransactionOutcome::Corrupt:
    case TransactionOutcome::WrongAddress:
        return true;
    case TransactionOutcome::Exception:
        return SaysItIsBusy(result);
    // The gateway has already waited for the unit; asking again at once would only flood it.
    case TransactionOutcome::NoUnit:
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
    case TransactionOutcome::NoUnit:
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
    case TransactionOutcome::NoUnit:
        return "no unit behind the gateway";
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

std::string EnglishExceptionText(std::uint8_t code) {
    char number[8];
    std::snprintf(number, sizeof number, "%02X", code);
    return std::string("exception ") + number + " (" + ExceptionName(code) + ")";
}

} // namespace

int ConnectWaitMs(const Invocation& invocation) {
    return std::max(kConnectTimeoutMs, invocation.timeoutMs);
}

std::string LineRateText(const Invocation& invocation, std::int32_t bitRate) {
    if (!LineTakesBitRate(invocation.portName)) return "network";
    return std::to_string(bitRate) + " bit/s";
}

std::string RateClause(const Invocation& invocation, std::int32_t bitRate) {
    if (!LineTakesBitRate(invocation.portName)) return " (network)";
    return " at " + LineRateText(invocation, bitRate);
}

UnitLine::UnitLine(const Invocation& invocation)
    : invocation_(invocation), address_(invocation.address),
      bitRate_(BaudRateFromIndex(invocation.baudIndex)),
      transaction_(channel_, {bitRate_, milliseconds(invocation.gapMs), kTurnRound}) {}

// A network line is open once its connection is up: no request goes out before, so a server
// that never takes the connection is not mistaken for a silent unit.
std::optional<std::string> UnitLine::Open() {
    if (channel_.OpenComPort(invocation_.portName, bitRate_) == kOpenOk &&
        channel_.WaitUntilConnected(ConnectWaitMs(invocation_)))
        return std::nullopt;
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
    Answer answer;
    milliseconds busyPause{};
    ++counts_.requests;
    for (;;) {
        const TransactionResult result = Try(request, busyPause, deadline);
        ++answer.tries;
        ++counts_.tries;
        if (result.outcome == TransactionOutcome::Ok) ++counts_.answered;
        if (answer.tries == 1 || Telling(result.outcome) >= Telling(answer.outcome)) {
            answer.outcome = result.outcome;
            answer.words = result.Words();
            answer.exceptionCode = result.exceptionCode;
            answer.replyAddress = result.frame.empty() ? 0 : result.frame[0];
        }
        if (!WorthAskingAgain(result)) return answer;
        busyPause = SaysItIsBusy(result) ? NextBusyPause(busyPause) : milliseconds{};
        if (LinkClock::now() + busyPause >= deadline) return answer;
        if (busyPause != milliseconds{} && invocation_.verbose)
            std::fprintf(stderr, "kvel-cli: the unit is busy: asking again in %lld ms\n",
                         static_cast<long long>(busyPause.count()));
    }
}

TransactionResult UnitLine::Try(const TransactionRequest& request, milliseconds pause,
                                LinkClock::time_point deadline) {
    TransactionTiming timing = transaction_.Timing();
    // The transaction keeps the line silent this long before the request goes out.
    timing.minimumGap = std::max(milliseconds(invocation_.gapMs), pause);
    const auto replyLine =
        LineTime(bitRate_, ReplyLengthFor(request.function, request.countOrValue));
    const auto left = std::max<LinkClock::duration>(deadline - LinkClock::now(), {});
    timing.replyTimeout = std::min<LinkClock::duration>(kTurnRound + replyLine, left);
    transaction_.SetTiming(timing);
    const RequestFrame frame =
        BuildRequestFrame(request.address, request.function, request.reg, request.countOrValue);
    ShowFrame(">", {frame.begin(), frame.end()}, {});
    const TransactionResult result = transaction_.Run(request);
    ShowFrame("<", result.frame,
              std::string(OutcomeWord(result.outcome)) + ", " +
                  std::to_string(duration_cast<milliseconds>(result.elapsed).count()) + " ms");
    return result;
}

void UnitLine::ShowFrame(const char* direction, const std::vector<std::uint8_t>& bytes,
                         const std::string& note) const {
    if (!invocation_.verbose) return;
    std::string line = HexBytes(bytes.data(), bytes.size(), kShownBytes);
    if (!note.empty()) line += (line.empty() ? "(" : "  (") + note + ")";
    std::fprintf(stderr, "kvel-cli: %s %s\n", direction, line.c_str());
}

std::string UnitLine::Where() const {
    return "address " + std::to_string(address_) + " on " + invocation_.portLabel +
           RateClause(invocation_, bitRate_);
}

std::string UnitLine::Failure(const Answer& answer) const {
    const std::string tries =
        answer.tries > 1 ? " (" + std::to_string(answer.tries) + " tries)" : "";
    const std::string within = " within " + Seconds(invocation_.timeoutMs) + " s";
    switch (answer.outcome) {
    case TransactionOutcome::Ok:
        return {};
    case TransactionOutcome::Exception:
        return "the unit answered with " + EnglishExceptionText(answer.exceptionCode) + tries;
    case TransactionOutcome::NoUnit:
        return "no unit answered at " + Where() + ": the gateway says " +
               EnglishExceptionText(answer.exceptionCode) + "; check the address";
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
