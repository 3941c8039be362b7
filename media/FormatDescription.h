#pragma once

#include "model/MediaTime.h"

#include <cstdint>
#include <optional>
#include <vector>

class BoxReader;
struct BoxHeader;

// What a track holds, from its media handler.
enum class MediaKind { video, audio, timecode, other };

struct VideoDimensions {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// ITU-T H.273 code points from a "colr" box; a missing one was not stated.
struct ColorCodePoints {
    std::optional<std::uint16_t> primaries;
    std::optional<std::uint16_t> transferFunction;
    std::optional<std::uint16_t> matrix;
};

struct AudioStreamDescription {
    double sampleRate = 0;
    std::uint32_t channelsPerFrame = 0;
};

// A timecode sample description: how its frame numbers count.
struct TimecodeFormat {
    enum Flag : std::uint32_t { dropFrame = 0x1, wrapsAt24Hours = 0x2, negativeAllowed = 0x4 };
    MediaTime frameDuration;
    std::uint32_t flags = 0;
    std::uint32_t framesPerSecond = 0; // the nominal count of frames in a second
};

// One sample description ("stsd" entry), read as its track's media kind demands.
struct FormatDescription {
    std::uint32_t mediaSubtype = 0; // the entry's four-character code
    std::optional<VideoDimensions> dimensions;
    ColorCodePoints color;
    std::optional<AudioStreamDescription> audio;
    std::optional<TimecodeFormat> timecode; // "tmcd" and "tc64" entries only
};

// Reads the entries of an "stsd" box whose payload the reader stands on, keeping the first
// `Track::keptFormats` in `kept`; returns how many there are.
std::uint32_t readSampleDescriptions(BoxReader& reader, MediaKind kind,
                                     std::vector<FormatDescription>& kept);
