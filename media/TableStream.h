#pragma once

#include "media/ByteSource.h"

#include <array>
#include <cstdint>

// Reads a table's entries front to back straight from the file, a block at a time, so that a
// table of any length costs a fixed amount of memory. Several streams may read one file at once.
class TableStream {
public:
    // The bytes from `start` up to `end`; reading past `end` is a damaged file.
    TableStream(ByteSource& source, std::uint64_t start, std::uint64_t end);

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::uint64_t u64();
    // A field of 4, 8, 16 or 32 bits; two 4-bit fields share a byte, high nibble first.
    std::uint32_t field(unsigned bits);

private:
    ByteSource& source_;
    std::uint64_t position_;
    std::uint64_t end_;
    std::array<std::uint8_t, 4096> block_{};
    std::size_t blockSize_ = 0;
    std::size_t next_ = 0;
    int nibble_ = -1; // the low half of a byte whose high half was read
};
