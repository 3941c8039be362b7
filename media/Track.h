#pragma once

#include "media/FormatDescription.h"
#include "media/TimecodeLabels.h"

#include <cstdint>
#include <vector>

// Consecutive samples in decode order that share a duration and a composition offset; their
// decode times follow each other without a gap. Twelve bytes: never more than the table entries
// they come from take in the file, so memory follows the tables.
struct TimingRun {
    std::uint32_t count = 0;
    std::uint32_t duration = 0;
    std::int32_t compositionOffset = 0;
};

// A track's samples in decode order, as runs.
class SampleTiming {
public:
    // Appends samples, merging them into the last run when they continue it.
    void append(std::uint64_t count, std::uint32_t duration, std::int32_t compositionOffset);
    // The next sample decodes at `decodeTime` (a fragment's own base time).
    void restartAt(std::int64_t decodeTime);
    // More runs than this throw MovieTooLargeError.
    void limitRuns(std::size_t maximum) { maximumRuns_ = maximum; }

    std::uint64_t sampleCount() const { return sampleCount_; }
    std::size_t runCount() const { return runs_.size(); }
    std::int64_t endTime() const { return end_; }

    // Calls `visit(run, firstDecodeTime)` for every run in decode order.
    template <class Visit> void forEachRun(Visit&& visit) const {
        std::int64_t time = 0;
        std::size_t restart = 0;
        for (std::size_t i = 0; i < runs_.size(); ++i) {
            if (restart < restarts_.size() && restarts_[restart].first == i)
                time = restarts_[restart++].second;
            visit(runs_[i], time);
            time += std::int64_t(runs_[i].count) * runs_[i].duration; // checked when appended
        }
    }

private:
    std::vector<TimingRun> runs_;
    std::vector<std::pair<std::size_t, std::int64_t>> restarts_; // run index, decode time
    std::int64_t end_ = 0;
    std::uint64_t sampleCount_ = 0;
    std::size_t maximumRuns_ = std::size_t(-1);
};

// Consecutive samples in decode order of one size, stored back to back from `offset`.
struct LocationRun {
    std::uint64_t offset = 0;
    std::uint64_t count = 0;
    std::uint32_t size = 0;
};

// Consecutive samples in decode order that use one sample description.
struct DescriptionRun {
    std::uint64_t count = 0;
    std::uint32_t index = 1; // 1-based into the sample descriptions
};

// How the edit list places the media on the movie's timeline.
struct EditPlacement {
    // More than one media segment, a rate other than 1, or a shape we cannot place exactly.
    bool ambiguous = false;
    bool hasSegment = false;
    std::int64_t mediaStart = 0;       // track timescale: media time shown first
    std::uint64_t segmentDuration = 0; // movie timescale; 0 runs to the end of the media
    std::uint64_t emptyDuration = 0;   // movie timescale: leading empty edits
};

struct Track {
    // A timecode track's payload is read sample by sample; beyond this many samples it is not.
    static constexpr std::uint64_t maximumTimecodeSamples = 1 << 20;
    // Sample descriptions kept; a track that needs more is refused by its own checks.
    static constexpr std::size_t keptFormats = 8;

    std::uint32_t id = 0;
    std::uint32_t handler = 0;
    MediaKind kind = MediaKind::other;
    std::uint32_t timescale = 0; // media header; may be unusable (0 or beyond 32 bits signed)
    bool hasSampleTable = false;
    std::vector<FormatDescription> formats; // the first `keptFormats`
    std::uint32_t formatCount = 0;
    EditPlacement edits;
    SampleTiming timing;
    std::uint64_t tableBytes = 0; // of the tables and fragment runs that describe the samples
    // Timecode tracks only, the one kind whose payload is read: descriptions and locations of
    // every sample in decode order.
    std::vector<DescriptionRun> descriptions;
    std::vector<LocationRun> locations;
    TimecodeLabels metadata;
};

// Appends samples, merging them into the last run when they continue it.
void appendLocations(std::vector<LocationRun>& runs, const LocationRun& run);
void appendDescriptions(std::vector<DescriptionRun>& runs, std::uint64_t count,
                        std::uint32_t index);
