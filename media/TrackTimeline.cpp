#include "media/TrackTimeline.h"

#include <limits>

namespace {
__extension__ typedef __int128 Wide;
constexpr Wide int64Min = std::numeric_limits<std::int64_t>::min();
constexpr Wide int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::uint32_t int32Max = std::numeric_limits<std::int32_t>::max();

Wide floorDivide(Wide numerator, Wide denominator) {
    const Wide quotient = numerator / denominator;
    return quotient * denominator > numerator ? quotient - 1 : quotient;
}
} // namespace

TrackTimeline::TrackTimeline(const Track& track, std::uint32_t movieTimescale) {
    const EditPlacement& edits = track.edits;
    if (track.timescale < 1 || track.timescale > int32Max || edits.ambiguous)
        return;
    const bool movieUnits = movieTimescale >= 1 && movieTimescale <= int32Max;
    // An edit in no known unit cannot be placed.
    if (!movieUnits && (edits.emptyDuration > 0 || edits.segmentDuration > 0))
        return;
    timescale_ = std::int32_t(track.timescale);
    mediaStart_ = edits.mediaStart;
    hasStart_ = edits.hasSegment;
    // A segment of no length runs to the end of the media, as fragmented files write it.
    hasEnd_ = edits.hasSegment && edits.segmentDuration > 0;
    if (hasEnd_) {
        endNumerator_ = Wide(edits.segmentDuration) * track.timescale;
        endDenominator_ = movieTimescale;
        endTolerance_ = track.timescale;
    }
    exact_ = true;
    const std::uint64_t empty = edits.emptyDuration;
    if (empty == 0)
        return;
    // In the track's own units when the empty edit is a whole number of them; otherwise added
    // as an exact rational to every time.
    const Wide scaled = Wide(empty) * track.timescale;
    if (scaled % movieTimescale == 0 && scaled / movieTimescale <= int64Max)
        shiftTicks_ = std::int64_t(scaled / movieTimescale);
    else
        shift_ = MediaTime::make(std::int64_t(empty), std::int32_t(movieTimescale));
}

TrackTimeline::Wide TrackTimeline::stepsToEnd(Wide value, std::uint32_t step) const {
    return floorDivide(endNumerator_ + endTolerance_ - value * endDenominator_,
                       Wide(step) * endDenominator_);
}

MediaTime TrackTimeline::time(Wide value) const {
    const Wide ticks = value + shiftTicks_;
    if (!exact_ || ticks < int64Min || ticks > int64Max)
        return MediaTime::invalid();
    return MediaTime::make(std::int64_t(ticks), timescale_) + shift_;
}

MediaTime TrackTimeline::duration(std::uint32_t duration) const {
    return MediaTime::make(duration, timescale_); // invalid without a usable timescale
}
