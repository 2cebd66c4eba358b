// The Windows-1251 code page, in which the old toolkit handed typed characters to key filters.
#pragma once

#include <QChar>

#include <cstdint>
#include <optional>

namespace kvel {

// The character's 8-bit code, or nothing when the code page cannot write it.
std::optional<std::uint8_t> Cp1251Code(QChar c);

} // namespace kvel
