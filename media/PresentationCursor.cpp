#include "media/PresentationCursor.h"

#include <algorithm>

PresentationCursor::PresentationCursor(const Track& track, std::uint32_t movieTimescale)
    : track_(&track), timeline_(track, movieTimescale) {}

std::optional<PresentationCursor>
PresentationCursor::atFirstPresentedSample(const Track& track, std::uint32_t movieTimescale) {
    if (track.sampleCount == 0)
        return std::nullopt;
    PresentationCursor cursor(track, movieTimescale);
    // Runs are linear in time, so their end points decide whether every value fits.
    for (const TimingRun& run : track.timing)
        if (!cursor.timeline_.presentationValue(run, 0) ||
            !cursor.timeline_.presentationValue(run, run.count - 1))
            cursor.valuesFit_ = false;
    if (!cursor.valuesFit_ || !cursor.timeline_.isExact())
        return cursor; // times are invalid; the order no longer matters
    if (cursor.decodeOrderIsPresentationOrder())
        return cursor;
    cursor.inDecodeOrder_ = false;
    cursor.sorted_.reserve(track.sampleCount);
    for (const TimingRun& run : track.timing)
        for (std::uint64_t i = 0; i < run.count; ++i)
            cursor.sorted_.push_back({*cursor.timeline_.presentationValue(run, i), run.duration});
    std::stable_sort(cursor.sorted_.begin(), cursor.sorted_.end(),
                     [](const Presented& a, const Presented& b) { return a.value < b.value; });
    return cursor;
}

bool PresentationCursor::decodeOrderIsPresentationOrder() const {
    std::optional<std::int64_t> previousLast;
    for (const TimingRun& run : track_->timing) {
        const std::int64_t first = *timeline_.presentationValue(run, 0);
        if (previousLast && first < *previousLast)
            return false;
        previousLast = *timeline_.presentationValue(run, run.count - 1);
    }
    return true;
}

MediaTime PresentationCursor::presentationTime() const {
    if (!valuesFit_)
        return MediaTime::invalid();
    if (!inDecodeOrder_)
        return timeline_.time(sorted_[position_].value);
    return timeline_.time(*timeline_.presentationValue(track_->timing[run_], indexInRun_));
}

MediaTime PresentationCursor::duration() const {
    return timeline_.duration(inDecodeOrder_ ? track_->timing[run_].duration
                                             : sorted_[position_].duration);
}

bool PresentationCursor::stepForward() {
    if (!inDecodeOrder_) {
        if (position_ + 1 >= sorted_.size())
            return false;
        ++position_;
        return true;
    }
    if (indexInRun_ + 1 < track_->timing[run_].count) {
        ++indexInRun_;
        return true;
    }
    if (run_ + 1 >= track_->timing.size())
        return false;
    ++run_;
    indexInRun_ = 0;
    return true;
}
