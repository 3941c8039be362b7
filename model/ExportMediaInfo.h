#pragma once

#include "model/MediaTime.h"

#include <QString>
#include <cstdint>
#include <optional>

// The facts about a source video that the export needs, as the media inspector measured them.
struct ExportMediaInfo {
    std::int64_t width = 0;
    std::int64_t height = 0;
    MediaTime frameDuration;
    MediaTime duration;
    MediaTime sourceStart;
    std::int64_t channels = 0;
    std::int64_t sampleRate = 0;
    std::optional<QString> colorSpace;
};
