#include "media/TableStream.h"

#include "media/MovieFormatError.h"

#include <algorithm>

TableStream::TableStream(ByteSource& source, std::uint64_t start, std::uint64_t end)
    : source_(source), position_(start), end_(end) {}

std::uint8_t TableStream::u8() {
    if (next_ == blockSize_) {
        if (position_ >= end_)
            throw MovieFormatError();
        blockSize_ = std::size_t(std::min<std::uint64_t>(block_.size(), end_ - position_));
        source_.read(position_, std::span(block_.data(), blockSize_));
        position_ += blockSize_;
        next_ = 0;
    }
    return block_[next_++];
}

std::uint16_t TableStream::u16() {
    const std::uint16_t high = u8();
    return std::uint16_t(high << 8 | u8());
}

std::uint32_t TableStream::u32() {
    const std::uint32_t high = u16();
    return high << 16 | u16();
}

std::uint64_t TableStream::u64() {
    const std::uint64_t high = u32();
    return high << 32 | u32();
}

std::uint32_t TableStream::field(unsigned bits) {
    switch (bits) {
    case 4:
        if (nibble_ >= 0) {
            const auto low = std::uint32_t(nibble_);
            nibble_ = -1;
            return low;
        } else {
            const std::uint8_t byte = u8();
            nibble_ = byte & 0x0F;
            return byte >> 4;
        }
    case 8:
        return u8();
    case 16:
        return u16();
    default:
        return u32();
    }
}
