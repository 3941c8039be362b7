#include "media/Movie.h"

std::vector<const Track*> Movie::tracks(MediaKind kind) const {
    std::vector<const Track*> result;
    for (const Track& track : tracks_)
        if (track.kind == kind)
            result.push_back(&track);
    return result;
}

std::optional<QByteArray> Movie::readSample(const Track& track, std::uint64_t index,
                                            std::uint32_t expectedSize) {
    if (index >= track.locations.size())
        return std::nullopt;
    const SampleLocation& location = track.locations[index];
    if (location.size != expectedSize || location.offset > source_->size() ||
        location.size > source_->size() - location.offset)
        return std::nullopt;
    QByteArray bytes(qsizetype(location.size), Qt::Uninitialized);
    source_->read(location.offset,
                  std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), location.size));
    return bytes;
}
