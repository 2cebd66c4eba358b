// kvel-cli's command-line parser under libFuzzer; the input is the arguments separated by NUL
// bytes. Oracles: a refusal always says why with exit 1 or 3, and help exits 0; what is accepted
// never names the broadcast address, keeps every number in its range, and a value to set is
// one the register holds and formats back to.
#include "CommandLine.h"
#include "KvelVersion.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using kvel::cli::Invocation;
using kvel::cli::Verb;

void CheckAccepted(const Invocation& in) {
    if (in.address == 0 || in.address > 254) std::abort();
    if (in.baudIndex > 9 || in.portName.empty() || in.portLabel.empty()) std::abort();
    if (in.timeoutMs < 100 || in.timeoutMs > 3'600'000) std::abort();
    if (in.intervalMs < 100 || in.intervalMs > 3'600'000 || in.count < 0) std::abort();
    const bool takesFile = in.verb == Verb::Backup || in.verb == Verb::Compare ||
                           in.verb == Verb::Restore || in.verb == Verb::Upload;
    if (takesFile == in.file.empty()) std::abort();
    if ((in.verb == Verb::Get || in.verb == Verb::Set) != (in.target != nullptr)) std::abort();
    if (in.verb != Verb::Set) return;
    if (in.target->bank != kvel::unit::Bank::Holding || in.target->role == kvel::unit::Role::Link)
        std::abort();
    const kvel::unit::ParsedValue back =
        kvel::unit::ParseValue(*in.target, kvel::unit::FormatValue(*in.target, in.value));
    if (!back.word || *back.word != in.value) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            arguments.emplace_back();
        else
            arguments.back() += static_cast<char>(data[i]);
    }
    if (size == 0) arguments.clear();
    const kvel::cli::ParsedCommandLine parsed = kvel::cli::ParseCommandLine(arguments);
    if (parsed.invocation) {
        if (parsed.exitCode != kvel::cli::kExitOk) std::abort();
        CheckAccepted(*parsed.invocation);
        return 0;
    }
    if (parsed.text.empty()) std::abort();
    // Help and the version are the two answers that are no refusal.
    const bool help = parsed.text.rfind("Usage:", 0) == 0 ||
                      parsed.text == std::string("kvel-cli ") + kvel::kVersion;
    if (help != (parsed.exitCode == kvel::cli::kExitOk)) std::abort();
    if (!help && parsed.exitCode != kvel::cli::kExitRefused &&
        parsed.exitCode != kvel::cli::kExitUsage)
        std::abort();
    return 0;
}
