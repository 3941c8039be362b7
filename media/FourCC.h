#pragma once

#include <QString>
#include <cstdint>

// Four-character codes of box types, handlers and sample entries, as big-endian integers.
constexpr std::uint32_t fourCC(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
           std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}

// The code as text, byte for byte as Latin-1 ("©nam" keeps its copyright sign).
inline QString fourCCText(std::uint32_t code) {
    const char bytes[4] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
    return QString::fromLatin1(bytes, 4);
}
