#include "media/BoxReader.h"

#include "media/FourCC.h"
#include "media/MovieFormatError.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::size_t windowCapacity = 64 * 1024;
constexpr std::size_t largestHeader = 32; // 64-bit size and extended type
constexpr std::size_t headerReadAhead = 4096;
} // namespace

BoxReader::BoxReader(ByteSource& source)
    : source_(source), window_(windowCapacity), limit_(source.size()) {}

void BoxReader::require(bool condition) {
    if (!condition)
        throw MovieFormatError();
}

const std::uint8_t* BoxReader::take(std::size_t count, std::size_t readAhead) {
    require(count <= remaining());
    const bool inWindow =
        position_ >= windowStart_ && position_ - windowStart_ + count <= std::uint64_t(windowSize_);
    if (!inWindow) {
        const std::uint64_t ahead =
            depth_ > 0 ? std::min<std::uint64_t>(remaining(), readAhead) : std::uint64_t(count);
        const std::size_t size = std::size_t(
            std::min<std::uint64_t>(std::max<std::uint64_t>(ahead, count), windowCapacity));
        source_.read(position_, std::span(window_.data(), size));
        windowStart_ = position_;
        windowSize_ = size;
    }
    const std::uint8_t* data = window_.data() + (position_ - windowStart_);
    position_ += count;
    return data;
}

std::uint8_t BoxReader::u8() {
    return *take(1);
}

std::uint16_t BoxReader::u16() {
    const std::uint8_t* p = take(2);
    return std::uint16_t(p[0] << 8 | p[1]);
}

std::uint32_t BoxReader::u32() {
    const std::uint8_t* p = take(4);
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

std::uint64_t BoxReader::u64() {
    const std::uint64_t high = u32();
    return high << 32 | u32();
}

std::uint8_t BoxReader::fullBoxHeader(std::uint32_t* flags) {
    const std::uint32_t word = u32();
    if (flags)
        *flags = word & 0xFFFFFF;
    return std::uint8_t(word >> 24);
}

void BoxReader::skip(std::uint64_t count) {
    require(count <= remaining());
    position_ += count;
}

void BoxReader::seek(std::uint64_t position) {
    require(position <= limit_);
    position_ = position;
}

QByteArray BoxReader::bytes(std::size_t count) {
    require(count <= remaining());
    QByteArray result;
    result.resize(qsizetype(count));
    std::size_t done = 0;
    while (done < count) {
        const std::size_t piece = std::min(count - done, windowCapacity);
        std::memcpy(result.data() + done, take(piece), piece);
        done += piece;
    }
    return result;
}

std::optional<BoxHeader> BoxReader::nextBox() {
    if (remaining() == 0)
        return std::nullopt;
    BoxHeader box;
    box.start = position_;
    if (remaining() < 8) {
        // Between top-level boxes such a tail is the start of a box cut short.
        require(depth_ > 0);
        while (remaining() > 0)
            require(u8() == 0);
        return std::nullopt;
    }
    // Read the whole header in one go where it fits. Between top-level boxes only the header is
    // read (what follows may be media data); inside a box a little more, so that a run of small
    // boxes costs one read, not one each, while a large table about to be stepped over is not
    // read for nothing.
    take(std::size_t(std::min<std::uint64_t>(remaining(), largestHeader)), headerReadAhead);
    position_ = box.start;
    const std::uint32_t size32 = u32();
    box.type = u32();
    std::uint64_t size = size32;
    if (size32 == 1)
        size = u64();
    else if (size32 == 0)
        size = limit_ - box.start;
    if (box.type == fourCC("uuid"))
        skip(16);
    box.payloadStart = position_;
    require(size >= box.payloadStart - box.start && size <= limit_ - box.start);
    box.end = box.start + size;
    return box;
}

BoxReader::Scope::Scope(BoxReader& reader, const BoxHeader& box)
    : reader_(reader), savedLimit_(reader.limit_), boxEnd_(box.end) {
    require(reader.depth_ < maximumDepth && box.payloadStart <= box.end &&
            box.end <= reader.limit_);
    ++reader_.depth_;
    reader_.position_ = box.payloadStart;
    reader_.limit_ = box.end;
}

BoxReader::Scope::~Scope() {
    --reader_.depth_;
    reader_.limit_ = savedLimit_;
    reader_.position_ = boxEnd_;
}
