#include "media/TrackTimeline.h"

#include <limits>

namespace {
__extension__ typedef __int128 Wide;
constexpr Wide int64Min = std::numeric_limits<std::int64_t>::min();
constexpr Wide int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::uint32_t int32Max = std::numeric_limits<std::int32_t>::max();
} // namespace

TrackTimeline::TrackTimeline(const Track& track, std::uint32_t movieTimescale) {
    if (track.timescale < 1 || track.timescale > int32Max || track.edits.ambiguous)
        return;
    timescale_ = std::int32_t(track.timescale);
    mediaStart_ = track.edits.mediaStart;
    exact_ = true;
    const std::uint64_t empty = track.edits.emptyDuration;
    if (empty == 0)
        return;
    if (movieTimescale < 1 || movieTimescale > int32Max) {
        exact_ = false; // an empty edit in no known unit
        return;
    }
    // In the track's own units when the empty edit is a whole number of them; otherwise added
    // as an exact rational to every time.
    const Wide scaled = Wide(empty) * track.timescale;
    if (scaled % movieTimescale == 0 && scaled / movieTimescale <= int64Max) {
        const Wide start = Wide(mediaStart_) - scaled / movieTimescale;
        if (start < int64Min) {
            exact_ = false;
            return;
        }
        mediaStart_ = std::int64_t(start);
        return;
    }
    shift_ = MediaTime::make(std::int64_t(empty), std::int32_t(movieTimescale));
    shifted_ = true;
}

std::optional<std::int64_t> TrackTimeline::presentationValue(const TimingRun& run,
                                                             std::uint64_t index) const {
    const Wide value = Wide(run.firstDecodeTime) + Wide(index) * run.duration +
                       run.compositionOffset - mediaStart_;
    if (value < int64Min || value > int64Max)
        return std::nullopt;
    return std::int64_t(value);
}

MediaTime TrackTimeline::time(std::int64_t presentationValue) const {
    if (!exact_)
        return MediaTime::invalid();
    const MediaTime time = MediaTime::make(presentationValue, timescale_);
    return shifted_ ? time + shift_ : time;
}

MediaTime TrackTimeline::duration(std::uint32_t duration) const {
    return MediaTime::make(duration, timescale_); // invalid without a usable timescale
}
