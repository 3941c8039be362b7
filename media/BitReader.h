#pragma once

#include <QByteArray>
#include <cstdint>

// Reads big-endian bit fields from a small configuration record. Reading past the end sets a
// flag instead of throwing, so a parser checks once at the end whether its record was whole.
class BitReader {
public:
    explicit BitReader(const QByteArray& bytes) : bytes_(bytes) {}

    std::uint32_t bits(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (position_ >= std::uint64_t(bytes_.size()) * 8) {
                overrun_ = true;
                return 0;
            }
            const auto byte = std::uint8_t(bytes_[qsizetype(position_ / 8)]);
            value = value << 1 | ((byte >> (7 - position_ % 8)) & 1);
            ++position_;
        }
        return value;
    }
    bool flag() { return bits(1) != 0; }
    void skip(std::uint64_t count) { position_ += count; }
    void alignToByte() { position_ = (position_ + 7) / 8 * 8; }
    std::uint64_t left() const {
        const std::uint64_t total = std::uint64_t(bytes_.size()) * 8;
        return position_ < total ? total - position_ : 0;
    }
    // Every field read so far lay inside the record.
    bool whole() const { return !overrun_ && position_ <= std::uint64_t(bytes_.size()) * 8; }

private:
    const QByteArray& bytes_;
    std::uint64_t position_ = 0;
    bool overrun_ = false;
};
