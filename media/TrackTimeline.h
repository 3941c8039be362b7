#pragma once

#include "media/Track.h"
#include "model/MediaTime.h"

#include <cstdint>
#include <optional>

// Presentation times of a track's samples as exact rationals: decode time plus composition
// offset, less the edit list's media start, plus any leading empty edit.
class TrackTimeline {
public:
    TrackTimeline(const Track& track, std::uint32_t movieTimescale);

    // The track's timescale fits a media time and the edit list places it unambiguously.
    bool isExact() const { return exact_; }

    // The presentation time of sample `index` of `run` in the track's timescale, before the empty
    // edit; nothing when it does not fit 64 bits.
    std::optional<std::int64_t> presentationValue(const TimingRun& run, std::uint64_t index) const;
    // A presentation value as a media time; invalid when the timeline is not exact.
    MediaTime time(std::int64_t presentationValue) const;
    MediaTime duration(std::uint32_t duration) const;

private:
    std::int32_t timescale_ = 0;
    bool exact_ = false;
    std::int64_t mediaStart_ = 0;
    MediaTime shift_ = MediaTime::zero();
    bool shifted_ = false;
};
