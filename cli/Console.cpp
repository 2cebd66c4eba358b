// Text made safe for a terminal.
#include "Console.h"

#include <cstdint>

namespace kvel::cli {

namespace {

// The length of the well-formed UTF-8 sequence at `at`, 0 when there is none there.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    std::size_t length = 0;
    std::uint8_t lowest = 0x80; // of the second byte, so no sequence is longer than it must be
    std::uint8_t highest = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (lead == 0xE0) lowest = 0xA0;
    if (lead == 0xED) highest = 0x9F; // no surrogates
    if (lead == 0xF0) lowest = 0x90;
    if (lead == 0xF4) highest = 0x8F; // nothing past U+10FFFF
    if (length == 0 || at + length > text.size()) return 0;
    if (byte(at + 1) < lowest || byte(at + 1) > highest) return 0;
    for (std::size_t i = at + 2; i < at + length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

std::string Escape(const char* form, unsigned value) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, form, value);
    return escaped;
}

} // namespace

std::string TerminalSafe(const std::string& text) {
    std::string safe;
    safe.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<std::uint8_t>(text[at]);
        if (byte == '\n' || (byte >= 0x20 && byte < 0x7F)) {
            safe += text[at++];
            continue;
        }
        if (byte < 0x80) {
            safe += Escape("\\u%04x", byte);
            ++at;
            continue;
        }
        const std::size_t length = Utf8Length(text, at);
        if (length == 0) {
            safe += Escape("\\x%02x", byte);
            ++at;
            continue;
        }
        // U+0080 to U+009F, the C1 controls, are 0xC2 0x80 to 0xC2 0x9F.
        const auto second = static_cast<std::uint8_t>(text[at + 1]);
        if (byte == 0xC2 && second <= 0x9F)
            safe += Escape("\\u%04x", second);
        else
            safe.append(text, at, length);
        at += length;
    }
    return safe;
}

} // namespace kvel::cli
