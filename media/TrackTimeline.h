#pragma once

#include "media/Track.h"
#include "model/MediaTime.h"

#include <cstdint>

// Where a track's samples appear on the movie's timeline, as its edit list says. A sample's
// window value is its composition time less the media time the edit list shows first; the one
// media segment shows the samples whose values lie in [0, length); leading empty edits shift
// everything later on the movie's timeline.
class TrackTimeline {
public:
    __extension__ typedef __int128 Wide;

    TrackTimeline(const Track& track, std::uint32_t movieTimescale);

    // The track's timescale fits a media time and the edit list places it unambiguously.
    bool isExact() const { return exact_; }

    // The window value of sample `index` of `run`, whose first sample decodes at `decodeTime`.
    Wide value(std::int64_t decodeTime, const TimingRun& run, std::uint64_t index) const {
        return Wide(decodeTime) + Wide(index) * run.duration + run.compositionOffset - mediaStart_;
    }
    // Samples before the media segment's start are not shown (there is an edit list).
    bool hasStart() const { return hasStart_; }
    // The segment has a length: a value v is before its end when v < length.
    bool hasEnd() const { return hasEnd_; }
    bool beforeEnd(Wide value) const { return !hasEnd_ || value * endDenominator_ < endNumerator_; }
    // How many whole steps of `step` from `value` end by the segment's end: the largest q with
    // value + q × step <= length. The length is known to one movie tick, which writers round, so
    // a frame that ends less than a tick after it is inside.
    Wide stepsToEnd(Wide value, std::uint32_t step) const;

    // A window value as a time on the movie's timeline; invalid when it cannot be stated.
    MediaTime time(Wide value) const;
    MediaTime duration(std::uint32_t duration) const;

private:
    std::int32_t timescale_ = 0;
    bool exact_ = false;
    std::int64_t mediaStart_ = 0;
    bool hasStart_ = false;
    bool hasEnd_ = false;
    Wide endNumerator_ = 0; // length = numerator / denominator, in the track's units
    Wide endDenominator_ = 1;
    Wide endTolerance_ = 0;       // one movie tick, over the same denominator
    std::int64_t shiftTicks_ = 0; // the empty edit in the track's units, when it is whole
    MediaTime shift_ = MediaTime::zero();
};
