#pragma once

#include "media/ByteSource.h"

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Where one box lies in the file.
struct BoxHeader {
    std::uint32_t type = 0;
    std::uint64_t start = 0;        // first byte of the header
    std::uint64_t payloadStart = 0; // first byte after the header and any extended type
    std::uint64_t end = 0;          // one past the box's last byte

    std::uint64_t payloadSize() const { return end - payloadStart; }
};

// Reads big-endian fields and nested boxes from a ByteSource through a small window. Every read
// stays inside the current scope (the payload of the box being read), so a size field can never
// send a read past its parent; anything that would is a damaged file (MovieFormatError).
class BoxReader {
public:
    static constexpr int maximumDepth = 24;

    explicit BoxReader(ByteSource& source);

    ByteSource& source() { return source_; }
    std::uint64_t position() const { return position_; }
    std::uint64_t limit() const { return limit_; }
    std::uint64_t remaining() const { return limit_ - position_; }

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::uint64_t u64();
    std::int16_t s16() { return std::int16_t(u16()); }
    std::int32_t s32() { return std::int32_t(u32()); }
    std::int64_t s64() { return std::int64_t(u64()); }
    // Version and flags of a full box.
    std::uint8_t fullBoxHeader(std::uint32_t* flags = nullptr);
    void skip(std::uint64_t count);
    void seek(std::uint64_t position);
    QByteArray bytes(std::size_t count);

    // The next box of the current scope, positioned on its payload, or nothing at the end. Inside
    // a box, a tail of zero bytes too short for a header (QuickTime's user-data terminator) ends
    // the scope.
    std::optional<BoxHeader> nextBox();

    // Runs `body` with the scope narrowed to the box's payload, then continues after the box.
    template <class Body> void enter(const BoxHeader& box, Body&& body) {
        Scope scope(*this, box);
        body();
    }

    // A damaged file unless `condition` holds.
    static void require(bool condition);

private:
    class Scope {
    public:
        Scope(BoxReader& reader, const BoxHeader& box);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        BoxReader& reader_;
        std::uint64_t savedLimit_;
        std::uint64_t boxEnd_;
    };

    // Makes `count` bytes at the position readable and steps over them. Inside a box the window
    // is filled with up to `readAhead` bytes of the current scope; between top-level boxes, where
    // media data may follow, with `count` bytes only.
    const std::uint8_t* take(std::size_t count, std::size_t readAhead = std::size_t(-1));

    ByteSource& source_;
    std::vector<std::uint8_t> window_;
    std::uint64_t windowStart_ = 0;
    std::size_t windowSize_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t limit_ = 0;
    int depth_ = 0;
};
