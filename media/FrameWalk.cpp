#include "media/FrameWalk.h"

#include "media/TrackTimeline.h"
#include "model/UserError.h"

#include <algorithm>
#include <map>

namespace {

using Wide = TrackTimeline::Wide;

constexpr std::size_t pollInterval = 4096; // runs between cancellation checks
// Runs started but not yet presented. Decoders reorder a few frames at most; a file that holds
// back thousands of runs has no regular presentation order worth finding.
constexpr std::size_t maximumPending = 4096;

// The samples of one run that the media segment shows.
struct Shown {
    Wide first = 0; // window value of the first
    std::uint64_t count = 0;
    bool partial = false; // a sample begins or ends inside the segment's bounds
};

Shown shownPart(const TrackTimeline& timeline, Wide start, const TimingRun& run) {
    const Wide step = run.duration;
    const Wide count = run.count;
    Shown shown;
    Wide first = 0;
    if (timeline.hasStart() && start < 0) {
        if (step == 0)
            return shown; // every sample lies before the segment
        first = (-start + step - 1) / step;
        // The sample before the first shown one ends after the segment starts.
        shown.partial = first - 1 < count && start + first * step > 0;
    }
    Wide end = count;
    if (first < count && timeline.hasEnd()) {
        if (step == 0) {
            end = timeline.beforeEnd(start) ? count : first;
        } else {
            end = std::clamp(timeline.stepsToEnd(start, run.duration), first, count);
            // The sample after the last shown one starts before the segment ends.
            shown.partial =
                shown.partial || (end < count && timeline.beforeEnd(start + end * step));
        }
    }
    if (first < end) {
        shown.first = start + first * step;
        shown.count = std::uint64_t(end - first);
    }
    return shown;
}

template <class Visit>
void forEachShown(const Track& video, const TrackTimeline& timeline, std::stop_token& stop,
                  Visit&& visit) {
    std::size_t runs = 0;
    video.timing.forEachRun([&](const TimingRun& run, std::int64_t decodeTime) {
        if (runs++ % pollInterval == 0 && stop.stop_requested())
            throw CancellationError();
        visit(run, shownPart(timeline, timeline.value(decodeTime, run, 0), run));
    });
}

} // namespace

std::optional<FrameTiming> walkFrames(const Track& video, std::uint32_t movieTimescale,
                                      std::stop_token stop) {
    const TrackTimeline timeline(video, movieTimescale);
    if (!timeline.isExact())
        return std::nullopt;

    // First pass: the first presented frame (the earliest value shown), its duration, and how
    // many frames are shown.
    bool valid = true, any = false;
    Wide firstValue = 0;
    std::uint32_t step = 0;
    std::uint64_t count = 0;
    forEachShown(video, timeline, stop, [&](const TimingRun& run, const Shown& shown) {
        valid = valid && !shown.partial;
        if (shown.count == 0)
            return;
        count += shown.count;
        if (!any || shown.first < firstValue) {
            any = true;
            firstValue = shown.first;
            step = run.duration;
        }
    });
    if (!valid || !any || step == 0)
        return std::nullopt;

    // Second pass, in decode order: each run's frames wait until every earlier time has been
    // presented, so the frames come out in presentation order and must follow each other
    // exactly. Equal start times collide in the map.
    std::map<Wide, std::uint64_t> pending;
    Wide expected = firstValue;
    const auto present = [&] {
        while (!pending.empty()) {
            const auto head = pending.begin();
            if (head->first != expected)
                return head->first > expected; // later: wait; earlier: a repeat or a gap
            const auto next = std::next(head);
            const Wide limit =
                next == pending.end() ? head->first + Wide(head->second) * step : next->first;
            const Wide taken = std::min(Wide(head->second), (limit - expected + step - 1) / step);
            const std::uint64_t left = head->second - std::uint64_t(taken);
            expected += taken * step;
            pending.erase(head);
            if (left > 0 && !pending.emplace(expected, left).second)
                return false;
        }
        return true;
    };
    forEachShown(video, timeline, stop, [&](const TimingRun& run, const Shown& shown) {
        if (!valid || shown.count == 0)
            return;
        valid = run.duration == step && pending.emplace(shown.first, shown.count).second &&
                pending.size() <= maximumPending && present();
    });
    if (!valid || !pending.empty())
        return std::nullopt;

    FrameTiming timing;
    timing.firstPresentationTime = timeline.time(firstValue);
    timing.frameDuration = timeline.duration(step);
    timing.frameCount = count;
    // The time after the last frame must be stated exactly too.
    if (!timing.firstPresentationTime.isExactNumeric() || !timeline.time(expected).isExactNumeric())
        return std::nullopt;
    return timing;
}
