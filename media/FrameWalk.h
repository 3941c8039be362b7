#pragma once

#include "media/Track.h"
#include "model/MediaTime.h"

#include <optional>
#include <stop_token>

// The presented frames of a video track when every one starts exactly one frame duration after
// the one before and lasts exactly that long.
struct FrameTiming {
    MediaTime firstPresentationTime; // on the movie's timeline
    MediaTime frameDuration;         // in the track's timescale, not reduced
    std::uint64_t frameCount = 0;
};

// Walks the frames the edit list presents, in presentation order, one timing run at a time: the
// work follows the tables, never the number of frames they claim. Nothing when the timing is
// irregular, cannot be stated exactly, or the edit list shows part of a frame or none of the
// media. Throws CancellationError once `stop` is requested. The track must have samples.
std::optional<FrameTiming> walkFrames(const Track& video, std::uint32_t movieTimescale,
                                      std::stop_token stop = {});
