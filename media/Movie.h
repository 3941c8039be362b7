#pragma once

#include "media/ByteSource.h"
#include "media/MetadataItem.h"
#include "media/Track.h"

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

// The structure of one ISO base media file (MP4, MOV, M4V): its tracks with their sample
// descriptions and exact sample timing, and its metadata. Reading it touches the box structure
// and sample tables only; no video or audio payload is ever read.
class Movie {
public:
    // Throws MovieFormatError for anything that is not a complete, well-formed movie structure,
    // std::system_error when the source fails, CancellationError when stopped. `source` must
    // outlive the movie.
    static Movie read(ByteSource& source, std::stop_token stop = {});

    std::uint32_t timescale() const { return timescale_; }
    const std::vector<Track>& tracks() const { return tracks_; }
    // Tracks of one kind, in file order.
    std::vector<const Track*> tracks(MediaKind kind) const;
    const std::vector<MetadataItem>& metadata() const { return metadata_; }

    // The bytes of the sample at `offset` (a timecode sample: no other payload is ever read), or
    // nothing when it is not `expectedSize` bytes long or does not lie inside the file.
    std::optional<QByteArray> readSample(std::uint64_t offset, std::uint32_t size,
                                         std::uint32_t expectedSize);

private:
    friend class MovieParser;
    explicit Movie(ByteSource& source) : source_(&source) {}

    ByteSource* source_;
    std::uint32_t timescale_ = 0;
    std::vector<Track> tracks_;
    std::vector<MetadataItem> metadata_;
};
