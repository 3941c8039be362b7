#include "media/Movie.h"

const Track* Movie::track(MediaKind kind) const {
    for (const Track& track : tracks_)
        if (track.kind == kind)
            return &track;
    return nullptr;
}

std::optional<QByteArray> Movie::readSample(std::uint64_t offset, std::uint32_t size,
                                            std::uint32_t expectedSize) {
    if (size != expectedSize || offset > source_->size() || size > source_->size() - offset)
        return std::nullopt;
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    source_->read(offset, std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), size));
    return bytes;
}
