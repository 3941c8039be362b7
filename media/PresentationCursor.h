#pragma once

#include "media/Track.h"
#include "media/TrackTimeline.h"
#include "model/MediaTime.h"

#include <optional>
#include <vector>

// Steps through a track's samples in presentation order (by presentation time; samples with
// equal times keep their decode order). Memory grows with the timing runs, never with the number
// of samples a table claims.
class PresentationCursor {
public:
    // On the first presented sample; nothing when the track has no samples.
    static std::optional<PresentationCursor> atFirstPresentedSample(const Track& track,
                                                                    std::uint32_t movieTimescale);

    // Invalid when the track's timing cannot be stated exactly.
    MediaTime presentationTime() const;
    MediaTime duration() const;
    // Moves to the next presented sample; false (and no move) on the last one.
    bool stepForward();

private:
    // The next unpresented sample of one timing run.
    struct Head {
        std::int64_t value;
        std::size_t run;
        std::uint64_t index;
    };
    static bool presentedLater(const Head& a, const Head& b);

    PresentationCursor(const Track& track, std::uint32_t movieTimescale);
    bool decodeOrderIsPresentationOrder() const;

    const Track* track_;
    TrackTimeline timeline_;
    bool valuesFit_ = true;
    // Decode order is already presentation order: walk the runs.
    bool inDecodeOrder_ = true;
    std::size_t run_ = 0;
    std::uint64_t indexInRun_ = 0;
    // Otherwise the runs, each already in order, are merged: a heap of their heads.
    std::vector<Head> heads_;
};
