#pragma once

#include <QString>
#include <optional>

// One metadata item of a track or of the movie.
struct MetadataItem {
    QString key;        // "com.apple.quicktime.timecode", "©nam", ...
    QString identifier; // key space and key: "mdta/com.apple.quicktime.timecode", "udta/%A9nam"
    std::optional<QString> stringValue;
};
