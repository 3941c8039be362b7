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
    // Within a run times never fall (durations are not negative), so merging the runs
    // presents every sample in order.
    cursor.inDecodeOrder_ = false;
    cursor.heads_.reserve(track.timing.size());
    for (std::size_t run = 0; run < track.timing.size(); ++run)
        cursor.heads_.push_back(
            {*cursor.timeline_.presentationValue(track.timing[run], 0), run, 0});
    std::make_heap(cursor.heads_.begin(), cursor.heads_.end(), presentedLater);
    return cursor;
}

bool PresentationCursor::presentedLater(const Head& a, const Head& b) {
    if (a.value != b.value)
        return a.value > b.value;
    return a.run != b.run ? a.run > b.run : a.index > b.index; // decode order breaks ties
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
        return timeline_.time(heads_.front().value);
    return timeline_.time(*timeline_.presentationValue(track_->timing[run_], indexInRun_));
}

MediaTime PresentationCursor::duration() const {
    return timeline_.duration(track_->timing[inDecodeOrder_ ? run_ : heads_.front().run].duration);
}

bool PresentationCursor::stepForward() {
    if (!inDecodeOrder_) {
        const Head& current = heads_.front();
        const bool runHasMore = current.index + 1 < track_->timing[current.run].count;
        if (heads_.size() == 1 && !runHasMore)
            return false; // on the last sample, as a cursor that cannot move stays
        std::pop_heap(heads_.begin(), heads_.end(), presentedLater);
        if (runHasMore) {
            Head& head = heads_.back();
            ++head.index;
            head.value = *timeline_.presentationValue(track_->timing[head.run], head.index);
            std::push_heap(heads_.begin(), heads_.end(), presentedLater);
        } else {
            heads_.pop_back();
        }
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
