#pragma once

#include <cstdint>
#include <optional>

// A rational media time: value / timescale seconds, with the flags that say whether it is a
// number at all. Comparison, addition and subtraction are exact across timescales; nothing here
// goes through floating point except the explicit conversions to and from seconds.
struct MediaTime {
    enum Flag : std::uint32_t {
        Valid = 1u << 0,
        HasBeenRounded = 1u << 1,
        PositiveInfinity = 1u << 2,
        NegativeInfinity = 1u << 3,
        Indefinite = 1u << 4,
    };

    std::int64_t value = 0;
    std::int32_t timescale = 0;
    std::uint32_t flags = 0;
    std::int64_t epoch = 0;

    static constexpr MediaTime make(std::int64_t value, std::int32_t timescale) {
        return MediaTime{value, timescale, timescale > 0 ? std::uint32_t(Valid) : 0u, 0};
    }
    static constexpr MediaTime invalid() { return MediaTime{}; }
    static constexpr MediaTime zero() { return make(0, 1); }
    static constexpr MediaTime positiveInfinity() {
        return MediaTime{0, 0, Valid | PositiveInfinity, 0};
    }
    static constexpr MediaTime negativeInfinity() {
        return MediaTime{0, 0, Valid | NegativeInfinity, 0};
    }
    static constexpr MediaTime indefinite() { return MediaTime{0, 0, Valid | Indefinite, 0}; }

    // The nearest time at the given timescale; marked rounded when it is not exact.
    static MediaTime fromSeconds(double seconds, std::int32_t timescale);

    constexpr bool isValid() const { return (flags & Valid) != 0; }
    constexpr bool isPositiveInfinity() const { return isValid() && (flags & PositiveInfinity); }
    constexpr bool isNegativeInfinity() const { return isValid() && (flags & NegativeInfinity); }
    constexpr bool isIndefinite() const { return isValid() && (flags & Indefinite); }
    constexpr bool isNumeric() const {
        return isValid() && (flags & (PositiveInfinity | NegativeInfinity | Indefinite)) == 0;
    }
    constexpr bool hasBeenRounded() const { return (flags & HasBeenRounded) != 0; }
    // Numeric, timescale of at least 1 and epoch 0: the times the inspector and exporter accept.
    constexpr bool isExactNumeric() const { return isNumeric() && timescale >= 1 && epoch == 0; }

    // Seconds as a double; NaN when not numeric, ±infinity for the infinities.
    double seconds() const;
};

// Total order of the media framework: negative infinity < numbers < indefinite < positive
// infinity < invalid; numbers compare by epoch first, then exactly by value. Returns -1, 0, 1.
int compare(const MediaTime& a, const MediaTime& b);

inline bool operator==(const MediaTime& a, const MediaTime& b) {
    return compare(a, b) == 0;
}
inline bool operator<(const MediaTime& a, const MediaTime& b) {
    return compare(a, b) < 0;
}
inline bool operator>(const MediaTime& a, const MediaTime& b) {
    return compare(a, b) > 0;
}
inline bool operator<=(const MediaTime& a, const MediaTime& b) {
    return compare(a, b) <= 0;
}
inline bool operator>=(const MediaTime& a, const MediaTime& b) {
    return compare(a, b) >= 0;
}

// Exact sum and difference. Same timescale stays; otherwise the least common multiple, or the
// reduced exact result. When the exact result cannot be represented, the result is invalid.
MediaTime operator+(const MediaTime& a, const MediaTime& b);
MediaTime operator-(const MediaTime& a, const MediaTime& b);

// value / g over timescale / g for numeric times with timescale >= 1 and epoch 0 (0 becomes 0/1);
// the result carries only the valid flag. Any other time comes back unchanged.
MediaTime reduced(const MediaTime& time);

// value × count / timescale exactly, or nothing when the product overflows 64 bits.
std::optional<MediaTime> multiplied(const MediaTime& time, std::int64_t count);
