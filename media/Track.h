#pragma once

#include "media/FormatDescription.h"
#include "media/MetadataItem.h"
#include "model/MediaTime.h"

#include <cstdint>
#include <vector>

// Consecutive samples in decode order that share a duration, a composition offset and a sample
// description; their decode times follow each other without a gap.
struct TimingRun {
    std::uint64_t count = 0;
    std::int64_t firstDecodeTime = 0;
    std::uint32_t duration = 0;
    std::int32_t compositionOffset = 0;
    std::uint32_t descriptionIndex = 1; // 1-based into Track::formats
};

// Consecutive samples in decode order of one size, stored back to back from `offset`.
struct LocationRun {
    std::uint64_t offset = 0;
    std::uint64_t count = 0;
    std::uint32_t size = 0;
};

// How the edit list places the media on the movie's timeline.
struct EditPlacement {
    // More than one media segment, a rate other than 1, or a shape we cannot place exactly.
    bool ambiguous = false;
    std::int64_t mediaStart = 0;     // track timescale: media time shown first
    std::uint64_t emptyDuration = 0; // movie timescale: leading empty edits
};

// Appends samples, merging them into the last run when they continue it.
void appendLocations(std::vector<LocationRun>& runs, const LocationRun& run);

struct Track {
    std::uint32_t id = 0;
    std::uint32_t handler = 0;
    MediaKind kind = MediaKind::other;
    std::uint32_t timescale = 0; // media header; may be unusable (0 or beyond 32 bits signed)
    bool hasSampleTable = false;
    std::vector<FormatDescription> formats;
    EditPlacement edits;
    std::vector<TimingRun> timing; // decode order
    std::uint64_t sampleCount = 0;
    // Where the samples' bytes are, in decode order: kept for timecode tracks only, the one
    // kind whose payload is ever read. Never larger than the tables it comes from.
    std::vector<LocationRun> locations;
    std::vector<MetadataItem> metadata;
};
