#include "media/Track.h"

#include "media/MovieFormatError.h"

#include <limits>

namespace {
__extension__ typedef __int128 Wide;
constexpr std::uint32_t largestRun = std::numeric_limits<std::uint32_t>::max();
} // namespace

void SampleTiming::append(std::uint64_t count, std::uint32_t duration,
                          std::int32_t compositionOffset) {
    const Wide end = Wide(end_) + Wide(count) * duration;
    if (end > std::numeric_limits<std::int64_t>::max())
        throw MovieFormatError();
    end_ = std::int64_t(end);
    sampleCount_ += count;
    const bool restarted = !restarts_.empty() && restarts_.back().first == runs_.size();
    if (!runs_.empty() && !restarted) {
        TimingRun& last = runs_.back();
        if (last.duration == duration && last.compositionOffset == compositionOffset) {
            const std::uint64_t room = largestRun - last.count;
            const std::uint64_t merged = std::min(room, count);
            last.count += std::uint32_t(merged);
            count -= merged;
        }
    }
    while (count > 0) {
        if (runs_.size() >= maximumRuns_)
            throw MovieTooLargeError();
        const auto piece = std::uint32_t(std::min<std::uint64_t>(count, largestRun));
        runs_.push_back({piece, duration, compositionOffset});
        count -= piece;
    }
}

void SampleTiming::restartAt(std::int64_t decodeTime) {
    if (decodeTime == end_)
        return;
    if (!restarts_.empty() && restarts_.back().first == runs_.size()) {
        restarts_.back().second = decodeTime;
    } else {
        if (restarts_.size() >= maximumRuns_)
            throw MovieTooLargeError();
        restarts_.emplace_back(runs_.size(), decodeTime);
    }
    end_ = decodeTime;
}

void appendLocations(std::vector<LocationRun>& runs, const LocationRun& run) {
    if (run.count == 0)
        return;
    if (!runs.empty()) {
        LocationRun& last = runs.back();
        if (last.size == run.size &&
            Wide(last.offset) + Wide(last.count) * last.size == Wide(run.offset)) {
            last.count += run.count;
            return;
        }
    }
    runs.push_back(run);
}

void appendDescriptions(std::vector<DescriptionRun>& runs, std::uint64_t count,
                        std::uint32_t index) {
    if (count == 0)
        return;
    if (!runs.empty() && runs.back().index == index)
        runs.back().count += count;
    else
        runs.push_back({count, index});
}
