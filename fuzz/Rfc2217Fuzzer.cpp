// The RFC 2217 session on what a server may send, cut into arbitrary pieces. The first input
// byte chooses the kind of stream:
// - even: a well-behaved server, made by this fuzzer from the input: it agrees to the option,
//   answers the settings (in any order, with notices, unknown options, NOPs and subnegotiations
//   between), then sends the unit's bytes with IAC doubled and telnet commands between them.
//   Oracle: the bytes handed on are exactly the unit's bytes sent after the answers, and the
//   session has no problem;
// - odd: raw bytes. Oracle: no more is handed on than came in, and what goes out per piece is
//   bounded by the piece.
#include "Reference.h"
#include "Rfc2217Session.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>

using namespace kvel;

namespace {
constexpr std::uint8_t kIac = 0xFF;
constexpr std::uint8_t kSb = 0xFA;
constexpr std::uint8_t kSe = 0xF0;
constexpr std::uint8_t kComPort = 44;
constexpr std::size_t kLongestSubnegotiation = 300;

// COM-PORT-OPTION's own, and those libtelnet reads itself (TTYPE, ENVIRON, NEW-ENVIRON, MSSP,
// COMPRESS2, ZMP), which the session takes for a server gone wrong: no subnegotiation of theirs
// is harmless by construction.
bool HarmlessSubnegotiationOption(std::uint8_t option) {
    for (std::uint8_t read : {kComPort, std::uint8_t{24}, std::uint8_t{36}, std::uint8_t{39},
                              std::uint8_t{70}, std::uint8_t{86}, std::uint8_t{93}})
        if (option == read) return false;
    return true;
}

constexpr std::array<std::int32_t, 10> kRates{1200,  2400,  4800,  9600,  14400,
                                              19200, 38400, 56000, 57600, 115200};

void Escaped(std::vector<std::uint8_t>& stream, const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t byte : bytes) {
        stream.push_back(byte);
        if (byte == kIac) stream.push_back(kIac);
    }
}

void Subnegotiation(std::vector<std::uint8_t>& stream, std::uint8_t option,
                    const std::vector<std::uint8_t>& body) {
    stream.insert(stream.end(), {kIac, kSb, option});
    Escaped(stream, body);
    stream.insert(stream.end(), {kIac, kSe});
}

// Telnet the session must take in without handing anything on or giving up.
void HarmlessControl(FuzzedDataProvider& input, std::vector<std::uint8_t>& stream) {
    switch (input.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
        stream.insert(stream.end(), {kIac, input.PickValueInArray<std::uint8_t>(
                                               {0xF1, 0xF9, 0xF3, 0xF4, 0xF5, 0xF6, 0xEF})});
        break;
    case 1: {
        std::uint8_t option = input.ConsumeIntegral<std::uint8_t>();
        if (option == kComPort) ++option;
        stream.insert(
            stream.end(),
            {kIac, input.PickValueInArray<std::uint8_t>({0xFB, 0xFC, 0xFD, 0xFE}), option});
        break;
    }
    case 2: {
        // Notices and answers to SET-CONTROL and the like, never to a setting awaited.
        std::vector<std::uint8_t> body{input.ConsumeIntegralInRange<std::uint8_t>(105, 255)};
        const auto rest = input.ConsumeBytes<std::uint8_t>(
            input.ConsumeIntegralInRange<std::size_t>(0, kLongestSubnegotiation));
        body.insert(body.end(), rest.begin(), rest.end());
        Subnegotiation(stream, kComPort, body);
        break;
    }
    case 3: {
        std::uint8_t option = input.ConsumeIntegral<std::uint8_t>();
        if (!HarmlessSubnegotiationOption(option)) option = 0;
        Subnegotiation(stream, option,
                       input.ConsumeBytes<std::uint8_t>(
                           input.ConsumeIntegralInRange<std::size_t>(0, kLongestSubnegotiation)));
        break;
    }
    default:
        break;
    }
}

std::vector<std::uint8_t> Answer(std::uint8_t command, std::int32_t bitRate) {
    if (command != 101) return {command, command == 102 ? std::uint8_t{8} : std::uint8_t{1}};
    const auto rate = static_cast<std::uint32_t>(bitRate);
    return {command, static_cast<std::uint8_t>(rate >> 24), static_cast<std::uint8_t>(rate >> 16),
            static_cast<std::uint8_t>(rate >> 8), static_cast<std::uint8_t>(rate)};
}

struct Script {
    std::vector<std::uint8_t> stream;
    std::vector<std::uint8_t> unitBytes;
};

Script WellBehavedServer(FuzzedDataProvider& input, std::int32_t bitRate) {
    Script script;
    std::vector<std::uint8_t>& stream = script.stream;
    stream.insert(stream.end(), {kIac, 0xFD, kComPort});
    std::array<std::uint8_t, 4> answers{101, 102, 103, 104};
    for (std::size_t i = answers.size(); i > 1; --i)
        std::swap(answers[i - 1], answers[input.ConsumeIntegralInRange<std::size_t>(0, i - 1)]);
    for (std::uint8_t command : answers) {
        HarmlessControl(input, stream);
        Subnegotiation(stream, kComPort, Answer(command, bitRate));
    }
    while (input.remaining_bytes() > 0) {
        if (input.ConsumeBool()) {
            HarmlessControl(input, stream);
            continue;
        }
        const auto bytes = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegral<std::uint8_t>());
        Escaped(stream, bytes);
        script.unitBytes.insert(script.unitBytes.end(), bytes.begin(), bytes.end());
    }
    return script;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool raw = input.ConsumeIntegral<std::uint8_t>() % 2 == 1;
    const std::int32_t bitRate = input.PickValueInArray(kRates);
    const std::vector<std::uint8_t> pieces = input.ConsumeBytes<std::uint8_t>(8);
    Script script;
    if (raw)
        script.stream = input.ConsumeRemainingBytes<std::uint8_t>();
    else
        script = WellBehavedServer(input, bitRate);

    Rfc2217Session session(bitRate);
    session.TakeOutgoing();
    std::vector<std::uint8_t> handedOn;
    const std::vector<std::uint8_t>& stream = script.stream;
    for (std::size_t at = 0, piece = 0; at < stream.size(); ++piece) {
        const std::size_t want =
            pieces.empty() ? stream.size() : pieces[piece % pieces.size()] + 1u;
        const std::size_t length = std::min(want, stream.size() - at);
        session.Receive(stream.data() + at, length, handedOn);
        at += length;
        // Each refused option costs three bytes out for three in; the settings go out once.
        KVEL_FUZZ_CHECK(session.TakeOutgoing().size() <= length + 64);
    }
    KVEL_FUZZ_CHECK(handedOn.size() <= stream.size());
    if (raw) return 0;
    KVEL_FUZZ_CHECK(session.Problem() == Rfc2217Problem::None);
    KVEL_FUZZ_CHECK(session.Ready());
    KVEL_FUZZ_CHECK(handedOn == script.unitBytes);
    return 0;
}
