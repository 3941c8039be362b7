#include "model/MediaTime.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace {

__extension__ typedef __int128 Wide;

constexpr Wide int64Min = std::numeric_limits<std::int64_t>::min();
constexpr Wide int64Max = std::numeric_limits<std::int64_t>::max();
constexpr Wide int32Max = std::numeric_limits<std::int32_t>::max();

Wide wideGcd(Wide a, Wide b) {
    if (a < 0)
        a = -a;
    if (b < 0)
        b = -b;
    while (b != 0) {
        const Wide r = a % b;
        a = b;
        b = r;
    }
    return a;
}

// Rank of the non-numeric kinds in the framework's total order.
int rank(const MediaTime& t) {
    if (!t.isValid())
        return 4;
    if (t.isPositiveInfinity())
        return 3;
    if (t.isIndefinite())
        return 2;
    if (t.isNumeric())
        return 1;
    return 0; // negative infinity
}

MediaTime combine(const MediaTime& a, const MediaTime& b, bool subtract) {
    if (!a.isValid() || !b.isValid() || a.isIndefinite() || b.isIndefinite())
        return a.isValid() && b.isValid() ? MediaTime::indefinite() : MediaTime::invalid();
    const bool aPos = a.isPositiveInfinity(), aNeg = a.isNegativeInfinity();
    bool bPos = b.isPositiveInfinity(), bNeg = b.isNegativeInfinity();
    if (subtract)
        std::swap(bPos, bNeg);
    if ((aPos && bNeg) || (aNeg && bPos))
        return MediaTime::indefinite();
    if (aPos || bPos)
        return MediaTime::positiveInfinity();
    if (aNeg || bNeg)
        return MediaTime::negativeInfinity();
    if (a.timescale < 1 || b.timescale < 1 || a.epoch != b.epoch)
        return MediaTime::invalid();

    const std::uint32_t rounded = (a.flags | b.flags) & MediaTime::HasBeenRounded;
    const Wide bValue = subtract ? -Wide(b.value) : Wide(b.value);
    Wide numerator;
    Wide denominator;
    if (a.timescale == b.timescale) {
        numerator = Wide(a.value) + bValue;
        denominator = a.timescale;
    } else {
        const Wide g = wideGcd(a.timescale, b.timescale);
        denominator = Wide(a.timescale) / g * b.timescale;
        numerator =
            Wide(a.value) * (denominator / a.timescale) + bValue * (denominator / b.timescale);
        if (denominator > int32Max) {
            const Wide r = wideGcd(numerator, denominator);
            if (r > 1) {
                numerator /= r;
                denominator /= r;
            }
        }
    }
    if (denominator > int32Max || numerator < int64Min || numerator > int64Max)
        return MediaTime::invalid();
    MediaTime result = MediaTime::make(std::int64_t(numerator), std::int32_t(denominator));
    result.flags |= rounded;
    result.epoch = a.epoch;
    return result;
}

} // namespace

MediaTime MediaTime::fromSeconds(double seconds, std::int32_t timescale) {
    if (std::isnan(seconds) || timescale < 1)
        return invalid();
    if (std::isinf(seconds))
        return seconds > 0 ? positiveInfinity() : negativeInfinity();
    const double scaled = seconds * double(timescale);
    if (scaled >= 9223372036854775807.0)
        return positiveInfinity();
    if (scaled < -9223372036854775808.0)
        return negativeInfinity();
    const double whole = std::round(scaled);
    MediaTime time = make(std::int64_t(whole), timescale);
    if (whole != scaled)
        time.flags |= HasBeenRounded;
    return time;
}

double MediaTime::seconds() const {
    if (isPositiveInfinity())
        return std::numeric_limits<double>::infinity();
    if (isNegativeInfinity())
        return -std::numeric_limits<double>::infinity();
    if (!isNumeric() || timescale == 0)
        return std::numeric_limits<double>::quiet_NaN();
    return double(value) / double(timescale);
}

int compare(const MediaTime& a, const MediaTime& b) {
    const int ra = rank(a), rb = rank(b);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    if (ra != 1)
        return 0;
    if (a.epoch != b.epoch)
        return a.epoch < b.epoch ? -1 : 1;
    // Numeric times with a zero or negative timescale have no meaning; order them by value.
    if (a.timescale <= 0 || b.timescale <= 0)
        return a.value == b.value ? 0 : (a.value < b.value ? -1 : 1);
    const Wide left = Wide(a.value) * b.timescale;
    const Wide right = Wide(b.value) * a.timescale;
    return left == right ? 0 : (left < right ? -1 : 1);
}

MediaTime operator+(const MediaTime& a, const MediaTime& b) {
    return combine(a, b, false);
}

MediaTime operator-(const MediaTime& a, const MediaTime& b) {
    return combine(a, b, true);
}

MediaTime reduced(const MediaTime& time) {
    if (!time.isExactNumeric())
        return time;
    if (time.value == 0)
        return MediaTime::make(0, 1);
    const Wide g = wideGcd(time.value, time.timescale);
    return MediaTime::make(std::int64_t(Wide(time.value) / g), std::int32_t(time.timescale / g));
}

std::optional<MediaTime> multiplied(const MediaTime& time, std::int64_t count) {
    if (!time.isNumeric())
        return std::nullopt;
    const Wide product = Wide(time.value) * count;
    if (product < int64Min || product > int64Max)
        return std::nullopt;
    MediaTime result = time;
    result.value = std::int64_t(product);
    return result;
}
