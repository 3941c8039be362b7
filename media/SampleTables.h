#pragma once

#include "media/Track.h"

#include <cstdint>
#include <optional>
#include <vector>

class BoxReader;

// The sample table boxes of one track as stored ("stbl"), before they are combined.
struct SampleTables {
    struct Duration {
        std::uint32_t count;
        std::uint32_t delta;
    };
    struct Offset {
        std::uint32_t count;
        std::int32_t offset;
    };
    struct ChunkRun {
        std::uint32_t firstChunk;
        std::uint32_t samplesPerChunk;
        std::uint32_t descriptionIndex;
    };

    bool hasTimeToSample = false;
    std::vector<Duration> timeToSample;
    std::optional<std::vector<Offset>> compositionOffsets;
    bool hasSizes = false;
    std::uint64_t sizeCount = 0;
    std::uint32_t constantSize = 0;
    std::vector<std::uint32_t> sizes; // read only when locations are wanted
    std::vector<ChunkRun> sampleToChunk;
    std::vector<std::uint64_t> chunkOffsets;
    std::optional<std::vector<FormatDescription>> formats;
};

// Reads the children of an "stbl" box whose payload the reader stands on, sample descriptions as
// `kind` demands. Sizes, chunks and offsets are read only with `wantLocations`; otherwise their
// tables are stepped over.
SampleTables readSampleTables(BoxReader& reader, MediaKind kind, bool wantLocations);

// Fills the track's timing runs, sample count and (with `wantLocations`) sample locations.
// A track may hold at most `sampleLimit` samples: one byte each at least. Inconsistent tables
// are a damaged file.
void buildSamples(const SampleTables& tables, Track& track, std::uint64_t sampleLimit,
                  bool wantLocations);

// Appends a run, merging it with the last when it continues it exactly.
void appendRun(std::vector<TimingRun>& runs, const TimingRun& run);
