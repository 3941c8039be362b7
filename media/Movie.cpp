#include "media/Movie.h"

std::vector<const Track*> Movie::tracks(MediaKind kind) const {
    std::vector<const Track*> result;
    for (const Track& track : tracks_)
        if (track.kind == kind)
            result.push_back(&track);
    return result;
}

std::optional<QByteArray> Movie::readSample(std::uint64_t offset, std::uint32_t size,
                                            std::uint32_t expectedSize) {
    if (size != expectedSize || offset > source_->size() || size > source_->size() - offset)
        return std::nullopt;
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    source_->read(offset, std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), size));
    return bytes;
}
