#pragma once

#include "media/ByteSource.h"
#include "media/TimecodeLabels.h"
#include "media/Track.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

// The structure of one ISO base media file (MP4, MOV, M4V): how many tracks of each kind it
// has, the first of each kind with its sample descriptions and exact sample timing, and the
// timecode labels of its metadata. Reading it touches the box structure and sample tables only;
// no video or audio payload is ever read, and memory follows the tables, never what they claim.
class Movie {
public:
    // Throws MovieFormatError for anything that is not a complete, well-formed movie structure,
    // MovieTooLargeError when its tables would take too much memory, MessageError when the
    // source fails, CancellationError when stopped. `source` must outlive the movie.
    static Movie read(ByteSource& source, std::stop_token stop = {});

    std::uint32_t timescale() const { return timescale_; }
    std::size_t trackCount(MediaKind kind) const { return counts_[std::size_t(kind)]; }
    // The first track of a kind in file order, or nothing.
    const Track* track(MediaKind kind) const;
    const TimecodeLabels& metadata() const { return metadata_; }

    // The bytes of the sample at `offset` (a timecode sample: no other payload is ever read), or
    // nothing when it is not `expectedSize` bytes long or does not lie inside the file.
    std::optional<QByteArray> readSample(std::uint64_t offset, std::uint32_t size,
                                         std::uint32_t expectedSize);

private:
    friend class MovieParser;
    explicit Movie(ByteSource& source) : source_(&source) {}

    ByteSource* source_;
    std::uint32_t timescale_ = 0;
    std::vector<Track> tracks_; // at most one of each kind
    std::array<std::size_t, 4> counts_{};
    TimecodeLabels metadata_;
};
